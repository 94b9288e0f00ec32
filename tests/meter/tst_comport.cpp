// The serial port component on a real pseudo-terminal: line settings, exclusive open, NUL
// dropping, purging, failures with their codes and texts, and a line that hangs up.
#include "ComPort.h"
#include "Pty.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using namespace kelotari;

namespace {

// Waits until the port reports at least n bytes (generous: the machine may be busy).
bool waitForBytes(TComPort& port, int n) {
    for (int i = 0; i < 500 && port.WaitingCount() < n; ++i) {
        pollfd p{int(port.handle()), POLLIN, 0};
        ::poll(&p, 1, 10);
    }
    return port.WaitingCount() >= n;
}

template <class F> EComPort failureOf(F&& f) {
    try {
        f();
    } catch (const EComPort& e) {
        return e;
    }
    return EComPort(0, 0);
}

} // namespace

class TestComPort : public QObject {
    Q_OBJECT
private slots:
    void portNames_data();
    void portNames();
    void missingDeviceIsCode1WithItsErrno();
    void aNonTerminalRefusesTheLineSettings();
    void lineSettingsWhileOpenAndRestoredOnClose();
    void sendsCommandsAndDropsReceivedNul();
    void purgeDiscardsWhatArrived();
    void openAndCloseTwiceAndReassigningTheSameName();
    void assigningAnotherNameReopens();
    void asecondOpenOfTheSamePortIsRefused();
    void hangUpFailsAtOnce();
    void operationsOnAClosedPort_data();
    void operationsOnAClosedPort();
    void noPermissionCarriesAdvice();
    void accessAdviceNamesOnlyAGroupThatHelps_data();
    void accessAdviceNamesOnlyAGroupThatHelps();
    void accessAdviceForARootOnlyDevice();
    void exclusiveModeOfAnotherProgramIsABusyPort();
    void aLockHeldElsewhereIsABusyPort_data();
    void aLockHeldElsewhereIsABusyPort();
    void adviceNamesTheDeviceBehindALink();
};

void TestComPort::portNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("device");
    QTest::newRow("COM1") << "COM1"
                          << "/dev/ttyS0";
    QTest::newRow("com12") << "com12"
                           << "/dev/ttyS11";
    QTest::newRow("COM0 is no COM name") << "COM0"
                                         << "/dev/COM0";
    QTest::newRow("COM1x") << "COM1x"
                           << "/dev/COM1x";
    QTest::newRow("device name") << "ttyUSB0"
                                 << "/dev/ttyUSB0";
    QTest::newRow("below /dev") << "serial/by-id/usb-x"
                                << "/dev/serial/by-id/usb-x";
    QTest::newRow("absolute path") << "/run/user/1000/kelotari/ports/sim"
                                   << "/run/user/1000/kelotari/ports/sim";
    QTest::newRow("empty") << ""
                           << "";
}

void TestComPort::portNames() {
    QFETCH(QString, name);
    QFETCH(QString, device);
    QCOMPARE(comDevicePath(name), device);
}

void TestComPort::missingDeviceIsCode1WithItsErrno() {
    TComPort port;
    QCOMPARE(port.Port(), QStringLiteral("COM1"));
    for (const QString& name : {QStringLiteral("/nonexistent/ttyX"), QString()}) {
        port.setPort(name);
        const EComPort e = failureOf([&] { port.OpenPort(); });
        QCOMPARE(e.Code(), int(CE_OpenFailed));
        QCOMPARE(e.WinCode(), ENOENT);
        QCOMPARE(e.message(),
                 QStringLiteral("Unable to open com port (win error code: %1)").arg(ENOENT));
        QVERIFY(!port.Connected());
    }
}

void TestComPort::aNonTerminalRefusesTheLineSettings() {
    TComPort port;
    port.setPort(QStringLiteral("/dev/null"));
    const EComPort e = failureOf([&] { port.OpenPort(); });
    QCOMPARE(e.Code(), int(CE_SetStateFailed));
    QCOMPARE(e.message(),
             QStringLiteral("SetCommState function failed (win error code: %1)").arg(ENOTTY));
    QVERIFY(!port.Connected());
    // Nothing was left held: the next open fails the same way, not with "in use".
    QCOMPARE(failureOf([&] { port.OpenPort(); }).Code(), int(CE_SetStateFailed));
}

