// How long the main window stops answering when the print scheduler accepts connections and
// then does not answer: a private cupsd is stopped (SIGSTOP) and continued after `hold`
// seconds by another thread, while the window opens Setup (measured until the printer box
// lists the queue, at most hold + 9 s) or runs Print all (until the command is available
// again). A 5 ms timer on the GUI thread measures the longest gap between two of its ticks:
// the longest time nothing could be clicked or repainted. "reached" counts the runs whose box
// listed the queue, or whose Print all made one job without a message; a hold past the
// program's time-outs gives the failure message instead, and a box without the queue.
// Usage: bench_print_stall [hold seconds=3] [runs=3]   (as root; QT_QPA_PLATFORM=offscreen)
#include "PrivateCups.h"
#include "ScriptedDialogs.h"
#include "main_frm.h"
#include "setup_frm.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

using namespace kelotari;

namespace {

const QString kQueue = QStringLiteral("Bench_File");

// The longest gap between ticks of a fast timer on the GUI thread.
class StallMeter {
public:
    StallMeter() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout,
                         [this] { m_longest = std::max(m_longest, m_clock.restart()); });
        m_clock.start();
        m_timer.start();
    }
    qint64 longest() const { return std::max(m_longest, m_clock.elapsed()); }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

// Turns the event loop until `done` holds (checked every 5 ms) or `ms` have passed.
bool waitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

struct Run {
    qint64 stallMs = 0, doneMs = 0;
    bool done = false;
};

void report(const char* what, std::vector<Run> runs) {
    std::sort(runs.begin(), runs.end(),
              [](const Run& a, const Run& b) { return a.stallMs < b.stallMs; });
    std::vector<qint64> done;
    for (const Run& r : runs)
        done.push_back(r.doneMs);
    std::sort(done.begin(), done.end());
    int finished = 0;
    for (const Run& r : runs)
        finished += r.done;
    std::printf("%-34s longest stall min %6lld  median %6lld  max %6lld ms;"
                " outcome after min %6lld  median %6lld  max %6lld ms (%d/%zu reached)\n",
                what, static_cast<long long>(runs.front().stallMs),
                static_cast<long long>(runs[runs.size() / 2].stallMs),
                static_cast<long long>(runs.back().stallMs), static_cast<long long>(done.front()),
                static_cast<long long>(done[done.size() / 2]), static_cast<long long>(done.back()),
                finished, runs.size());
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int holdSeconds = std::max(0, argc > 1 ? atoi(argv[1]) : 3);
    const int runs = std::max(1, argc > 2 ? atoi(argv[2]) : 3);
    const QString reason = PrivateCups::unavailableReason();
    if (!reason.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(reason));
        return 1;
    }
    PrivateCups cups;
    if (!cups.start() || !cups.addFileQueue(kQueue, QStringLiteral("bench.out")) ||
        !cups.run("lpadmin", {"-d", kQueue})) {
        std::fprintf(stderr, "the private cupsd did not start\n");
        return 1;
    }

    QTemporaryDir dir;
    {
        QFile ini(dir.filePath(QStringLiteral("Kelotari.INI")));
        if (!ini.open(QIODevice::WriteOnly))
            return 1;
        ini.write("[DB]\r\nPath=" + dir.path().toUtf8() +
                  "/\r\n[App]\r\nPrinter=" + kQueue.toUtf8() + "\r\n");
    }
    ScriptedDialogs dialogs;
    TMainFrm frm(MainFrmEnv{dir.filePath(QStringLiteral("Kelotari.INI")),
                            dir.filePath(QStringLiteral("DefLang.lng")), &dialogs, 1000});
    auto* setup = new TSetupfrm(frm);
    setup->setPortSource([] { return QList<SerialPortEntry>(); });
    // A full table: 49 packets of 30 readings.
    for (int r = 1; r <= 49; ++r) {
        const QList<QByteArray> header = {QByteArray::number(r),
                                          "30",
                                          "05.03.24",
                                          "14:02",
                                          "Pine",
                                          "20",
                                          "12.5",
                                          "19.1",
                                          "15.8",
                                          "1.3"};
        for (int c = 0; c < header.size(); ++c)
            frm.state().table.setCell(c, r, header[c]);
        for (int k = 0; k < 30; ++k)
            frm.state().table.setCell(11 + k, r, QByteArray::number(12.5 + (k % 7) * 0.9, 'f', 1));
    }
    frm.state().PacketCount = 49;
    frm.show();

    auto held = [&](const std::function<bool()>& action) {
        cups.hold();
        const pid_t pid = cups.pid();
        std::thread releaser([pid, holdSeconds] {
            std::this_thread::sleep_for(std::chrono::seconds(holdSeconds));
            ::kill(pid, SIGCONT);
        });
        Run run;
        QElapsedTimer clock;
        {
            StallMeter meter;
            clock.start();
            run.done = action();
            run.doneMs = clock.elapsed();
            run.stallMs = meter.longest();
        }
        releaser.join();
        return run;
    };

    // Long enough for libcups' own waits on the GUI thread (the code before the worker), and for
    // the worker's listing to end one way or the other.
    const int limitMs = holdSeconds * 1000 + 70000;
    const int listLimitMs = holdSeconds * 1000 + 9000;
    std::vector<Run> setupRuns, printRuns;
    for (int i = 0; i < runs; ++i) {
        setupRuns.push_back(held([&] {
            bool listed = false;
            QTimer::singleShot(0, setup, [&] {
                auto* box = setup->findChild<QComboBox*>(QStringLiteral("printerbox"));
                listed = waitUntil([&] { return box->findText(kQueue) >= 0; }, listLimitMs);
                setup->reject();
            });
            frm.findChild<QToolButton*>(QStringLiteral("tyo_setup"))->click();
            return listed;
        }));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    for (int i = 0; i < runs; ++i) {
        const int lastJob = PrivateCups::lastJobId();
        dialogs.calls.clear();
        auto* printAll = frm.findChild<QAction*>(QStringLiteral("PrintAll"));
        Run run = held([&] {
            printAll->trigger();
            return waitUntil([&] { return printAll->isEnabled(); }, limitMs);
        });
        run.done = run.done && dialogs.calls.isEmpty() &&
                   PrivateCups::jobsAfter(lastJob, 30000).size() == 1;
        printRuns.push_back(run);
    }
    std::printf("scheduler held for %d s, %d runs each\n", holdSeconds, runs);
    report("Setup (printer box lists the queue)", setupRuns);
    report("Print all (one job, no message)", printRuns);
    cups.stop();
    return 0;
}
