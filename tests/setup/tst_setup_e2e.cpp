// The setup dialog against the simulated meter: the port the simulator registers appears in
// the list, OK hands it to the main window and Transfer downloads through it; the meter's
// identity is shown; a port that vanishes after the listing gives the port's error.
#include "ComPort.h"
#include "ScriptedDialogs.h"
#include "SimProcess.h"
#include "TComComboBox.h"
#include "main_frm.h"
#include "setup_frm.h"

#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <functional>

using namespace kelotari;

class TestSetupE2e : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void pickTheSimulatorThenTransferAndProbe();
    void portGoneAfterTheListingIsReported();
    void meterFaults_data();
    void meterFaults();

private:
    std::unique_ptr<TMainFrm> window();
    // Opens Setup by its toolbar button and runs body inside the modal dialog.
    void inSetup(TMainFrm& w, const std::function<void(TSetupfrm&)>& body);

    QTemporaryDir m_dir;
    QString m_runtime;
    QByteArray m_savedRuntime;
    ScriptedDialogs m_dialogs;
};

void TestSetupE2e::initTestCase() {
    QVERIFY(m_dir.isValid());
    QVERIFY2(QFile::exists(QStringLiteral(KELOTARI_BIN_DIR "/meter-sim")), "meter-sim not built");
    m_runtime = m_dir.filePath("run");
    QVERIFY(QDir().mkpath(m_runtime));
    m_savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime));
}

void TestSetupE2e::cleanupTestCase() {
    if (m_savedRuntime.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", m_savedRuntime);
}

std::unique_ptr<TMainFrm> TestSetupE2e::window() {
    m_dialogs = ScriptedDialogs();
    MainFrmEnv env;
    env.settingsFile = m_dir.filePath("kelotari.INI");
    QFile ini(env.settingsFile);
    if (ini.open(QIODevice::WriteOnly))
        ini.write("[DB]\nPath=" + QFile::encodeName(m_dir.path()) + "/\n[App]\nPort=COM1\n");
    ini.close();
    env.languageFile = m_dir.filePath("none.lng");
    env.dialogs = &m_dialogs;
    env.tickMs = 200;
    auto w = std::make_unique<TMainFrm>(env);
    new TSetupfrm(*w); // the real port list: this computer's ports and the registered ones
    w->show();
    return w;
}

void TestSetupE2e::inSetup(TMainFrm& w, const std::function<void(TSetupfrm&)>& body) {
    TSetupfrm* d = w.setupForm();
    QVERIFY(d);
    bool ran = false;
    QTimer::singleShot(0, d, [&] {
        ran = true;
        body(*d);
        if (d->isVisible())
            d->reject();
    });
    w.findChild<QToolButton*>(QStringLiteral("tyo_setup"))->click();
    QVERIFY(ran);
}

void TestSetupE2e::pickTheSimulatorThenTransferAndProbe() {
    SimProcess sim;
    QVERIFY(sim.startRegistered(
        QStringLiteral("setup-e2e"), m_runtime,
        {"--scenario", KELOTARI_SOURCE_DIR "/tools/meter-sim/scenarios/demo.scn", "--unpaced"}));
    auto w = window();
    inSetup(*w, [&](TSetupfrm& d) {
        auto* box = d.findChild<TComComboBox*>(QStringLiteral("ComBox"));
        const int at = box->names().indexOf(sim.port());
        QVERIFY2(at >= 0, qPrintable(box->names().join(", ")));
        // The user opens the list and picks the simulator's entry.
        box->setFocus();
        box->setCurrentIndex(-1);
        for (int i = 0; i <= at; ++i)
            QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(box->text(), sim.port());
        QTest::mouseClick(d.findChild<QPushButton*>(QStringLiteral("ok_btn")), Qt::LeftButton);
    });
    QCOMPARE(w->state().settings.PortName, sim.port());

    w->findChild<QToolButton*>(QStringLiteral("Transfer_btn"))->click();
    QCOMPARE(m_dialogs.kinds(), QStringList());
    QCOMPARE(w->state().PacketCount, 5);
    QCOMPARE(w->state().table.cell(10 + 1, 1), QByteArray("16.4"));

    const QStringList identity{"S/N: 97-0412", "Kelotari moisture meter",
                               "Hammer electrode, 2 needles", "Firmware 2.14"};
    inSetup(*w, [&](TSetupfrm& d) {
        auto* probe = d.findChild<QPushButton*>(QStringLiteral("probe_info"));
        QCOMPARE(probe->text(), QStringLiteral("Kelotari's info"));
        QTest::mouseClick(probe, Qt::LeftButton);
        QCOMPARE(d.infoLines(), identity);
        QVERIFY(!d.comPort().Connected());
        QTest::mouseClick(probe, Qt::LeftButton); // again: the memo shows this query only
        QCOMPARE(d.infoLines(), identity);
        d.close();
    });
    QCOMPARE(m_dialogs.kinds(), QStringList());
    // The simulator's reports come over a pipe: wait (generously) for the last of them.
    QTRY_COMPARE_WITH_TIMEOUT(sim.commands(), (QStringList{"D", "S", "T", "S", "T"}), 30000);
}

void TestSetupE2e::portGoneAfterTheListingIsReported() {
    auto sim = std::make_unique<SimProcess>();
    QVERIFY(sim->startRegistered(QStringLiteral("setup-gone"), m_runtime, {"--unpaced"}));
    const QString port = sim->port();
    auto w = window();
    inSetup(*w, [&](TSetupfrm& d) {
        auto* box = d.findChild<TComComboBox*>(QStringLiteral("ComBox"));
        box->setCurrentIndex(box->names().indexOf(port));
        QCOMPARE(box->text(), port);
        sim.reset(); // the simulator ends: its terminal and its link go
        QTest::mouseClick(d.findChild<QPushButton*>(QStringLiteral("probe_info")), Qt::LeftButton);
        QCOMPARE(m_dialogs.kinds(), QStringList{"error"});
        QVERIFY(m_dialogs.calls[0].text.contains(QStringLiteral("(win error code: ")));
        QVERIFY(!d.comPort().Connected());
        QVERIFY(d.findChild<QPushButton*>(QStringLiteral("ok_btn"))->isEnabled());
    });
}

void TestSetupE2e::meterFaults_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("error");
    QTest::addColumn<bool>("openAfter"); // the port left to the closing step
    QTest::newRow("never answers S") << "silent" << QStringList{} << false << true;
    QTest::newRow("T stops without its end marker")
        << "stall=12" << QStringList{"S/N: 97-0412"} << false << false;
    QTest::newRow("70,000 bytes without a line end")
        << "garbage=70000" << QStringList{} << true << false;
}

