// The setup dialog against the simulated meter: the port the simulator registers appears in
// the list, OK hands it to the main window and Transfer downloads through it; the meter's
// identity is shown; a port that vanishes after the listing gives the port's error.
#include "ComPort.h"
#include "PdfText.h"
#include "ScriptedDialogs.h"
#include "SimProcess.h"
#include "TComComboBox.h"
#include "main_frm.h"
#include "setup_frm.h"

#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
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
    void calibrationTestSaveLoadAndPrint();
    void closingDuringTheTestWaitsForItsEnd();

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

namespace {

// Presses Next now and then, as a user would; a press only counts while the test waits.
struct NextPresser {
    explicit NextPresser(TSetupfrm& d)
        : next(d.findChild<QPushButton*>(QStringLiteral("next_btn"))) {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (next->isEnabled())
                QTest::mouseClick(next, Qt::LeftButton);
        });
        timer.start(120);
    }
    QPushButton* next;
    QTimer timer;
};

} // namespace

void TestSetupE2e::calibrationTestSaveLoadAndPrint() {
    SimProcess sim;
    QVERIFY(sim.startRegistered(
        QStringLiteral("setup-cal"), m_runtime,
        {"--scenario", KELOTARI_SOURCE_DIR "/tools/meter-sim/scenarios/demo.scn", "--unpaced"}));
    auto w = window();
    w->state().settings.PortName = sim.port();
    w->state().settings.PrinterName = QStringLiteral("PDF");
    const QString cal = m_dir.filePath("97-0412.cal");
    const QString pdfFi = m_dir.filePath("cert-fi.pdf");
    const QString pdfEn = m_dir.filePath("cert-en.pdf");
    CalRecord saved;
    inSetup(*w, [&](TSetupfrm& d) {
        auto btn = [&d](const char* name) { return d.findChild<QPushButton*>(name); };
        d.findChild<QLineEdit*>(QStringLiteral("certedit"))
            ->setText(QStringLiteral("Matti Meikäläinen"));
        {
            NextPresser presser(d);
            QTest::mouseClick(btn("makecert_btn"), Qt::LeftButton); // runs to its end
        }
        const QStringList lines = d.infoLines();
        QCOMPARE(lines.size(), 15); // seven prompts, seven results, the end line
        QCOMPARE(lines[1], QStringLiteral("Result :17 = OK."));
        QCOMPARE(lines[5], QStringLiteral("Result :-4 = OK."));
        QCOMPARE(lines[7], QStringLiteral("Result :25.90"));
        QCOMPARE(lines[13], QStringLiteral("Result :10.80"));
        QCOMPARE(lines.last(), QStringLiteral("DONE. Now it's ready to saving or printing."));
        QCOMPARE(d.calibration().record().CertNumber, QByteArray("97-0412"));
        QVERIFY(btn("cert_save")->isEnabled());
        QVERIFY(btn("cert_print")->isEnabled());
        QVERIFY(!btn("makecert_btn")->isEnabled());
        QVERIFY(!btn("ok_btn")->isEnabled());
        QVERIFY(!d.comPort().Connected());

        // Save As proposes the data folder and the certificate number.
        m_dialogs.saveNames.enqueue(cal);
        QTest::mouseClick(btn("cert_save"), Qt::LeftButton);
        QCOMPARE(m_dialogs.callsOf("save").last().text, cal);
        QVERIFY(QFile::exists(cal));
        QVERIFY(!btn("cert_save")->isEnabled());
        QVERIFY(btn("makecert_btn")->isEnabled()); // ResetButtons

        // Load comes back with the next opening (the test leaves it disabled).
        QVERIFY(!btn("certLoad")->isEnabled());
        saved = d.calibration().record();
        d.calibration().record() = CalRecord();
        d.findChild<QLineEdit*>(QStringLiteral("certedit"))->setText(QString());
    });
    inSetup(*w, [&](TSetupfrm& d) {
        auto btn = [&d](const char* name) { return d.findChild<QPushButton*>(name); };
        QVERIFY(!btn("cert_print")->isEnabled());
        m_dialogs.openNames.enqueue(cal);
        QTest::mouseClick(btn("certLoad"), Qt::LeftButton);
        for (int k = 1; k <= 7; ++k)
            QCOMPARE(d.calibration().record().slot(k), saved.slot(k));
        QCOMPARE(d.calibration().record().CertNumber, saved.CertNumber);
        QCOMPARE(d.findChild<QLineEdit*>(QStringLiteral("certedit"))->text(),
                 QStringLiteral("Matti Meikäläinen"));
        QCOMPARE(d.infoLines().last(),
                 QStringLiteral("DONE. Now it's ready to saving or printing."));
        QVERIFY(btn("cert_print")->isEnabled());

        // Finnish, then English (no language picked prints English).
        d.findChild<QRadioButton*>(QStringLiteral("certlang_item0"))->click();
        m_dialogs.saveNames.enqueue(pdfFi);
        QTest::mouseClick(btn("cert_print"), Qt::LeftButton);
        QCOMPARE(d.infoLines().last(), QStringLiteral("Now printing..."));
        d.findChild<QRadioButton*>(QStringLiteral("certlang_item1"))->click();
        m_dialogs.saveNames.enqueue(pdfEn);
        QTest::mouseClick(btn("cert_print"), Qt::LeftButton);
    });
    QCOMPARE(m_dialogs.kinds().count(QStringLiteral("error")), 0);
    QCOMPARE(m_dialogs.kinds().count(QStringLiteral("message")), 0);
    const QString fi =
        pdfText(pdfFi, PdfTextOrder::Reading).normalized(QString::NormalizationForm_KC);
    QVERIFY2(
        fi.contains(QStringLiteral("Kalibrointipöytäkirja, Kelotari mittarille Nro : 97-0412")),
        qPrintable(fi));
    QVERIFY(fi.contains(QStringLiteral("Matti Meikäläinen")));
    const QString en =
        pdfText(pdfEn, PdfTextOrder::Reading).normalized(QString::NormalizationForm_KC);
    QVERIFY2(en.contains(QStringLiteral("Measuring Certificate for Kelotari, Nbr : 97-0412")),
             qPrintable(en));
    for (const char* deviation : {"0.03", "0.04", "-0.03", "0.01"})
        QVERIFY2(en.contains(QLatin1String(deviation)), deviation);
    QTRY_COMPARE_WITH_TIMEOUT(sim.commands(), (QStringList{"O", "O", "O", "K", "K", "K", "K", "S"}),
                              30000);
}