void TestComPort::lineSettingsWhileOpenAndRestoredOnClose() {
    Pty pty(Pty::Terminal::Held);
    termios cooked = pty.settings();
    cooked.c_lflag |= ICANON | ECHO;
    cooked.c_cflag |= HUPCL;
    ::cfsetspeed(&cooked, B9600);
    QCOMPARE(::tcsetattr(pty.peer, TCSANOW, &cooked), 0);
    cooked = pty.settings();

    TComPort port;
    port.setPort(pty.path);
    port.OpenPort();
    QVERIFY(port.Connected());
    const termios t = pty.settings();
    QCOMPARE(::cfgetispeed(&t), speed_t(B4800));
    QCOMPARE(::cfgetospeed(&t), speed_t(B4800));
    QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(t.c_cflag & (PARENB | CSTOPB | HUPCL | CRTSCTS), tcflag_t(0));
    QCOMPARE(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    QCOMPARE(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP | PARMRK), tcflag_t(0));
    QCOMPARE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t(0));
    QCOMPARE(t.c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(int(t.c_cc[VMIN]), 0);
    QCOMPARE(int(t.c_cc[VTIME]), 0);

    port.ClosePort();
    QVERIFY(!port.Connected());
    const termios back = pty.settings();
    QCOMPARE(back.c_iflag, cooked.c_iflag);
    QCOMPARE(back.c_oflag, cooked.c_oflag);
    QCOMPARE(back.c_cflag, cooked.c_cflag);
    QCOMPARE(back.c_lflag, cooked.c_lflag);
    QVERIFY(std::equal(back.c_cc, back.c_cc + NCCS, cooked.c_cc)); // VMIN, VTIME too
    QCOMPARE(::cfgetospeed(&back), speed_t(B9600));
}

void TestComPort::sendsCommandsAndDropsReceivedNul() {
    Pty pty(Pty::Terminal::Held);
    TComPort port;
    port.setPort(pty.path);
    port.OpenPort();

    QCOMPARE(port.SendText(QByteArray()), 0);
    QCOMPARE(port.SendText("D"), 1);
    QCOMPARE(pty.receive(5000), QByteArray("D")); // nothing before it, no line end after it
    QCOMPARE(pty.receive(50), QByteArray());

    // Raw bytes both ways: CR, LF, markers and high bytes pass; NUL never reaches the reader.
    QVERIFY(pty.send(QByteArray("1\0"
                                "2\r\n\xAF\x1A\xB0\x11\x13\0",
                                11)));
    QVERIFY(waitForBytes(port, 11));
    char buf[64];
    QCOMPARE(QByteArray(buf, port.ReadBytes(buf, sizeof buf)),
             QByteArray("12\r\n\xAF\x1A\xB0\x11\x13"));
    QCOMPARE(port.WaitingCount(), 0);
    QCOMPARE(port.ReadBytes(buf, sizeof buf), 0); // nothing there: no wait, no failure
}

void TestComPort::purgeDiscardsWhatArrived() {
    Pty pty(Pty::Terminal::Held);
    TComPort port;
    port.setPort(pty.path);
    port.OpenPort();
    QVERIFY(pty.send("stale answer\r"));
    QVERIFY(waitForBytes(port, 13));
    port.PurgeBuffers(true, true);
    QCOMPARE(port.WaitingCount(), 0);
}

void TestComPort::openAndCloseTwiceAndReassigningTheSameName() {
    Pty pty(Pty::Terminal::Held);
    TComPort port;
    port.ClosePort(); // closed: nothing
    port.setPort(pty.path);
    port.OpenPort();
    const qintptr fd = port.handle();
    port.OpenPort(); // open: nothing
    QCOMPARE(port.handle(), fd);

    QVERIFY(pty.send("abc"));
    QVERIFY(waitForBytes(port, 3));
    port.setPort(pty.path); // the same name: not reopened, nothing discarded
    QCOMPARE(port.handle(), fd);
    QCOMPARE(port.WaitingCount(), 3);

    port.setConnected(false);
    QVERIFY(!port.Connected());
    port.ClosePort();
    port.setConnected(true);
    QVERIFY(port.Connected());
}

void TestComPort::assigningAnotherNameReopens() {
    Pty a(Pty::Terminal::Held), b(Pty::Terminal::Held);
    TComPort port;
    port.setPort(a.path);
    port.OpenPort();
    port.setPort(b.path);
    QVERIFY(port.Connected());
    QCOMPARE(port.Port(), b.path);
    QCOMPARE(port.SendText("S"), 1);
    QCOMPARE(b.receive(5000), QByteArray("S"));
    QCOMPARE(a.receive(50), QByteArray());
    // The first port is free again.
    TComPort other;
    other.setPort(a.path);
    other.OpenPort();
    QVERIFY(other.Connected());
}

