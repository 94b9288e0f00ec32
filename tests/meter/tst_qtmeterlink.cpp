// The window's meter link on a real pseudo-terminal: the wait for Next, bytes held up behind
// a nested event loop (a modal box), and how often a stream wakes the wait.
#include "ComPort.h"
#include "Pty.h"
#include "QtMeterLink.h"

#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

using namespace kelotari;

namespace {

// What a window gives a link: its countdown and a tick timer whose own handler counts down.
struct Window {
    int countdown = 0;
    QTimer tick;
    explicit Window(int tickMs) {
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(tickMs);
        QObject::connect(&tick, &QTimer::timeout, [this] { tickCountdown(countdown); });
        tick.start();
    }
};

// Runs a nested event loop for ms, as a modal box left open does.
void holdOpen(int ms) {
    QEventLoop box;
    QTimer::singleShot(ms, &box, &QEventLoop::quit);
    box.exec();
}

} // namespace

class TestQtMeterLink : public QObject {
    Q_OBJECT
private slots:
    void nextEndsTheWaitOnlyWhenPressedDuringIt();
    void cancelEndsTheWaitAndEveryLaterOne();
    void bytesHeldUpBehindAModalBoxAreNoTimeout();
    void aStreamWakesTheWaitSeldom_data();
    void aStreamWakesTheWaitSeldom();
};

void TestQtMeterLink::nextEndsTheWaitOnlyWhenPressedDuringIt() {
    TComPort port;
    Window w(1000);
    QtMeterLink link(port, w.countdown, &w.tick);

    QTimer::singleShot(50, &link, &QtMeterLink::next);
    QVERIFY(link.waitForNext());

    // A press before the wait is not remembered: this wait ends only by the cancel.
    link.next();
    bool cancelledDuringWait = false;
    QTimer::singleShot(300, &link, [&] {
        cancelledDuringWait = true;
        link.cancel();
    });
    QVERIFY(!link.waitForNext());
    QVERIFY(cancelledDuringWait);
}

void TestQtMeterLink::cancelEndsTheWaitAndEveryLaterOne() {
    Pty pty;
    TComPort port;
    Window w(1000);
    QtMeterLink link(port, w.countdown, &w.tick);
    link.setPort(pty.path);
    link.open();

    QTimer::singleShot(50, &link, &QtMeterLink::cancel);
    QCOMPARE(link.readResult(10).kind, ReadResult::Kind::Cancelled);
    QVERIFY(link.cancelled());
    QVERIFY(pty.send("12\r"));
    QCOMPARE(link.readResult(10).kind, ReadResult::Kind::Cancelled);
    QVERIFY(!link.waitForNext());
    link.close();
}

// A modal box opened during a read stays open well past the time-out while the meter sends
// the rest of its answer. When it closes, what arrived is read, not a time-out.
void TestQtMeterLink::bytesHeldUpBehindAModalBoxAreNoTimeout() {
    Pty pty;
    TComPort port;
    Window w(20); // a time-out of 3 ticks: 60 ms
    QtMeterLink link(port, w.countdown, &w.tick);
    link.setPort(pty.path);
    link.open();

    int countdownWhenClosed = -1;
    QTimer::singleShot(10, &link, [&] {
        QTimer::singleShot(50, [&] { pty.send("12.3\r\xAF"); });
        holdOpen(500);
        countdownWhenClosed = w.countdown;
    });
    const ReadResult line = link.readResult(3);
    QCOMPARE(countdownWhenClosed, 0); // the box stayed open past the time-out
    QCOMPARE(line.kind, ReadResult::Kind::Line);
    QCOMPARE(line.line, QByteArray("12.3"));
    QCOMPARE(link.readResult(3).kind, ReadResult::Kind::PacketEnd);
    // Silence after it is still a time-out.
    QCOMPARE(link.readResult(3).kind, ReadResult::Kind::Timeout);
    link.close();
}

void TestQtMeterLink::aStreamWakesTheWaitSeldom_data() {
    QTest::addColumn<char>("byte");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("digits") << '5' << QByteArray(400, '5') + "x";
    QTest::newRow("NUL bytes (dropped by the port)") << '\0' << QByteArray("x");
}

// 400 bytes one by one, about 2 ms apart (as at 4800 baud): the wait does not wake per byte.
void TestQtMeterLink::aStreamWakesTheWaitSeldom() {
    QFETCH(char, byte);
    QFETCH(QByteArray, line);
    Pty pty;
    TComPort port;
    Window w(1000);
    QtMeterLink link(port, w.countdown, &w.tick);
    link.setPort(pty.path);
    link.open();

    int sent = 0;
    QTimer sender;
    sender.setTimerType(Qt::PreciseTimer);
    sender.setInterval(2);
    connect(&sender, &QTimer::timeout, &link, [&] {
        if (++sent <= 400)
            pty.send(QByteArray(1, byte));
        else {
            pty.send("x\r");
            sender.stop();
        }
    });
    sender.start();
    const qint64 before = link.wakeUps();
    const ReadResult r = link.readResult(10);
    QCOMPARE(r.kind, ReadResult::Kind::Line);
    QCOMPARE(r.line, line);
    const qint64 wakeUps = link.wakeUps() - before;
    QVERIFY2(wakeUps < 40, qPrintable(QString::number(wakeUps)));
    link.close();
}

QTEST_GUILESS_MAIN(TestQtMeterLink)
#include "tst_qtmeterlink.moc"
