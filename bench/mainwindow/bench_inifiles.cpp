// Start-up with a large settings or language file: from creating the main window to its first
// paint, and the reading alone (every text and setting the program looks up at start, the setup
// dialog's texts included).
// Usage: bench_inifiles [megabytes=10] [runs=5]   (QT_QPA_PLATFORM=offscreen works)
// Shapes: all section lines, all key lines in one section the program reads, one huge value
// line, and a file of many sections each holding a few keys.
#include "FirstPaint.h"
#include "QtDialogs.h"
#include "app/SettingsFile.h"
#include "ini/IniProfile.h"
#include "lang/MainTexts.h"
#include "main_frm.h"
#include "setup/SetupTexts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

QByteArray shape(const QString& name, qsizetype size) {
    QByteArray b;
    b.reserve(size + 4096);
    int i = 0;
    if (name == QLatin1String("sections")) {
        while (b.size() < size)
            b += "[Section" + QByteArray::number(i++) + "]\r\n";
    } else if (name == QLatin1String("keys")) {
        b += "[Dialogs]\r\n";
        while (b.size() < size)
            b += "Key" + QByteArray::number(i++) + "=value\r\n";
    } else if (name == QLatin1String("one-line")) {
        b += "[Dialogs]\r\nRS=";
        b += QByteArray(size, 'x');
        b += "\r\n";
    } else { // many small sections, some named like the program's
        static const char* names[] = {"Toolbar", "Panels", "Grid", "Dialogs", "Menu", "Setup"};
        while (b.size() < size) {
            b += QByteArray("[") + names[i % 6] + QByteArray::number(i / 6) + "]\r\n";
            b += "a=1\r\nb=2\r\nTB_setup=x\r\n";
            ++i;
        }
    }
    return b;
}

void report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("  %-44s min %8.1f  median %8.1f  max %8.1f ms (%zu)\n", what, ms.front(),
                ms[ms.size() / 2], ms.back(), ms.size());
}

double timeIt(const std::function<void()>& f) {
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const double mb = argc > 1 ? atof(argv[1]) : 10.0;
    const int runs = std::max(1, argc > 2 ? atoi(argv[2]) : 5);
    const auto size = qsizetype(mb * 1024 * 1024);

    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("data")) + QLatin1Char('/');
    QDir().mkpath(data);
    kelotari::QtDialogs dialogs;
    std::printf("%.1f MB files, %d runs\n", mb, runs);
    for (const char* s : {"sections", "keys", "one-line", "mixed"}) {
        const QByteArray bytes = shape(QLatin1String(s), size);
        for (const bool asLanguage : {true, false}) {
            const QString big = dir.filePath(asLanguage ? QStringLiteral("DefLang.lng")
                                                        : QStringLiteral("kelotari.INI"));
            QFile f(big);
            if (!f.open(QIODevice::WriteOnly))
                return 1;
            f.write(asLanguage ? bytes : bytes + "[DB]\r\nPath=" + data.toUtf8() + "\r\n");
            f.close();
            std::vector<double> read, start;
            for (int r = 0; r < runs; ++r) {
                read.push_back(timeIt([&] {
                    if (asLanguage) {
                        const kelotari::IniProfile lang = kelotari::IniProfile::fromFile(big);
                        (void)kelotari::readMainTexts(lang);
                        (void)kelotari::readSetupTexts(lang);
                    } else {
                        (void)kelotari::readSettings(big);
                    }
                }));
                kelotari::MainFrmEnv env;
                env.settingsFile = asLanguage ? dir.filePath(QStringLiteral("none.INI")) : big;
                env.languageFile = asLanguage ? big : dir.filePath(QStringLiteral("none.lng"));
                env.dialogs = &dialogs;
                start.push_back(timeIt([&] {
                    FirstPaint fp;
                    kelotari::TMainFrm w(env);
                    w.installEventFilter(&fp);
                    w.show();
                    while (!fp.painted)
                        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
                }));
            }
            QFile::remove(big);
            const QByteArray label = QByteArray(s) + (asLanguage ? ", language" : ", settings");
            std::printf("%s file\n", label.constData());
            report("reading at start", read);
            report("main window created to first paint", start);
        }
    }
    return 0;
}