void TestComPort::asecondOpenOfTheSamePortIsRefused() {
    Pty pty(Pty::Terminal::Held);
    TComPort first, second;
    first.setPort(pty.path);
    second.setPort(pty.path);
    first.OpenPort();
    const EComPort e = failureOf([&] { second.OpenPort(); });
    QCOMPARE(e.Code(), int(CE_OpenFailed));
    // Terminal exclusive mode refuses other users, the lock refuses root: busy either way.
    QCOMPARE(e.WinCode(), EBUSY);
    QVERIFY(!second.Connected());
    first.ClosePort();
    second.OpenPort();
    QVERIFY(second.Connected());
}

void TestComPort::hangUpFailsAtOnce() {
    Pty pty(Pty::Terminal::Held);
    TComPort port;
    port.setPort(pty.path);
    port.OpenPort();
    pty.hangUp();

    EComPort e = failureOf([&] { port.WaitingCount(); });
    QCOMPARE(e.message(),
             QStringLiteral("ClearCommError function failed (win error code: %1)").arg(EIO));
    char c;
    e = failureOf([&] { port.ReadBytes(&c, 1); });
    QCOMPARE(e.Code(), int(CE_ReadFailed));
    QCOMPARE(e.WinCode(), EIO);
    QCOMPARE(failureOf([&] { port.SendText("D"); }).Code(), int(CE_WriteFailed));
    port.ClosePort(); // a line that has gone is closed without a failure
    QVERIFY(!port.Connected());
}

void TestComPort::operationsOnAClosedPort_data() {
    QTest::addColumn<int>("op");
    QTest::addColumn<QString>("text");
    QTest::newRow("WaitingCount") << 0 << "ClearCommError function failed";
    QTest::newRow("ReadBytes") << 1 << "ReadFile function failed";
    QTest::newRow("SendText") << 2 << "WriteFile function failed";
    QTest::newRow("PurgeBuffers") << 3 << "PurgeComm function failed";
}

void TestComPort::operationsOnAClosedPort() {
    QFETCH(int, op);
    QFETCH(QString, text);
    TComPort port;
    char c;
    const EComPort e = failureOf([&] {
        switch (op) {
        case 0:
            port.WaitingCount();
            break;
        case 1:
            port.ReadBytes(&c, 1);
            break;
        case 2:
            port.SendText("D");
            break;
        case 3:
            port.PurgeBuffers(true, true);
            break;
        }
    });
    QCOMPARE(e.message(), text + QStringLiteral(" (win error code: %1)").arg(EBADF));
}

void TestComPort::noPermissionCarriesAdvice() {
    if (::geteuid() == 0)
        QSKIP("root opens any device");
    Pty pty(Pty::Terminal::Held);
    QCOMPARE(::chmod(QFile::encodeName(pty.path).constData(), 0), 0);
    TComPort port;
    port.setPort(pty.path);
    const EComPort e = failureOf([&] { port.OpenPort(); });
    QCOMPARE(e.WinCode(), EACCES);
    // Mode 0: no group can help, so none is named.
    QVERIFY2(e.advice().contains(QStringLiteral("only its owner may use it")),
             qPrintable(e.advice()));
    QVERIFY2(!e.advice().contains(QStringLiteral("usermod")), qPrintable(e.advice()));
}

namespace {
const QString kOwnerOnly = QStringLiteral("only its owner may use it");
}

void TestComPort::accessAdviceNamesOnlyAGroupThatHelps_data() {
    QTest::addColumn<uint>("mode");
    QTest::addColumn<QString>("group");
    QTest::addColumn<bool>("rootGroup");
    QTest::addColumn<bool>("namesGroup");
    QTest::newRow("group may read and write") << uint(S_IFCHR | 0660) << "dialout" << false << true;
    QTest::newRow("group may only read") << uint(S_IFCHR | 0640) << "dialout" << false << false;
    QTest::newRow("group may only write") << uint(S_IFCHR | 0620) << "tty" << false << false;
    QTest::newRow("root's group, even with rw") << uint(S_IFCHR | 0660) << "root" << true << false;
    QTest::newRow("owner only, root's group") << uint(S_IFCHR | 0600) << "root" << true << false;
    QTest::newRow("group without a name") << uint(S_IFCHR | 0660) << "" << false << false;
}

