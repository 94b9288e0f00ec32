// The setup dialog's port box while the dialog is open (offscreen): adapters plugged, pulled
// and plugged again into another socket, simulator ports registered and removed, a burst of
// 200 registrations; the box follows and the user's port stays selected. The ports come from
// a fixture tree of sysfs, device nodes and by-id links, and a runtime folder of the test's.
#include "PortFixture.h"
#include "PortList.h"
#include "PortRegistry.h"
#include "PortWatcher.h"
#include "Pty.h"
#include "ScriptedDialogs.h"
#include "TComComboBox.h"
#include "main_frm.h"
#include "setup_frm.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QToolButton>
#include <QtTest>

#include <fcntl.h>
#include <functional>
#include <memory>
#include <stdlib.h>
#include <unistd.h>
#include <vector>

namespace {} // namespace

using namespace kelotari;

namespace {

const QString kFtdiLink = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
const QString kProlificLink = "usb-Prolific_Technology_Inc._USB-Serial_Controller_D-if00-port0";
const QString kSocket1 = "pci0000:00/0000:00:14.0/usb1/1-1";
const QString kSocket2 = "pci0000:00/0000:00:14.0/usb1/1-2";
const QString kSocket3 = "pci0000:00/0000:00:14.0/usb1/1-3";

void plugFtdi(PortTree& t, const QString& socket, const QString& tty) {
    t.plugAdapter(socket, tty, "FTDI", "FT232R USB UART", "A50285BI", kFtdiLink);
}

struct Fixture {
    QTemporaryDir dir;
    QTemporaryDir runtime;
    QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    PortTree tree;
    ScriptedDialogs dialogs;
    std::unique_ptr<TMainFrm> frm;
    TSetupfrm* setup = nullptr; // owned by the main window

    explicit Fixture(const QString& portName) {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        tree.tty("ttyS0", "pnp0/00:01", "serial", "4");
        QFile ini(dir.filePath("kelotari.INI"));
        if (ini.open(QIODevice::WriteOnly))
            ini.write("[App]\nPort=" + portName.toUtf8() + "\n");
        ini.close();
        MainFrmEnv env;
        env.settingsFile = dir.filePath("kelotari.INI");
        env.languageFile = dir.filePath("DefLang.lng");
        env.dialogs = &dialogs;
        env.tickMs = 20;
        frm = std::make_unique<TMainFrm>(env);
        setup = new TSetupfrm(*frm);
        setup->setPortSource([this] { return serialPortList(tree.root(), tree.dev()); });
        setup->setPortFolders({tree.byId(), tree.dev(), registeredPortsFolder()});
        frm->show();
    }
    ~Fixture() {
        if (savedRuntime.isNull())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", savedRuntime);
    }
    TComComboBox* combo() const { return setup->findChild<TComComboBox*>("ComBox"); }
    PortWatcher* watcher() const { return setup->findChild<PortWatcher*>(); }
    QString device() const { return runtime.filePath("pty-standin"); }
    // The user picks the item named name in the box.
    void choose(const QString& name) {
        const int i = combo()->names().indexOf(name);
        QVERIFY(i >= 0);
        combo()->setCurrentIndex(i);
        emit combo()->activated(i);
    }
    // Opens the dialog as the Setup button does and runs body inside its modal wait; the
    // dialog is closed afterwards in any case.
    void openModal(const std::function<void()>& body) {
        bool ran = false;
        QTimer::singleShot(0, setup, [&] {
            ran = true;
            body();
            if (setup->isVisible())
                setup->reject();
        });
        frm->findChild<QToolButton*>(QStringLiteral("tyo_setup"))->click();
        QVERIFY(ran);
    }
};

} // namespace

class TestSetupHotplug : public QObject {
    Q_OBJECT
private slots:
    void theBoxFollowsAdaptersAndRegistrations();
    void aBurstOfRegistrationsIsTakenInOnce();
    void anOlderDeviceNameIsOfferedTheStableName();
};

