// Benchmarks of the meter link against the simulated meter on a pseudo-terminal:
//  (a) a full memory (49 packets of 30 readings) paced at 4800 baud: the download's
//      completion time over the wire time of the bytes the meter sent;
//  (b) processor time of the process during a 10-tick silent wait (through the window's
//      Transfer, and through the link alone) and during that download;
//  (c) unpaced reader throughput: the line reader alone, and through the pseudo-terminal.
// Run offscreen: QT_QPA_PLATFORM=offscreen bench_meter [--tick-ms N] [--quick]
//                [--only reader|wait|download]
#include "ComPort.h"
#include "QtMeterLink.h"
#include "ScriptedDialogs.h"
#include "main_frm.h"
#include "meter/LineReader.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>
#include <utility>

using namespace kelotari;

namespace {

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

class Sim {
public:
    Sim(const QString& dir, const QStringList& args) {
        m_port = dir + QStringLiteral("/bench-meter");
        m_proc.start(QStringLiteral(KELOTARI_BIN_DIR "/meter-sim"),
                     QStringList{QStringLiteral("--link"), m_port} + args);
        waitFor("READY");
    }
    ~Sim() {
        m_proc.terminate();
        m_proc.waitForFinished(30000);
    }
    const QString& port() const { return m_port; }
    // The rest of the first report line that starts with prefix.
    QByteArray waitFor(const QByteArray& prefix) {
        for (int i = 0; i < 600; ++i) {
            m_out += m_proc.readAllStandardOutput();
            for (const QByteArray& l : m_out.split('\n'))
                if (l.startsWith(prefix))
                    return l.mid(prefix.size()).trimmed();
            m_proc.waitForReadyRead(100);
        }
        std::fprintf(stderr, "meter-sim did not report %s\n", prefix.constData());
        std::exit(1);
    }

private:
    QProcess m_proc;
    QString m_port;
    QByteArray m_out;
};

std::unique_ptr<TMainFrm> window(const QTemporaryDir& dir, ScriptedDialogs& dialogs,
                                 const QString& port, int tickMs) {
    MainFrmEnv env;
    env.settingsFile = dir.filePath(QStringLiteral("bench.INI"));
    env.languageFile = dir.filePath(QStringLiteral("none.lng"));
    env.dialogs = &dialogs;
    env.tickMs = tickMs;
    auto w = std::make_unique<TMainFrm>(env);
    w->state().settings.PortName = port;
    w->show();
    // The window's first paint belongs to its start, not to the wait measured here.
    QEventLoop settle;
    QTimer::singleShot(500, &settle, &QEventLoop::quit);
    settle.exec();
    return w;
}

// Wall-clock and process CPU seconds of one Transfer.
std::pair<double, double> timedTransfer(TMainFrm& w) {
    QElapsedTimer wall;
    const double cpu0 = cpuSeconds();
    wall.start();
    w.Transfer_btnClick();
    return {wall.nsecsElapsed() / 1e9, cpuSeconds() - cpu0};
}

void silentWait(const QTemporaryDir& dir, int tickMs) {
    Sim sim(dir.path(), {"--fault", "silent"});
    ScriptedDialogs dialogs;
    auto w = window(dir, dialogs, sim.port(), tickMs);
    const auto [secs, cpu] = timedTransfer(*w);
    std::printf(
        "(b) silent wait, 10 ticks of %d ms: %.2f s, process CPU %.4f s = %.3f%% of one core%s\n",
        tickMs, secs, cpu, 100 * cpu / secs,
        dialogs.kinds() == QStringList{"message"} ? "" : "  [UNEXPECTED: no time-out]");
}

// The same silence through the link alone, without a window: what the wait itself costs,
// apart from the repaints a Transfer makes when it starts and ends.
void silentLinkWait(const QTemporaryDir& dir, int tickMs) {
    Sim sim(dir.path(), {"--fault", "silent"});
    TComPort port;
    int countdown = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] { tickCountdown(countdown); });
    tick.start(tickMs);
    QtMeterLink link(port, countdown, &tick);
    link.setPort(sim.port());
    link.open();
    link.purge();
    link.send("D");
    QElapsedTimer wall;
    const double cpu0 = cpuSeconds();
    wall.start();
    const ReadResult r = link.readResult(10);
    const double secs = wall.nsecsElapsed() / 1e9;
    const double cpu = cpuSeconds() - cpu0;
    link.close();
    std::printf("(b) silent wait of the link alone, 10 ticks of %d ms: %.2f s, process CPU %.4f s "
                "= %.3f%% of one core%s\n",
                tickMs, secs, cpu, 100 * cpu / secs,
                r.kind == ReadResult::Kind::Timeout ? "" : "  [UNEXPECTED: no time-out]");
}