void TestComPort::accessAdviceNamesOnlyAGroupThatHelps() {
    QFETCH(uint, mode);
    QFETCH(QString, group);
    QFETCH(bool, rootGroup);
    QFETCH(bool, namesGroup);
    const QString advice = accessAdvice(QStringLiteral("/dev/ttyS0"), mode, group, rootGroup);
    QVERIFY2(advice.startsWith(QStringLiteral("No permission to use /dev/ttyS0: ")),
             qPrintable(advice));
    if (namesGroup) {
        QVERIFY2(advice.contains(QStringLiteral("sudo usermod -aG %1 $USER").arg(group)),
                 qPrintable(advice));
        QVERIFY(advice.contains(QStringLiteral("log out")));
    } else {
        QVERIFY2(!advice.contains(QStringLiteral("usermod")), qPrintable(advice));
        QVERIFY2(advice.contains(kOwnerOnly), qPrintable(advice));
        QVERIFY(advice.contains(QStringLiteral("udev rule")));
        QVERIFY(advice.contains(QStringLiteral("administrator")));
    }
}

// The device itself is looked at: crw------- root root never sends the user to group root.
void TestComPort::accessAdviceForARootOnlyDevice() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ttyRootOnly"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    const QByteArray native = QFile::encodeName(path);
    QCOMPARE(::chmod(native.constData(), 0600), 0);
    if (::chown(native.constData(), 0, 0) != 0)
        QSKIP("only root can give a file to root's group");
    const QString advice = accessAdvice(path);
    QVERIFY2(advice.contains(kOwnerOnly), qPrintable(advice));
    QVERIFY2(!advice.contains(QStringLiteral("usermod")), qPrintable(advice));
    QVERIFY(advice.contains(path));

    // The same file given to a group that may read and write it: that group is the advice.
    const struct group* g = ::getgrnam("dialout");
    if (!g)
        g = ::getgrnam("tty");
    if (!g || g->gr_gid == 0)
        return;
    const QString name = QString::fromLocal8Bit(g->gr_name);
    QCOMPARE(::chown(native.constData(), 0, g->gr_gid), 0);
    QCOMPARE(::chmod(native.constData(), 0660), 0);
    QVERIFY2(accessAdvice(path).contains(QStringLiteral("usermod -aG %1 ").arg(name)),
             qPrintable(accessAdvice(path)));
}

void TestComPort::exclusiveModeOfAnotherProgramIsABusyPort() {
#ifndef TIOCGEXCL
    QSKIP("this system's headers have no TIOCGEXCL: exclusive mode cannot be read");
#else
    Pty pty(Pty::Terminal::Held);
    int excl = 0;
    if (::ioctl(pty.peer, TIOCGEXCL, &excl) != 0)
        QSKIP("the kernel cannot tell a terminal's exclusive mode (TIOCGEXCL, Linux 3.8)");
    QCOMPARE(excl, 0);

    // Our own open sets exclusive mode and our close ends it.
    {
        TComPort port;
        port.setPort(pty.path);
        port.OpenPort();
        QCOMPARE(::ioctl(pty.peer, TIOCGEXCL, &excl), 0);
        QCOMPARE(excl, 1);
        port.ClosePort();
        QCOMPARE(::ioctl(pty.peer, TIOCGEXCL, &excl), 0);
        QCOMPARE(excl, 0);
    }

    // Another program holds it in exclusive mode, without a lock: busy, also for root, and
    // its exclusive mode stays as it was.
    QCOMPARE(::ioctl(pty.peer, TIOCEXCL), 0);
    TComPort port;
    port.setPort(pty.path);
    const EComPort e = failureOf([&] { port.OpenPort(); });
    QCOMPARE(e.Code(), int(CE_OpenFailed));
    QCOMPARE(e.WinCode(), EBUSY);
    QCOMPARE(e.message(),
             QStringLiteral("Unable to open com port (win error code: %1)").arg(EBUSY));
    QVERIFY(!port.Connected());
    QCOMPARE(::ioctl(pty.peer, TIOCGEXCL, &excl), 0);
    QCOMPARE(excl, 1);
    port.ClosePort(); // closed already: does nothing to the other program's mode
    QCOMPARE(::ioctl(pty.peer, TIOCGEXCL, &excl), 0);
    QCOMPARE(excl, 1);

    // Once the other program has let go, the port opens.
    QCOMPARE(::ioctl(pty.peer, TIOCNXCL), 0);
    port.OpenPort();
    QVERIFY(port.Connected());
#endif
}

