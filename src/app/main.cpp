#include "QtDialogs.h"
#include "main_frm.h"
#include "setup_frm.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelotari"));

    kelotari::QtDialogs dialogs;
    kelotari::TMainFrm mainFrm(kelotari::defaultEnvironment(&dialogs));
    dialogs.setParent(&mainFrm);
    kelotari::TSetupfrm setupFrm(mainFrm); // hidden until Setup opens it
    mainFrm.show();
    return app.exec();
}