// For comparison: ten ticks of an idle event loop with nothing but the tick timer.
void idleTicks(int tickMs) {
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.start(tickMs);
    QEventLoop loop;
    int ticks = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (++ticks == 10)
            loop.quit();
    });
    QElapsedTimer wall;
    const double cpu0 = cpuSeconds();
    wall.start();
    loop.exec();
    const double secs = wall.nsecsElapsed() / 1e9;
    const double cpu = cpuSeconds() - cpu0;
    std::printf("(b) for comparison, an idle event loop, 10 ticks of %d ms: %.2f s, process CPU "
                "%.4f s = %.3f%% of one core\n",
                tickMs, secs, cpu, 100 * cpu / secs);
}

void pacedDownload(const QTemporaryDir& dir, int tickMs) {
    Sim sim(dir.path(), {"--generate", "49,30"});
    ScriptedDialogs dialogs;
    auto w = window(dir, dialogs, sim.port(), tickMs);
    const auto [secs, cpu] = timedTransfer(*w);
    const QList<QByteArray> sent = sim.waitFor("SENT D").split(' ');
    const double bytes = sent.value(0).toDouble();
    const double wire = bytes * 10 / 4800;
    std::printf("(a) paced full memory: %d packets, %.0f bytes, wire time %.3f s, "
                "download %.3f s, ratio %.4f\n",
                w->state().PacketCount, bytes, wire, secs, secs / wire);
    std::printf("(b) paced download: process CPU %.3f s = %.3f%% of one core\n", cpu,
                100 * cpu / secs);
}

void readerAlone() {
    QByteArray stream;
    while (stream.size() < 64 * 1024 * 1024)
        stream += "Kelotari identification text, line of ordinary length 12.5\r\n";
    int countdown = 0;
    LineReader reader(countdown);
    reader.start(10);
    ReadResult r;
    qint64 lines = 0;
    int pos = 0;
    QElapsedTimer t;
    t.start();
    while (pos < stream.size()) {
        if (reader.feed(stream.constData(), int(stream.size()), &pos, &r)) {
            ++lines;
            reader.start(10);
        }
    }
    const double secs = t.nsecsElapsed() / 1e9;
    std::printf("(c) line reader alone: %.0f MB in %.3f s = %.1f MB/s (%lld lines)\n",
                stream.size() / 1e6, secs, stream.size() / 1e6 / secs, lines);
}

void readerOverPty(const QTemporaryDir& dir, int textLines) {
    const QString scn = dir.filePath(QStringLiteral("text.scn"));
    QFile f(scn);
    f.open(QIODevice::WriteOnly);
    for (int i = 0; i < textLines; ++i)
        f.write("text Kelotari identification text, line of ordinary length " +
                QByteArray::number(i) + '\n');
    f.close();
    Sim sim(dir.path(), {"--scenario", scn, "--unpaced"});

    TComPort port;
    int countdown = 0;
    QTimer tick;
    tick.start(1000);
    QtMeterLink link(port, countdown, &tick);
    link.setPort(sim.port());
    link.open();
    link.purge();
    QElapsedTimer t;
    const double cpu0 = cpuSeconds();
    t.start();
    link.send("T");
    qint64 bytes = 0, lines = 0;
    for (;;) {
        const ReadResult r = link.readResult(10);
        if (r.kind != ReadResult::Kind::Line)
            break;
        bytes += r.line.size() + 1;
        ++lines;
    }
    const double secs = t.nsecsElapsed() / 1e9;
    const double cpu = cpuSeconds() - cpu0;
    link.close();
    std::printf("(c) reader over the pseudo-terminal, unpaced: %lld lines, %.2f MB in %.3f s = "
                "%.2f MB/s (%.0f bytes/s), process CPU %.3f s\n",
                lines, bytes / 1e6, secs, bytes / 1e6 / secs, bytes / secs, cpu);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    int tickMs = 1000;
    bool quick = false;
    QByteArray only;
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--tick-ms") == 0 && i + 1 < argc)
            tickMs = atoi(argv[++i]);
        else if (qstrcmp(argv[i], "--quick") == 0)
            quick = true;
        else if (qstrcmp(argv[i], "--only") == 0 && i + 1 < argc)
            only = argv[++i];
    }
    QTemporaryDir dir;
    if (only.isEmpty() || only == "reader") {
        readerAlone();
        readerOverPty(dir, quick ? 20000 : 100000);
    }
    if (only.isEmpty() || only == "wait") {
        silentWait(dir, quick ? 100 : tickMs);
        silentLinkWait(dir, quick ? 100 : tickMs);
        idleTicks(quick ? 100 : tickMs);
    }
    if ((only.isEmpty() && !quick) || only == "download")
        pacedDownload(dir, tickMs);
    return 0;
}