// The stored adapter is not plugged in when the dialog opens. It is plugged in (its by-id
// folder made then), pulled, and plugged back into another socket after a second adapter
// took its old device name; a simulator registers; the user chooses the simulator, which goes
// away and comes back. OK stores the port chosen.
void TestSetupHotplug::theBoxFollowsAdaptersAndRegistrations() {
    Fixture fx("");
    QVERIFY(fx.tree.ok);
    const QString ftdi = fx.tree.byIdLink(kFtdiLink);
    fx.frm->state().settings.PortName = ftdi;
    QFile device(fx.device());
    QVERIFY(device.open(QIODevice::WriteOnly));
    QString sim;
    Pty pty;
    QVERIFY(!pty.path.isEmpty());
    std::unique_ptr<kelotari::PortRegistration> reg;

    fx.openModal([&] {
        QCOMPARE(fx.combo()->names(), QStringList{"COM1"});
        QVERIFY(fx.watcher()->active());

        plugFtdi(fx.tree, kSocket1, "ttyUSB0");
        QVERIFY(fx.tree.ok);
        QTRY_COMPARE(fx.combo()->names(), (QStringList{"COM1", ftdi}));
        QCOMPARE(fx.combo()->text(), ftdi); // the port the settings name, now that it is there
        QCOMPARE(fx.combo()->shownText(fx.combo()->currentIndex()),
                 QStringLiteral("FTDI FT232R USB UART A50285BI"));
        QCOMPARE(
            fx.combo()->toolTip(), // box too narrow
            Qt::convertFromPlainText("FTDI FT232R USB UART A50285BI\n" + ftdi + "\n/dev/ttyUSB0",
                                     Qt::WhiteSpaceNoWrap));

        reg = kelotari::PortRegistration::make("meter-sim", pty.path);
        sim = reg->path();
        QTRY_COMPARE(fx.combo()->names(), (QStringList{"COM1", ftdi, sim}));
        QCOMPARE(fx.combo()->text(), ftdi);
        QCOMPARE(fx.combo()->shownText(2), QStringLiteral("meter-sim"));
        QVERIFY(fx.combo()->toolTipText(2).contains(sim));

        fx.tree.unplug("ttyUSB0", kFtdiLink);
        QTRY_COMPARE(fx.combo()->names(), (QStringList{"COM1", sim}));
        QVERIFY(fx.combo()->text() != ftdi);

        fx.tree.plugAdapter(kSocket2, "ttyUSB0", "Prolific Technology Inc.",
                            "USB-Serial Controller D", "", kProlificLink, "pl2303");
        plugFtdi(fx.tree, kSocket3, "ttyUSB1");
        QVERIFY(fx.tree.ok);
        const QString prolific = fx.tree.byIdLink(kProlificLink);
        QTRY_COMPARE(fx.combo()->names(), (QStringList{"COM1", ftdi, sim, prolific}));
        QCOMPARE(fx.combo()->text(), ftdi);
        QCOMPARE(fx.combo()->toolTipText(1), ftdi + "\n/dev/ttyUSB1");

        fx.choose(sim);
        fx.tree.unplug("ttyUSB1", kFtdiLink);
        QTRY_COMPARE(fx.combo()->names(), (QStringList{"COM1", sim, prolific}));
        QCOMPARE(fx.combo()->text(), sim); // the user's choice stays where it still exists
        reg.reset();
        QTRY_COMPARE(fx.combo()->names(), (QStringList{"COM1", prolific}));
        reg = kelotari::PortRegistration::make("meter-sim", pty.path);
        QCOMPARE(reg->path(), sim);
        QTRY_COMPARE(fx.combo()->names(), (QStringList{"COM1", sim, prolific}));
        QCOMPARE(fx.combo()->text(), sim);
        QTest::mouseClick(fx.setup->findChild<QPushButton*>("ok_btn"), Qt::LeftButton);
    });
    QCOMPARE(fx.frm->state().settings.PortName, sim);
    QVERIFY(!fx.watcher()->active());
    QCOMPARE(fx.watcher()->watchedPaths(), QStringList());
}

// 200 simulator ports appear at once and go again: the box takes each burst in without
// holding the dialog up, and the selection stays.
void TestSetupHotplug::aBurstOfRegistrationsIsTakenInOnce() {
    Fixture fx("COM1");
    QVERIFY(fx.tree.ok);
    QFile device(fx.device());
    QVERIFY(device.open(QIODevice::WriteOnly));
    fx.openModal([&] {
        QCOMPARE(fx.combo()->text(), QStringLiteral("COM1"));
        Pty pty;
        QVERIFY(!pty.path.isEmpty());
        std::vector<std::unique_ptr<kelotari::PortRegistration>> regs;
        for (int i = 0; i < 200; ++i)
            regs.push_back(kelotari::PortRegistration::make(
                QStringLiteral("sim-%1").arg(i, 3, 10, QLatin1Char('0')), pty.path));
        QTRY_COMPARE(fx.combo()->count(), 201);
        QCOMPARE(fx.combo()->text(), QStringLiteral("COM1"));
        QCOMPARE(fx.combo()->shownText(1), QStringLiteral("sim-000"));
        fx.setup->info_btnClick(); // the dialog still answers
        QVERIFY(!fx.setup->infoLines().isEmpty());
        regs.clear();
        QTRY_COMPARE(fx.combo()->names(), QStringList{"COM1"});
        QCOMPARE(fx.combo()->text(), QStringLiteral("COM1"));
    });
}

// A settings file from before stable names stores ttyUSB0: the dialog shows the adapter on
// ttyUSB0 by its stable name, and OK stores that name.
void TestSetupHotplug::anOlderDeviceNameIsOfferedTheStableName() {
    Fixture fx("ttyUSB0");
    plugFtdi(fx.tree, kSocket1, "ttyUSB0");
    QVERIFY(fx.tree.ok);
    fx.openModal([&] {
        QCOMPARE(fx.combo()->text(), fx.tree.byIdLink(kFtdiLink));
        QCOMPARE(fx.setup->comPort().Port(), fx.tree.byIdLink(kFtdiLink));
        QTest::mouseClick(fx.setup->findChild<QPushButton*>("ok_btn"), Qt::LeftButton);
    });
    QCOMPARE(fx.frm->state().settings.PortName, fx.tree.byIdLink(kFtdiLink));
}

QTEST_MAIN(TestSetupHotplug)
#include "tst_setup_hotplug.moc"
