// The processor time an open, idle setup dialog costs: the dialog is opened as Setup opens it,
// with the system's port list and its watch on the port folders, and the process's user and
// system time (getrusage) is taken over each run while nobody touches anything.
// For comparison, the same with the watch stopped: what the dialog's own tick timer and the
// main window cost without it.
// Usage: bench_portbox_idle [seconds=5] [runs=5]   (QT_QPA_PLATFORM=offscreen works)
#include "PortWatcher.h"
#include "QtDialogs.h"
#include "main_frm.h"
#include "setup_frm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {
double cpuMs() {
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 +
           (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int seconds = std::max(1, argc > 1 ? atoi(argv[1]) : 5);
    const int runs = std::max(1, argc > 2 ? atoi(argv[2]) : 5);

    QTemporaryDir dir;
    kelotari::QtDialogs dialogs;
    kelotari::MainFrmEnv env;
    env.settingsFile = dir.filePath(QStringLiteral("kelotari.INI"));
    env.languageFile = dir.filePath(QStringLiteral("DefLang.lng"));
    env.dialogs = &dialogs;
    kelotari::TMainFrm mainFrm(env);
    kelotari::TSetupfrm& setupFrm = *new kelotari::TSetupfrm(mainFrm); // the window owns it
    mainFrm.show();

    auto measure = [&] {
        std::vector<double> ms;
        for (int r = 0; r < runs; ++r) {
            QEventLoop idle;
            QTimer::singleShot(seconds * 1000, &idle, &QEventLoop::quit);
            const double before = cpuMs();
            idle.exec();
            ms.push_back(cpuMs() - before);
        }
        std::sort(ms.begin(), ms.end());
        return ms;
    };
    auto report = [&](const char* what, const std::vector<double>& ms) {
        std::printf("%s, %d s per run: CPU min %.1f ms, median %.1f ms, max %.1f ms "
                    "(%.3f%% of one core at the median, %zu runs)\n",
                    what, seconds, ms.front(), ms[ms.size() / 2], ms.back(),
                    ms[ms.size() / 2] / (seconds * 10.0), ms.size());
    };
    std::vector<double> watching, unwatched;
    QTimer::singleShot(0, &setupFrm, [&] {
        QEventLoop settle; // first paint and the dialog's own start-up work out of the way
        QTimer::singleShot(1000, &settle, &QEventLoop::quit);
        settle.exec();
        auto* watcher = setupFrm.findChild<kelotari::PortWatcher*>();
        std::printf("watching: %s\n",
                    qPrintable(watcher->watchedPaths().join(QStringLiteral(", "))));
        watching = measure();
        watcher->stop();
        unwatched = measure();
        setupFrm.reject();
    });
    setupFrm.showModal();

    report("idle setup dialog", watching);
    report("the same, port watch stopped", unwatched);
    return 0;
}
