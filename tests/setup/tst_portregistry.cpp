// Registrations of simulated meters: listed only while their owner lives and the link leads
// to the terminal it registered, and only from a folder that is the user's own.
#include "PortRegistry.h"
#include "Pty.h"
#include "base/Failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kelotari;

namespace {

// Sets an environment variable for its scope (unset with a null value).
class EnvScope {
public:
    EnvScope(const char* name, const QByteArray& value) : m_name(name), m_old(qgetenv(name)) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~EnvScope() {
        if (m_old.isNull())
            qunsetenv(m_name);
        else
            qputenv(m_name, m_old);
    }

private:
    const char* m_name;
    QByteArray m_old;
};

bool makeLink(const QString& target, const QString& at) {
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()) == 0;
}

QString folderIn(const QString& runtime) {
    return runtime + "/kelotari/ports";
}

} // namespace

class TestPortRegistry : public QObject {
    Q_OBJECT
private slots:
    void registrationIsListedWhileHeld();
    void ownerKilledIsNotListedAfterItsPtyNumberIsReused();
    void onlySoundRegistrationsAreListed_data();
    void onlySoundRegistrationsAreListed();
    void untrustedFolderIsRefused_data();
    void untrustedFolderIsRefused();
    void withoutRuntimeFolderAPrivateOneIsMade();
    void tenThousandEntriesAreSortedOut();
};

