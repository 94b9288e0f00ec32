#include "ProgramIcon.h"
#include "QtDialogs.h"
#include "main_frm.h"
#include "setup_frm.h"

#include <QApplication>
#include <QTimer>

#include <csignal>

int main(int argc, char* argv[]) {
#ifdef SIGXFSZ
    // A file-size limit (ulimit -f) makes a write fail, which Save and Quit report, instead of
    // ending the program with the packets unsaved.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelotari"));
    // Ties the windows to the installed desktop entry (Wayland app id, startup notification).
    QGuiApplication::setDesktopFileName(QStringLiteral("fi.kelotari.Kelotari"));
    // The window's own icon, for desktops that do not match the window to the desktop entry.
    QGuiApplication::setWindowIcon(kelotari::programIcon());

    kelotari::QtDialogs dialogs;
    kelotari::TMainFrm mainFrm(kelotari::defaultEnvironment(&dialogs));
    dialogs.setParent(&mainFrm);
    dialogs.setTexts(mainFrm.texts().program);
    // Hidden until Setup opens it; the main window owns it.
    new kelotari::TSetupfrm(mainFrm);
    mainFrm.show();

    // Test automation only (the install and package checks): Quit, as the user would press
    // it, this many milliseconds after start.
    bool ok = false;
    const int quitAfterMs = qEnvironmentVariableIntValue("KELOTARI_QUIT_AFTER_MS", &ok);
    if (ok && quitAfterMs >= 0)
        QTimer::singleShot(quitAfterMs, &mainFrm, [&mainFrm] { mainFrm.tyo_quitClick(); });
    return app.exec();
}