void TestSetupE2e::closingDuringTheTestWaitsForItsEnd() {
    SimProcess sim;
    QVERIFY(sim.startRegistered(
        QStringLiteral("setup-cal-close"), m_runtime,
        {"--scenario", KELOTARI_SOURCE_DIR "/tools/meter-sim/scenarios/demo.scn", "--unpaced"}));
    auto w = window();
    w->state().settings.PortName = sim.port();
    bool visibleAfterClose = false;
    inSetup(*w, [&](TSetupfrm& d) {
        auto* next = d.findChild<QPushButton*>(QStringLiteral("next_btn"));
        int presses = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (!next->isEnabled())
                return;
            if (presses == 2) { // waiting for the third step: the user closes the dialog
                d.reject();
                visibleAfterClose = d.isVisible();
            }
            QTest::mouseClick(next, Qt::LeftButton);
            ++presses;
        });
        timer.start(150);
        QTest::mouseClick(d.findChild<QPushButton*>(QStringLiteral("makecert_btn")),
                          Qt::LeftButton);
        QVERIFY(d.infoLines().last().startsWith(QStringLiteral("DONE.")));
        QVERIFY(!d.isVisible()); // closed once the test had ended
        QVERIFY(!d.comPort().Connected());
    });
    QVERIFY(visibleAfterClose);
}

QTEST_MAIN(TestSetupE2e)
#include "tst_setup_e2e.moc"