void TestPortRegistry::registrationIsListedWhileHeld() {
    QTemporaryDir runtime;
    EnvScope env("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    Pty a;
    Pty b;
    QVERIFY(!a.path.isEmpty() && !b.path.isEmpty());
    auto ra = PortRegistration::make("Meter", a.path);
    auto rb = PortRegistration::make("meter", b.path);
    QCOMPARE(ra->path(), folderIn(runtime.path()) + "/Meter");
    QCOMPARE(registeredPorts(), (QStringList{ra->path(), rb->path()}));
    QCOMPARE(QFile::symLinkTarget(ra->path()), a.path);

    // Moved to another terminal: the link follows, the record too.
    Pty c;
    ra->moveTo(c.path);
    QCOMPARE(QFile::symLinkTarget(ra->path()), c.path);
    QCOMPARE(registeredPorts(), (QStringList{ra->path(), rb->path()}));

    const QString gone = rb->path();
    rb.reset();
    QVERIFY(!QFileInfo(gone).isSymLink());
    QCOMPARE(registeredPorts(), QStringList{ra->path()});
    QVERIFY_THROWS_EXCEPTION(Failure, PortRegistration::make("x", runtime.filePath("file")));
    QVERIFY_THROWS_EXCEPTION(Failure, PortRegistration::make("../x", c.path));
}

// A simulator killed outright leaves its link and record behind; the next terminal opened
// takes the same number, so the link leads to a terminal again, but not to its owner's.
void TestPortRegistry::ownerKilledIsNotListedAfterItsPtyNumberIsReused() {
    QTemporaryDir runtime;
    EnvScope env("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    QProcess sim;
    QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
    pe.insert("XDG_RUNTIME_DIR", runtime.path());
    sim.setProcessEnvironment(pe);
    sim.start(QStringLiteral(KELOTARI_BIN_DIR "/meter-sim"), {"--name", "killed", "--unpaced"});
    QString device;
    QString port;
    for (int i = 0; i < 100 && (device.isEmpty() || port.isEmpty()); ++i) {
        sim.waitForReadyRead(100);
        while (sim.canReadLine()) {
            const QString l = QString::fromLocal8Bit(sim.readLine()).trimmed();
            if (l.startsWith("DEVICE "))
                device = l.mid(7);
            if (l.startsWith("PORT "))
                port = l.mid(5);
        }
    }
    QVERIFY2(!device.isEmpty(), "meter-sim did not come up");
    QCOMPARE(registeredPorts(), QStringList{port});

    ::kill(pid_t(sim.processId()), SIGKILL);
    QVERIFY(sim.waitForFinished(10000));
    QVERIFY(QFileInfo(port).isSymLink()); // left behind

    // Open terminals until one gets the dead simulator's number.
    std::vector<std::unique_ptr<Pty>> ptys;
    for (int i = 0; i < 64; ++i) {
        ptys.push_back(std::make_unique<Pty>());
        if (ptys.back()->path == device)
            break;
    }
    if (ptys.back()->path != device)
        QSKIP("the system did not hand out the same terminal number again");
    QVERIFY(QFileInfo::exists(port)); // the stale link resolves again

    QCOMPARE(registeredPorts(), QStringList());
    QVERIFY(!QFileInfo(port).isSymLink()); // and it has been cleared away
    QCOMPARE(QDir(folderIn(runtime.path()))
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList());
}

void TestPortRegistry::onlySoundRegistrationsAreListed_data() {
    QTest::addColumn<QString>("entry");
    QTest::newRow("link to /dev/tty") << "tty";
    QTest::newRow("link to a regular file") << "file";
    QTest::newRow("link to a folder") << "folder";
    QTest::newRow("link to itself") << "self";
    QTest::newRow("link to a terminal, no owner record") << "no-owner";
    QTest::newRow("owner alive, link moved to another terminal") << "moved";
    QTest::newRow("owner record is a FIFO") << "fifo-owner";
    QTest::newRow("owner record is a link") << "link-owner";
}

void TestPortRegistry::onlySoundRegistrationsAreListed() {
    QFETCH(QString, entry);
    QTemporaryDir runtime;
    EnvScope env("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    Pty good;
    Pty other;
    auto kept = PortRegistration::make("good", good.path); // the sound one stays listed
    const QString folder = folderIn(runtime.path());
    const QString link = folder + "/bad";
    std::unique_ptr<PortRegistration> held;
    if (entry == "tty") {
        QVERIFY(makeLink("/dev/tty", link));
    } else if (entry == "file") {
        QFile f(runtime.filePath("plain"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(makeLink(f.fileName(), link));
    } else if (entry == "folder") {
        QVERIFY(makeLink(runtime.path(), link));
    } else if (entry == "self") {
        QVERIFY(makeLink(link, link));
    } else if (entry == "no-owner") {
        QVERIFY(makeLink(other.path, link));
    } else if (entry == "moved") {
        held = PortRegistration::make("bad", good.path);
        QVERIFY(QFile::remove(link));
        QVERIFY(makeLink(other.path, link));
    } else if (entry == "fifo-owner" || entry == "link-owner") {
        QVERIFY(makeLink(other.path, link));
        const QByteArray owner = QFile::encodeName(folder + "/.bad.owner");
        if (entry == "fifo-owner")
            QCOMPARE(::mkfifo(owner.constData(), 0600), 0);
        else
            QVERIFY(makeLink(folder + "/.good.owner", QFile::decodeName(owner)));
    }
    // A FIFO with no writer would hold a blocking open for ever.
    QCOMPARE(registeredPorts(), QStringList{kept->path()});
    if (entry != "moved")
        QVERIFY(QFileInfo(link).isSymLink()); // not ours to remove
}

void TestPortRegistry::untrustedFolderIsRefused_data() {
    QTest::addColumn<QString>("level"); // "" the runtime folder, or below it
    QTest::addColumn<QString>("how");
    QTest::newRow("runtime folder world-writable") << ""
                                                   << "0777";
    QTest::newRow("runtime folder group-writable") << ""
                                                   << "0770";
    QTest::newRow("kelotari folder world-writable") << "/kelotari"
                                                    << "0777";
    QTest::newRow("ports folder world-writable") << "/kelotari/ports"
                                                 << "0777";
    QTest::newRow("runtime folder foreign-owned") << ""
                                                  << "foreign";
    QTest::newRow("ports folder foreign-owned") << "/kelotari/ports"
                                                << "foreign";
    QTest::newRow("ports folder is a link") << "/kelotari/ports"
                                            << "link";
}

void TestPortRegistry::untrustedFolderIsRefused() {
    QFETCH(QString, level);
    QFETCH(QString, how);
    QTemporaryDir top;
    const QString runtime = top.filePath("run");
    QVERIFY(QDir().mkpath(runtime + "/kelotari"));
    EnvScope env("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    Pty pty;
    // A registration made while the folder was sound.
    auto r = PortRegistration::make("meter", pty.path);
    QCOMPARE(registeredPorts(), QStringList{r->path()});

    const QString path = runtime + level;
    const QByteArray p = QFile::encodeName(path);
    if (how == "foreign") {
        if (::geteuid() != 0)
            QSKIP("giving a folder to another user needs root");
        QCOMPARE(::chown(p.constData(), 65534, 65534), 0);
    } else if (how == "link") {
        QVERIFY(QDir().rename(path, runtime + "/elsewhere"));
        QVERIFY(makeLink(runtime + "/elsewhere", path));
    } else {
        QCOMPARE(::chmod(p.constData(), mode_t(how.toInt(nullptr, 8))), 0);
    }
    QString problem;
    QCOMPARE(registeredPorts(&problem), QStringList());
    QVERIFY(problem.contains(path));
    Pty second;
    try {
        PortRegistration::make("second", second.path);
        QFAIL("registered into an untrusted folder");
    } catch (const Failure& e) {
        QVERIFY2(e.message().contains(path), qPrintable(e.message()));
    }
    QVERIFY(!QFileInfo(runtime + "/kelotari/ports/second").isSymLink());
    ::chmod(p.constData(), 0700);
}

void TestPortRegistry::withoutRuntimeFolderAPrivateOneIsMade() {
    QTemporaryDir tmp;
    EnvScope noXdg("XDG_RUNTIME_DIR", QByteArray());
    EnvScope tmpdir("TMPDIR", QFile::encodeName(tmp.path()));
    QVERIFY(registeredPortsFolder().startsWith(tmp.path() + "/runtime-"));
    const QString base = QFileInfo(QFileInfo(registeredPortsFolder()).path()).path();
    Pty pty;
    {
        auto r = PortRegistration::make("meter", pty.path);
        QCOMPARE(registeredPorts(), QStringList{r->path()});
        struct stat st {};
        QCOMPARE(::lstat(QFile::encodeName(base).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0700));
    }
    // Made first by someone else, open to all: refused, and not taken over.
    QVERIFY(QDir(base).removeRecursively());
    QVERIFY(QDir().mkpath(base + "/kelotari/ports"));
    QCOMPARE(::chmod(QFile::encodeName(base).constData(), 0777), 0);
    QVERIFY(makeLink(pty.path, base + "/kelotari/ports/planted"));
    QCOMPARE(registeredPorts(), QStringList());
    QVERIFY_THROWS_EXCEPTION(Failure, PortRegistration::make("meter", pty.path));
    struct stat st {};
    QCOMPARE(::lstat(QFile::encodeName(base).constData(), &st), 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0777));
}

// Ten thousand entries: stale records are cleared, planted links left alone, the one sound
// registration listed. (How long it takes is for the benchmarks; this shows it ends.)
void TestPortRegistry::tenThousandEntriesAreSortedOut() {
    QTemporaryDir runtime;
    EnvScope env("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    Pty pty;
    auto r = PortRegistration::make("live", pty.path);
    const QString folder = folderIn(runtime.path());
    const QByteArray record = "1\n" + QFile::encodeName(pty.path) + "\n0\n";
    for (int i = 0; i < 10000; ++i) {
        const QString name = QStringLiteral("n%1").arg(i, 5, 10, QLatin1Char('0'));
        if (i % 2 == 0) { // a dead owner's leftovers
            QFile f(folder + "/." + name + ".owner");
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(record);
            QVERIFY(makeLink(pty.path, folder + "/" + name));
        } else { // planted, no record
            QVERIFY(makeLink("/dev/tty", folder + "/" + name));
        }
    }
    QCOMPARE(registeredPorts(), QStringList{r->path()});
    const QStringList left = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                    QDir::NoDotAndDotDot);
    QCOMPARE(left.size(), 5000 + 2); // the planted links, the live link and its record
}

QTEST_GUILESS_MAIN(TestPortRegistry)
#include "tst_portregistry.moc"
