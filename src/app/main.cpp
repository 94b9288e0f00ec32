#include "QtDialogs.h"
#include "main_frm.h"

#include <QApplication>

#include <csignal>

int main(int argc, char* argv[]) {
#ifdef SIGXFSZ
    // A file-size limit (ulimit -f) makes a write fail, which Save and Quit report, instead of
    // ending the program with the packets unsaved.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelotari"));

    kelotari::QtDialogs dialogs;
    kelotari::TMainFrm mainFrm(kelotari::defaultEnvironment(&dialogs));
    dialogs.setParent(&mainFrm);
    dialogs.setTexts(mainFrm.texts().program);
    mainFrm.show();
    return app.exec();
}
