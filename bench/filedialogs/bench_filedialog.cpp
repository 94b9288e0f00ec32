// The save dialog in a data folder of many files: from the request to the dialog on screen,
// then until every file is listed (with the longest time the GUI thread did not answer in
// between), and the program's memory over many openings.
//
// Usage: bench_filedialog [files=10000] [runs=5] [mode=kept] [openings=200] [folder]
//   mode kept:  the program's dialogs (one save dialog kept and shown again)
//        fresh: the program's dialogs, a new set for every run (the first Save of a session)
//        qt:    a new Qt file dialog for every opening with Qt's own icon provider, built as
//               the program built it before it had its own dialogs (for comparison)
// With a folder, that folder of .DAT files is used as it is (files: how many it holds), so a
// profiler sees the dialog alone. Runs on any platform plugin: QT_QPA_PLATFORM=offscreen, or under
// xvfb-run.
#include "QtDialogs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QListView>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double guiCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double rssKb() {
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / 1024.0 : 0;
}

struct Opening {
    double shownMs = -1;
    double shownCpuMs = -1;
    double listedMs = -1;
    double stallMs = 0; // longest gap between ticks of a 5 ms timer, request to listed
};

// Watches for the first paint of a file dialog, then (when asked) until its list shows the
// folder's files, then closes it.
class Watch : public QObject {
public:
    int expectedRows = 0;
    bool waitForListing = true;
    Opening result;
    QElapsedTimer clock;
    double cpuStart = 0;

    // The probe ticks from the request on: the work done before the dialog's first paint (or
    // in the call that asks for it) is a stall of the program's window all the same.
    void start() {
        result = Opening();
        m_dialog = nullptr;
        cpuStart = cpuMs();
        clock.start();
        m_last = 0;
        if (waitForListing) {
            m_probe.setInterval(5);
            m_probe.callOnTimeout(this, &Watch::tick, Qt::UniqueConnection);
            m_probe.start();
        }
    }

    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint && !m_dialog) {
            if (auto* d = qobject_cast<QFileDialog*>(o)) {
                m_dialog = d;
                result.shownMs = double(clock.nsecsElapsed()) / 1e6;
                result.shownCpuMs = cpuMs() - cpuStart;
                QTimer::singleShot(0, d, [this] { follow(); });
            }
        }
        return false;
    }

private:
    void follow() {
        if (!waitForListing) {
            m_dialog->reject();
            return;
        }
        m_view = m_dialog->findChild<QListView*>(QStringLiteral("listView"));
    }

    void tick() {
        const double now = double(clock.nsecsElapsed()) / 1e6;
        result.stallMs = std::max(result.stallMs, now - m_last);
        m_last = now;
        if (!m_dialog || result.shownMs < 0)
            return;
        const bool listed =
            m_view && m_view->model()->rowCount(m_view->rootIndex()) >= expectedRows;
        if (listed || now - result.shownMs > 60000) {
            result.listedMs = listed ? now : -1;
            m_probe.stop();
            m_dialog->reject();
        }
    }

    QPointer<QFileDialog> m_dialog;
    QPointer<QListView> m_view;
    QTimer m_probe;
    double m_last = 0;
};

const QString kTitle = QStringLiteral("Save");
const QString kFilter = QStringLiteral("Data files (*.dat *.DAT)");

// The save dialog as the program built it before: a new Qt dialog for every Save.
void oldSaveDialog(const QString& proposed) {
    QFileDialog dlg(nullptr, kTitle, proposed, kFilter);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
    dlg.setDefaultSuffix(QStringLiteral("DAT"));
    dlg.selectFile(proposed);
    dlg.exec();
}

