// Start-up to first paint of the main window, then until its file list shows every data file
// (with the longest time the GUI thread did not answer in between, from a 5 ms timer), and a
// folder change in its file panel.
// Usage: bench_startup [files=10000] [runs=5] [subfolders=0]   (QT_QPA_PLATFORM=offscreen works)
// The data folder holds `files` .dat files and `subfolders` subfolders; the program starts in
// a folder of `subfolders` subfolders too (the process's current folder, where a desktop or a
// shell may leave it). The folder change goes from the data folder into a folder of 500
// subfolders and is timed on its own.
#include "FilePanel.h"
#include "FirstPaint.h"
#include "QtDialogs.h"
#include "main_frm.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

void makeSubfolders(const QString& parent, int n) {
    QDir d(parent);
    for (int i = 0; i < n; ++i)
        d.mkpath(QStringLiteral("site %1").arg(i, 4, 10, QLatin1Char('0')));
}

void report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%s: min %.1f ms, median %.1f ms, max %.1f ms (%zu runs)\n", what, ms.front(),
                ms[ms.size() / 2], ms.back(), ms.size());
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int files = argc > 1 ? atoi(argv[1]) : 10000;
    const int runs = std::max(1, argc > 2 ? atoi(argv[2]) : 5);
    const int subfolders = argc > 3 ? atoi(argv[3]) : 0;

    QTemporaryDir dir;
    const QString data = dir.filePath("data") + "/";
    QDir().mkpath(data);
    for (int i = 0; i < files; ++i) {
        QFile f(data + QStringLiteral("%1.DAT").arg(i, 6, 10, QLatin1Char('0')));
        if (f.open(QIODevice::WriteOnly))
            f.write("\x1a\r\n");
    }
    makeSubfolders(data, subfolders);
    const QString cwd = dir.filePath("cwd");
    QDir().mkpath(cwd);
    makeSubfolders(cwd, subfolders);
    QDir::setCurrent(cwd);
    const QString many = dir.filePath("many");
    QDir().mkpath(many);
    makeSubfolders(many, 500);

    QFile ini(dir.filePath("kelotari.INI"));
    if (ini.open(QIODevice::WriteOnly))
        ini.write("[DB]\nPath=" + data.toUtf8() + "\n");
    ini.close();

    kelotari::QtDialogs dialogs;
    std::vector<double> startup;
    std::vector<double> change;
    std::vector<double> filled;
    std::vector<double> stalls;
    for (int r = 0; r < runs; ++r) {
        kelotari::MainFrmEnv env;
        env.settingsFile = ini.fileName();
        env.languageFile = dir.filePath("DefLang.lng");
        env.dialogs = &dialogs;
        QElapsedTimer t;
        t.start();
        FirstPaint fp;
        kelotari::TMainFrm w(env);
        w.installEventFilter(&fp);
        w.show();
        while (!fp.painted)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        startup.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);

        {
            QEventLoop loop;
            QTimer probe;
            double last = double(t.nsecsElapsed()) / 1e6;
            double stall = 0;
            QObject::connect(&probe, &QTimer::timeout, &loop, [&] {
                const double now = double(t.nsecsElapsed()) / 1e6;
                stall = std::max(stall, now - last);
                last = now;
                if (w.filePanel()->fileList()->count() >= files || now > 60000)
                    loop.quit();
            });
            probe.start(5);
            loop.exec();
            filled.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
            stalls.push_back(stall);
        }

        t.restart();
        w.filePanel()->setFolder(many);
        change.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::printf("%d .dat files, %d subfolders beside them and in the start folder\n", files,
                subfolders);
    report("start-up to first paint", startup);
    report("start-up to every file listed", filled);
    report("longest GUI stall after first paint", stalls);
    report("folder change into 500 subfolders", change);
    return 0;
}