void TestSetupE2e::meterFaults() {
    QFETCH(QString, fault);
    QFETCH(QStringList, lines);
    QFETCH(bool, error);
    QFETCH(bool, openAfter);
    SimProcess sim;
    QVERIFY(sim.startRegistered(QStringLiteral("setup-fault"), m_runtime,
                                {"--scenario",
                                 KELOTARI_SOURCE_DIR "/tools/meter-sim/scenarios/demo.scn",
                                 "--unpaced", "--fault", fault}));
    auto w = window();
    w->state().settings.PortName = sim.port();
    inSetup(*w, [&](TSetupfrm& d) {
        QTest::mouseClick(d.findChild<QPushButton*>(QStringLiteral("probe_info")), Qt::LeftButton);
        QCOMPARE(d.infoLines(), lines);
        QCOMPARE(m_dialogs.kinds(), error ? QStringList{"error"} : QStringList());
        QCOMPARE(d.comPort().Connected(), openAfter);
        for (const char* n : {"probe_info", "makecert_btn", "info_btn", "certLoad", "ok_btn"})
            QVERIFY2(d.findChild<QPushButton*>(QLatin1String(n))->isEnabled(), n);
        d.close();
        QVERIFY(!d.comPort().Connected()); // the closing step closed it
    });
    // Another program can have the port now.
    TComPort other;
    other.setPort(sim.port());
    try {
        other.OpenPort();
    } catch (const EComPort& e) {
        QFAIL(qPrintable(e.message()));
    }
    other.ClosePort();
}

QTEST_MAIN(TestSetupE2e)
#include "tst_setup_e2e.moc"
