// Opens the setup dialog over the main window, as Setup does, for looking at it: run under a
// display (or Xvfb) and take a picture. The dialog closes by itself after the given seconds.
// Usage: setup-preview [seconds=10] [info|error|ports|ports-open] [screenshot.png]
#include "PortFixture.h"
#include "PortList.h"
#include "PortRegistry.h"
#include "Pty.h"
#include "QtDialogs.h"
#include "main_frm.h"
#include "setup_frm.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <memory>
#include <stdlib.h>
#include <unistd.h>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelotari"));
    const int seconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10;
    // "info": the information lines; "error": the probe on no port at all (its error box).
    // "ports": a fixture computer with COM1, two USB adapters and a registered simulator port;
    // "ports-open": the same with the port box open.
    const QString mode = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const QString shot = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();

    kelotari::PortTree tree;
    QTemporaryDir runtime;
    kelotari::Pty pty; // a registration leads to a terminal of its own while it is held
    std::unique_ptr<kelotari::PortRegistration> registration;
    if (mode.startsWith(QLatin1String("ports"))) {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        tree.tty(QStringLiteral("ttyS0"), QStringLiteral("pnp0/00:01"), QStringLiteral("serial"),
                 QStringLiteral("4"));
        tree.plugAdapter(QStringLiteral("pci0000:00/0000:00:14.0/usb1/1-2"),
                         QStringLiteral("ttyUSB0"), QStringLiteral("Prolific Technology Inc."),
                         QStringLiteral("USB-Serial Controller D"), QString(),
                         QStringLiteral("usb-Prolific_Technology_Inc._USB-Serial_Controller_D-"
                                        "if00-port0"),
                         QStringLiteral("pl2303"));
        tree.plugAdapter(QStringLiteral("pci0000:00/0000:00:14.0/usb1/1-3"),
                         QStringLiteral("ttyUSB1"), QStringLiteral("FTDI"),
                         QStringLiteral("FT232R USB UART"), QStringLiteral("A50285BI"),
                         QStringLiteral("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"));
        if (!pty.path.isEmpty())
            registration = kelotari::PortRegistration::make(QStringLiteral("meter-sim"), pty.path);
    }

    QTemporaryDir dir;
    kelotari::QtDialogs dialogs;
    kelotari::MainFrmEnv env;
    env.settingsFile = dir.filePath(QStringLiteral("kelotari.INI"));
    env.languageFile = QStringLiteral(KELOTARI_SOURCE_DIR "/lang/DefLang.lng");
    env.dialogs = &dialogs;
    kelotari::TMainFrm mainFrm(env);
    dialogs.setParent(&mainFrm);
    kelotari::TSetupfrm& setupFrm = *new kelotari::TSetupfrm(mainFrm); // the window owns it
    if (mode.startsWith(QLatin1String("ports"))) {
        setupFrm.setPortSource([&] { return kelotari::serialPortList(tree.root(), tree.dev()); });
        setupFrm.setPortFolders({tree.byId(), tree.dev(), kelotari::registeredPortsFolder()});
        mainFrm.state().settings.PortName =
            tree.byIdLink(QStringLiteral("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"));
    }
    mainFrm.show();
    QTimer::singleShot(300, &mainFrm, [&] {
        if (mode == QLatin1String("info"))
            QTimer::singleShot(200, &setupFrm, [&] { setupFrm.info_btnClick(); });
        if (mode == QLatin1String("error")) {
            setupFrm.setPortSource([] { return QList<kelotari::SerialPortEntry>(); });
            QTimer::singleShot(200, &setupFrm, [&] { setupFrm.probe_infoClick(); });
        }
        if (mode == QLatin1String("ports-open"))
            QTimer::singleShot(300, &setupFrm, [&] {
                setupFrm.findChild<QComboBox*>(QStringLiteral("ComBox"))->showPopup();
            });
        if (!shot.isEmpty())
            QTimer::singleShot(1200, &setupFrm,
                               [&] { QGuiApplication::primaryScreen()->grabWindow(0).save(shot); });
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