void TestComPort::aLockHeldElsewhereIsABusyPort_data() {
    QTest::addColumn<bool>("otherProcess");
    QTest::newRow("lock held on another descriptor") << false;
    QTest::newRow("lock held by another process") << true;
}

// The lock is what stops root, whom the terminal's exclusive mode lets through; held by
// anyone else, the port is busy (16), never "try again" (11).
void TestComPort::aLockHeldElsewhereIsABusyPort() {
    QFETCH(bool, otherProcess);
    Pty pty(Pty::Terminal::Held);
    const termios before = pty.settings();
    const QByteArray path = QFile::encodeName(pty.path);
    int holder = -1;
    pid_t child = -1;
    if (otherProcess) {
        int ready[2];
        QCOMPARE(::pipe(ready), 0);
        child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            const char ok = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
            [[maybe_unused]] const ssize_t n = ::write(ready[1], &ok, 1);
            ::pause();
            ::_exit(0);
        }
        ::close(ready[1]);
        char ok = 0;
        QCOMPARE(::read(ready[0], &ok, 1), ssize_t(1));
        ::close(ready[0]);
        QCOMPARE(ok, 'y');
    } else {
        holder = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(holder >= 0);
        QCOMPARE(::flock(holder, LOCK_EX | LOCK_NB), 0);
    }
    TComPort port;
    port.setPort(pty.path);
    const EComPort e = failureOf([&] { port.OpenPort(); });
    if (child > 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    if (holder >= 0)
        ::close(holder);
    QCOMPARE(e.Code(), int(CE_OpenFailed));
    QCOMPARE(e.WinCode(), EBUSY);
    QCOMPARE(e.message(),
             QStringLiteral("Unable to open com port (win error code: %1)").arg(EBUSY));
    QVERIFY(!port.Connected());
    // Refused before anything was changed.
    const termios after = pty.settings();
    QCOMPARE(after.c_lflag, before.c_lflag);
    QCOMPARE(after.c_cflag, before.c_cflag);
    QCOMPARE(after.c_iflag, before.c_iflag);
}

void TestComPort::adviceNamesTheDeviceBehindALink() {
    Pty pty(Pty::Terminal::Held);
    QTemporaryDir dir;
    const QString link = dir.filePath("meter");
    QCOMPARE(
        ::symlink(QFile::encodeName(pty.path).constData(), QFile::encodeName(link).constData()), 0);
    QCOMPARE(deviceNode(link), pty.path);
    QCOMPARE(deviceNode(dir.filePath("none")), dir.filePath("none"));
    QCOMPARE(::chmod(QFile::encodeName(pty.path).constData(), 0600), 0);
    QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    auto refusal = [&] {
        TComPort port;
        port.setPort(link);
        const EComPort e = failureOf([&] { port.OpenPort(); });
        return QString::number(e.WinCode()) + QLatin1Char('|') + e.advice();
    };
    QString seen;
    if (::geteuid() != 0) {
        QCOMPARE(::chmod(QFile::encodeName(pty.path).constData(), 0), 0);
        seen = refusal();
    } else {
        // Root opens any device: an ordinary user tries it, in a child.
        int out[2];
        QCOMPARE(::pipe(out), 0);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            QByteArray r = "setuid failed";
            if (::setgid(65534) == 0 && ::setuid(65534) == 0)
                r = refusal().toUtf8();
            [[maybe_unused]] const ssize_t n = ::write(out[1], r.constData(), size_t(r.size()));
            ::_exit(0);
        }
        ::close(out[1]);
        QByteArray r;
        char buf[4096];
        ssize_t n;
        while ((n = ::read(out[0], buf, sizeof buf)) > 0)
            r.append(buf, n);
        ::close(out[0]);
        ::waitpid(child, nullptr, 0);
        seen = QString::fromUtf8(r);
    }
    QVERIFY2(seen.startsWith(QString::number(EACCES) + "|"), qPrintable(seen));
    QVERIFY2(seen.contains(pty.path), qPrintable(seen));
    QVERIFY2(!seen.contains(link), qPrintable(seen));
}

QTEST_APPLESS_MAIN(TestComPort)
#include "tst_comport.moc"
