// Opens the setup dialog over the main window, as Setup does, for looking at it: run under a
// display (or Xvfb) and take a picture. The dialog closes by itself after the given seconds.
#include "QtDialogs.h"
#include "main_frm.h"
#include "setup_frm.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelotari"));
    const int seconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10;
    // "info": the information lines; "error": the probe on no port at all (its error box).
    const QString mode = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();

    QTemporaryDir dir;
    kelotari::QtDialogs dialogs;
    kelotari::MainFrmEnv env;
    env.settingsFile = dir.filePath(QStringLiteral("kelotari.INI"));
    env.languageFile = QStringLiteral(KELOTARI_SOURCE_DIR "/lang/DefLang.lng");
    env.dialogs = &dialogs;
    kelotari::TMainFrm mainFrm(env);
    dialogs.setParent(&mainFrm);
    kelotari::TSetupfrm setupFrm(mainFrm);
    mainFrm.show();
    QTimer::singleShot(300, &mainFrm, [&] {
        if (mode == QLatin1String("info"))
            QTimer::singleShot(200, &setupFrm, [&] { setupFrm.info_btnClick(); });
        if (mode == QLatin1String("error")) {
            setupFrm.setPortSource([] { return QList<kelotari::SerialPortEntry>(); });
            QTimer::singleShot(200, &setupFrm, [&] { setupFrm.probe_infoClick(); });
        }
        QTimer::singleShot(seconds * 1000, &setupFrm, [&] {
            if (QWidget* box = QApplication::activeModalWidget(); box && box != &setupFrm)
                box->close();
            setupFrm.reject();
        });
        mainFrm.tyo_setupClick();
        QCoreApplication::quit();
    });
    return app.exec();
}
