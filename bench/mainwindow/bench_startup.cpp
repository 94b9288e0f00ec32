// Start-up to first paint of the main window with a data folder of many .dat files.
// Usage: bench_startup [files=10000] [runs=5]   (QT_QPA_PLATFORM=offscreen works)
#include "QtDialogs.h"
#include "main_frm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
class FirstPaint : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int files = argc > 1 ? atoi(argv[1]) : 10000;
    const int runs = argc > 2 ? atoi(argv[2]) : 5;

    QTemporaryDir dir;
    const QString data = dir.filePath("data") + "/";
    QDir().mkpath(data);
    for (int i = 0; i < files; ++i) {
        QFile f(data + QStringLiteral("%1.DAT").arg(i, 6, 10, QLatin1Char('0')));
        if (f.open(QIODevice::WriteOnly))
            f.write("\x1a\r\n");
    }
    QFile ini(dir.filePath("kelotari.INI"));
    if (ini.open(QIODevice::WriteOnly))
        ini.write("[DB]\nPath=" + data.toUtf8() + "\n");
    ini.close();

    kelotari::QtDialogs dialogs;
    std::vector<double> ms;
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
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("start-up to first paint, %d .dat files: median %.1f ms, min %.1f ms, max %.1f ms "
                "(%d runs)\n",
                files, ms[ms.size() / 2], ms.front(), ms.back(), runs);
    return 0;
}