void report(const char* what, std::vector<double> v) {
    if (v.empty())
        return;
    std::sort(v.begin(), v.end());
    std::printf("  %-34s min %8.1f  median %8.1f  max %8.1f  (%zu)\n", what, v.front(),
                v[v.size() / 2], v.back(), v.size());
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int files = argc > 1 ? atoi(argv[1]) : 10000;
    const int runs = std::max(1, argc > 2 ? atoi(argv[2]) : 5);
    const QString mode = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("kept");
    const int openings = argc > 4 ? atoi(argv[4]) : 200;
    if (mode != QLatin1String("kept") && mode != QLatin1String("fresh") &&
        mode != QLatin1String("qt")) {
        std::fprintf(stderr, "mode is kept, fresh or qt\n");
        return 2;
    }

    QTemporaryDir dir;
    const bool given = argc > 5;
    const QString data =
        given ? QDir(QString::fromLocal8Bit(argv[5])).absolutePath() + QLatin1Char('/')
              : dir.filePath(QStringLiteral("data")) + QLatin1Char('/');
    QDir().mkpath(data);
    for (int i = 0; i < files && !given; ++i) {
        QFile f(data + QStringLiteral("%1.DAT").arg(i, 6, 10, QLatin1Char('0')));
        if (f.open(QIODevice::WriteOnly))
            f.write("x             \r\n\xaf\r\n\x1a\r\n");
    }
    const QString proposed = data + QStringLiteral("111226.DAT");

    auto dialogs = std::make_unique<kelotari::QtDialogs>();
    std::function<void()> open = [&] {
        if (mode == QLatin1String("qt"))
            oldSaveDialog(proposed);
        else
            dialogs->chooseSaveFileName(kTitle, proposed, kFilter, QStringLiteral("DAT"));
    };

    Watch watch;
    watch.expectedRows = files;
    app.installEventFilter(&watch);

    std::vector<double> shown, cpu, listed, stall;
    std::vector<double> firstShown, repeatShown;
    for (int r = 0; r < runs; ++r) {
        if (mode == QLatin1String("fresh"))
            dialogs = std::make_unique<kelotari::QtDialogs>();
        watch.start();
        open();
        shown.push_back(watch.result.shownMs);
        cpu.push_back(watch.result.shownCpuMs);
        listed.push_back(watch.result.listedMs);
        stall.push_back(watch.result.stallMs);
        (r == 0 ? firstShown : repeatShown).push_back(watch.result.shownMs);
    }
    std::printf("%d .DAT files, mode %s, platform %s, %d runs (ms)\n", files, qPrintable(mode),
                qPrintable(QGuiApplication::platformName()), runs);
    report("request to dialog shown", shown);
    report("  program CPU over that span", cpu);
    if (mode == QLatin1String("kept") && runs > 1) {
        report("  first opening", firstShown);
        report("  later openings", repeatShown);
    }
    report("request to every file listed", listed);
    report("longest GUI stall while listing", stall);

    if (openings > 0) {
        watch.waitForListing = false;
        double after10 = 0;
        for (int i = 1; i <= openings; ++i) {
            watch.start();
            open();
            if (i == 10)
                after10 = rssKb();
        }
        const double afterAll = rssKb();
        std::printf("  memory (RSS) after 10 openings %.0f KB, after %d: %.0f KB, growth %.0f KB\n",
                    after10, openings, afterAll, afterAll - after10);
    }

    if (mode != QLatin1String("qt")) {
        // Hidden between openings, a kept dialog still follows its folder (so it opens up to
        // date without listing it again): the program's CPU for a file written there.
        auto spin = [](int ms, const std::function<void()>& each) {
            QEventLoop loop;
            QTimer tick;
            int n = 0;
            QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
                each();
                if (++n == 10)
                    loop.quit();
            });
            tick.start(ms / 10);
            loop.exec();
        };
        spin(3000, [] {}); // whatever the last opening left to do
        double c0 = cpuMs();
        double g0 = guiCpuMs();
        spin(3000, [] {});
        const double idle = cpuMs() - c0;
        const double guiIdle = guiCpuMs() - g0;
        int k = 0;
        c0 = cpuMs();
        g0 = guiCpuMs();
        spin(3000, [&] {
            QFile f(data + QStringLiteral("new%1.DAT").arg(k++));
            if (f.open(QIODevice::WriteOnly))
                f.write("x");
        });
        const double changed = cpuMs() - c0;
        const double guiChanged = guiCpuMs() - g0;
        std::printf("  hidden dialog, 10 files written to its folder over 3 s: program CPU %.1f ms "
                    "(GUI thread %.1f ms); idle over 3 s: %.1f ms (GUI %.1f ms)\n",
                    changed, guiChanged, idle, guiIdle);
    }
    return 0;
}
