// The calibration test over a scripted meter link: the whole run through its ends.
#include "RecordingView.h"
#include "ScriptedDialogs.h"
#include "ScriptedLink.h"
#include "setup/CalibrationTest.h"

#include <QtTest>

using namespace kelotari;
using B = CalView::Button;

namespace {

// An "O" reply: values 1, 5 give the offsets of steps 1 and 2, values 4, 8 that of step 3.
QByteArray oReply(qint64 v1, qint64 v5, qint64 v4 = 0, qint64 v8 = 0) {
    const qint64 v[8] = {v1, 3, -2, v4, v5, 7, 1, v8};
    QByteArray out;
    for (qint64 x : v)
        out += QByteArray::number(x) + '\r';
    return out;
}

const QByteArray kGoodO = oReply(12, -5, 0, 4); // 17, 17, -4

QList<Arrival> goodReadings() {
    return {bytes("25.93\r"), bytes("19.84\r"), bytes("16.07\r"), bytes("10.81\r")};
}

QList<Arrival> passingScript() {
    return QList<Arrival>{bytes(kGoodO), bytes(kGoodO), bytes(kGoodO)} + goodReadings() +
           QList<Arrival>{bytes("97-0412\r")};
}

// Texts unlike the defaults, so a line shows which text it came from.
CalTexts testTexts() {
    CalTexts t;
    t.StepText1 = QStringLiteral("P1");
    t.StepText2 = QStringLiteral("P2");
    t.StepText3 = QStringLiteral("P3");
    t.StepText4 = QStringLiteral("P4");
    t.StepText5 = QStringLiteral("P5");
    t.StepText6 = QStringLiteral("P6");
    t.StepText7 = QStringLiteral("P7");
    t.DoneText = QStringLiteral("DONE");
    t.FailText = QStringLiteral("FAILED");
    t.ResultLabel = QStringLiteral("Res:");
    t.PrintingText = QStringLiteral("PRINTING");
    t.CertTimeoutText = QStringLiteral("TIMEOUT");
    return t;
}

struct Rig {
    ScriptedLink link;
    RecordingView view;
    ScriptedDialogs dialogs;
    CalibrationTest test{link, view, dialogs};

    explicit Rig(QList<Arrival> script) : link(std::move(script)) { test.setTexts(testTexts()); }

    int count(const QString& call) const { return int(link.calls.count(call)); }
};

} // namespace

class TstCalTest : public QObject {
    Q_OBJECT
private slots:
    void passes();
    void defaultTextsMakeTheLinesOfTheManual();
    void stepOneOutOfLimitTenTimes();
    void offsetLimits_data();
    void offsetLimits();
    void offsetReplyThatEndsTheTest_data();
    void offsetReplyThatEndsTheTest();
    void readingReply_data();
    void readingReply();
    void silentSerialNumberStillCompletes();
    void portCannotBeOpened();
    void portFailsMidTest_data();
    void portFailsMidTest();
    void certButtonsAreHeldWhileTheTestRuns();
    void cancelledWaitUnwinds();
    void newTestStartsFromNotMeasured();
};

void TstCalTest::passes() {
    Rig r(passingScript());
    r.test.run();

    QCOMPARE(r.view.info, (QStringList{"P1", "Res:17 = OK.", "P2", "Res:17 = OK.", "P3",
                                       "Res:-4 = OK.", "P4", "Res:25.90", "P5", "Res:19.80", "P6",
                                       "Res:16.10", "P7", "Res:10.80", "DONE"}));
    const CalRecord& rec = r.test.record();
    QCOMPARE(rec.slot(1), 17.0f);
    QCOMPARE(rec.slot(2), 17.0f);
    QCOMPARE(rec.slot(3), -4.0f);
    QCOMPARE(rec.slot(4), 25.93f);
    QCOMPARE(rec.slot(5), 19.84f);
    QCOMPARE(rec.slot(6), 16.07f);
    QCOMPARE(rec.slot(7), 10.81f);
    QCOMPARE(rec.CertNumber, QByteArray("97-0412"));
    QCOMPARE(rec.raw(8), 4);

    QStringList expected = {"port COM7", "open"};
    for (int s = 0; s < 3; ++s) {
        expected << "next"
                 << "purge"
                 << "send O";
        for (int i = 0; i < 8; ++i)
            expected << "read";
    }
    for (int s = 0; s < 4; ++s)
        expected << "next"
                 << "purge"
                 << "send K"
                 << "read";
    expected << "pause 500"
             << "purge"
             << "send S"
             << "read"
             << "close";
    QCOMPARE(r.link.calls, expected);
    QVERIFY(!r.link.isOpen);

    // Completed: Next stays enabled, the start and idle buttons disabled until saved or printed.
    QCOMPARE(r.view.enabledNames(), (QStringList{"cert_print", "cert_save", "next_btn"}));
    QVERIFY(!r.view.events.contains("reset"));
    QVERIFY(r.dialogs.calls.isEmpty());
    QVERIFY(!r.test.running());
}

void TstCalTest::defaultTextsMakeTheLinesOfTheManual() {
    Rig r(passingScript());
    r.test.setTexts(CalTexts());
    r.test.run();
    QCOMPARE(r.view.info.value(0),
             QStringLiteral("1.Unplug measuring hammer from kelotari and press Next"));
    QCOMPARE(r.view.info.value(1), QStringLiteral("Result :17 = OK."));
    QCOMPARE(r.view.info.value(7), QStringLiteral("Result :25.90"));
    QCOMPARE(r.view.info.value(12),
             QStringLiteral("7.Set kelotari to measuring mode (Kuusi 20'C) and put hammer needles "
                            "to calibrating resistors pack tags 10.8 and press Next"));
    QCOMPARE(r.view.info.last(), QStringLiteral("DONE. Now it's ready to saving or printing."));
}

void TstCalTest::stepOneOutOfLimitTenTimes() {
    QList<Arrival> script;
    for (int i = 0; i < 10; ++i)
        script << bytes(oReply(312, 0));
    script << bytes(kGoodO) << bytes(kGoodO) << goodReadings() << bytes("1\r");
    Rig r(script);
    r.test.run();

    QStringList expected = {"P1"};
    for (int i = 1; i <= 10; ++i)
        expected << QString::number(i) + ". 312";
    expected << "P2"
             << "Res:17 = OK."
             << "P3"
             << "Res:-4 = OK."
             << "FAILED";
    QCOMPARE(r.view.info, expected);
    QCOMPARE(r.count("pause 500"), 10);
    QCOMPARE(r.count("send O"), 12);
    QCOMPARE(r.count("send K"), 0);
    // Attempts follow each other without waiting for Next: three waits, one per step.
    QCOMPARE(r.count("next"), 3);
    QCOMPARE(r.test.record().slot(1), NotMeasured);
    QCOMPARE(r.test.record().slot(2), 17.0f);
    QCOMPARE(r.view.events.last(), QStringLiteral("off cert_save"));
    QVERIFY(r.view.events.contains("reset"));
    QCOMPARE(r.view.enabledNames(),
             (QStringList{"info_btn", "makecert_btn", "ok_btn", "probe_info"}));
    // The port stays open until the dialog closes.
    QVERIFY(r.link.isOpen);
    QVERIFY(!r.link.calls.contains("close"));
}

void TstCalTest::offsetLimits_data() {
    QTest::addColumn<int>("step");
    QTest::addColumn<qint64>("a"); // value 1 (steps 1, 2) or 4 (step 3)
    QTest::addColumn<qint64>("b"); // value 5 or 8
    QTest::addColumn<QString>("line");
    QTest::newRow("step 1: 250 is out") << 1 << qint64(250) << qint64(0) << "1. 250";
    QTest::newRow("step 1: -250 is out") << 1 << qint64(0) << qint64(250) << "1. -250";
    QTest::newRow("step 1: 249 is in") << 1 << qint64(249) << qint64(0) << "Res:249 = OK.";
    QTest::newRow("step 1: -249 is in") << 1 << qint64(-200) << qint64(49) << "Res:-249 = OK.";
    QTest::newRow("step 2: 400 is out") << 2 << qint64(400) << qint64(0) << "1. 400";
    QTest::newRow("step 2: 399 is in") << 2 << qint64(399) << qint64(0) << "Res:399 = OK.";
    QTest::newRow("step 2: -399 is in") << 2 << qint64(0) << qint64(399) << "Res:-399 = OK.";
    QTest::newRow("step 3: 250 is out") << 3 << qint64(250) << qint64(0) << "1. 250";
    QTest::newRow("step 3: -249 is in") << 3 << qint64(0) << qint64(249) << "Res:-249 = OK.";
    // Far-apart 32-bit values: their true difference, not one wrapped round to -1.
    QTest::newRow("step 1: no wrap-round")
        << 1 << qint64(2147483647) << qint64(-2147483647 - 1) << "1. 4294967295";
}

void TstCalTest::offsetLimits() {
    QFETCH(int, step);
    QFETCH(qint64, a);
    QFETCH(qint64, b);
    QFETCH(QString, line);
    const bool accepted = line.startsWith("Res:");
    QList<Arrival> script;
    for (int s = 1; s <= 3; ++s) {
        if (s != step) {
            script << bytes(kGoodO);
            continue;
        }
        script << bytes(step == 3 ? oReply(0, 0, a, b) : oReply(a, b));
        if (!accepted)
            script << bytes(kGoodO); // the second attempt is accepted
    }
    script << goodReadings() << bytes("1\r");
    Rig r(script);
    r.test.run();

    const int at = int(r.view.info.indexOf(QStringLiteral("P%1").arg(step)));
    QCOMPARE(r.view.info.value(at + 1), line);
    if (accepted) {
        QCOMPARE(double(r.test.record().slot(step)), double(a - b));
        QCOMPARE(r.count("pause 500"), 1); // only the one before "S"
    } else {
        QCOMPARE(r.view.info.value(at + 2).left(4), QStringLiteral("Res:"));
        QCOMPARE(r.count("pause 500"), 2);
    }
    QCOMPARE(r.view.info.last(), QStringLiteral("DONE"));
}

void TstCalTest::offsetReplyThatEndsTheTest_data() {
    QTest::addColumn<QList<Arrival>>("script");
    QTest::addColumn<int>("step"); // the step whose exchange fails
    QTest::addColumn<int>("ticks");
    QByteArray seven = kGoodO.left(kGoodO.lastIndexOf('\r', kGoodO.size() - 2) + 1);
    QTest::newRow("seven lines, the eighth times out") << QList<Arrival>{bytes(seven)} << 1 << 5;
    QTest::newRow("a word among the numbers")
        << QList<Arrival>{bytes(kGoodO), bytes("12\r-8\rabc\r")} << 2 << 0;
    QTest::newRow("a 40-digit offset")
        << QList<Arrival>{bytes(kGoodO), bytes(kGoodO), bytes(QByteArray(40, '7') + '\r')} << 3
        << 0;
    QTest::newRow("a lone CR") << QList<Arrival>{bytes("12\r\r")} << 1 << 0;
    QTest::newRow("a data-end marker") << QList<Arrival>{bytes("12\r\x1A")} << 1 << 0;
    QTest::newRow("silence") << QList<Arrival>{} << 1 << 5;
}

void TstCalTest::offsetReplyThatEndsTheTest() {
    QFETCH(QList<Arrival>, script);
    QFETCH(int, step);
    QFETCH(int, ticks);
    Rig r(script);
    r.test.run();

    QStringList expected;
    for (int s = 1; s < step; ++s)
        expected << QStringLiteral("P%1").arg(s) << (s == 3 ? "Res:-4 = OK." : "Res:17 = OK.");
    expected << QStringLiteral("P%1").arg(step) << "TIMEOUT";
    QCOMPARE(r.view.info, expected);
    QCOMPARE(r.link.ticksSpent, ticks);
    QCOMPARE(r.count("send O"), step); // no second attempt after a failed exchange
    for (int s = step; s <= 7; ++s)
        QCOMPARE(r.test.record().slot(s), NotMeasured);
    QCOMPARE(r.view.enabledNames(),
             (QStringList{"info_btn", "makecert_btn", "ok_btn", "probe_info"}));
    QVERIFY(r.dialogs.calls.isEmpty()); // a line, no message box
    QVERIFY(r.link.isOpen);
}

void TstCalTest::readingReply_data() {
    QTest::addColumn<QByteArray>("reply"); // the answer to the first "K"
    QTest::addColumn<QString>("line");     // the line after its prompt
    QTest::newRow("25.93") << QByteArray("25.93\r") << "Res:25.90";
    QTest::newRow("exponent 1e5 is a number") << QByteArray("1e5\r") << "Res:1E+05";
    QTest::newRow("CR LF line end") << QByteArray("25.93\r\n") << "Res:25.90";
    QTest::newRow("decimal comma") << QByteArray("25,93\r") << "TIMEOUT";
    QTest::newRow("nan") << QByteArray("nan\r") << "TIMEOUT";
    QTest::newRow("inf") << QByteArray("inf\r") << "TIMEOUT";
    QTest::newRow("empty line (lone CR)") << QByteArray("\r") << "TIMEOUT";
    QTest::newRow("silence") << QByteArray() << "TIMEOUT";
}

void TstCalTest::readingReply() {
    QFETCH(QByteArray, reply);
    QFETCH(QString, line);
    QList<Arrival> script{bytes(kGoodO), bytes(kGoodO), bytes(kGoodO)};
    script << (reply.isEmpty() ? ticks(6) : bytes(reply));
    script << bytes("19.8\r") << bytes("16.1\r") << bytes("10.8\r") << bytes("7\r");
    Rig r(script);
    r.test.run();

    const int at = int(r.view.info.indexOf(QStringLiteral("P4")));
    QCOMPARE(r.view.info.value(at + 1), line);
    if (line == "TIMEOUT") {
        QCOMPARE(r.view.info.size(), at + 2); // the test ended there
        QCOMPARE(r.test.record().slot(4), NotMeasured);
        QCOMPARE(r.test.record().slot(3), -4.0f);
        QCOMPARE(r.count("send K"), 1);
        QCOMPARE(r.view.enabledNames(),
                 (QStringList{"info_btn", "makecert_btn", "ok_btn", "probe_info"}));
        QVERIFY(r.link.isOpen);
    } else {
        QCOMPARE(r.view.info.last(), QStringLiteral("DONE"));
        QCOMPARE(r.test.record().CertNumber, QByteArray("7"));
    }
}

void TstCalTest::silentSerialNumberStillCompletes() {
    QList<Arrival> script = passingScript();
    script.removeLast();
    Rig r(script);
    r.test.run();
    QCOMPARE(r.view.info.last(), QStringLiteral("DONE"));
    QCOMPARE(r.test.record().CertNumber, QByteArray("\xB0"));
    QCOMPARE(r.link.ticksSpent, 5);
    QCOMPARE(r.link.calls.last(), QStringLiteral("close"));
    QCOMPARE(r.view.enabledNames(), (QStringList{"cert_print", "cert_save", "next_btn"}));
}

void TstCalTest::portCannotBeOpened() {
    Rig r(passingScript());
    r.link.openFailure = QStringLiteral("Unable to open com port (win error code: 2)");
    r.view.info = QStringList{"left from before"};
    r.test.record().slot(4) = 25.5f;
    r.view.enabled[B::CertPrint] = true;
    r.test.run();

    QCOMPARE(r.dialogs.kinds(), QStringList{"message"});
    QVERIFY(r.dialogs.calls[0].text.startsWith(kComPortErrorText + '\r'));
    QVERIFY(r.dialogs.calls[0].text.contains("win error code: 2"));
    QCOMPARE(r.view.info, QStringList{"left from before"});
    for (int k = 1; k <= 7; ++k)
        QCOMPARE(r.test.record().slot(k), NotMeasured);
    QCOMPARE(r.view.events, QStringList{"reset"});
    QVERIFY(r.view.isButtonEnabled(B::CertPrint));
    QVERIFY(!r.link.calls.contains("next"));
}

void TstCalTest::portFailsMidTest_data() {
    QTest::addColumn<QList<Arrival>>("script");
    QTest::addColumn<QString>("lastPrompt");
    QTest::newRow("offset exchange of step 2")
        << QList<Arrival>{bytes(kGoodO), bytes("1\r2\r"), portFailure("Read error")} << "P2";
    QTest::newRow("reading of step 5")
        << QList<Arrival>{bytes(kGoodO), bytes(kGoodO), bytes(kGoodO), bytes("25.9\r"),
                          portFailure("Read error")}
        << "P5";
    QList<Arrival> atS = passingScript();
    atS.last() = portFailure("Read error");
    QTest::newRow("serial number") << atS << "P7";
}

void TstCalTest::portFailsMidTest() {
    QFETCH(QList<Arrival>, script);
    QFETCH(QString, lastPrompt);
    Rig r(script);
    r.view.enabled[B::CertSave] = true; // saved state to come back to
    r.test.run();

    QCOMPARE(r.dialogs.kinds(), QStringList{"message"});
    QVERIFY(r.dialogs.calls[0].text.startsWith(kComPortErrorText));
    QCOMPARE(r.view.info.last(), QStringLiteral("TIMEOUT"));
    QVERIFY(r.view.info.contains(lastPrompt));
    QVERIFY(!r.view.info.contains("DONE") || lastPrompt == "P7");
    // The box, then the port let go, then the line and the idle buttons.
    QCOMPARE(r.link.calls.last(), QStringLiteral("close"));
    QVERIFY(!r.link.isOpen);
    const int lineAt = int(r.view.events.indexOf("line TIMEOUT"));
    QCOMPARE(r.view.events.mid(lineAt),
             (QStringList{"line TIMEOUT", "reset", "off cert_print", "on cert_save"}));
    QCOMPARE(r.view.enabledNames(),
             (QStringList{"cert_save", "info_btn", "makecert_btn", "ok_btn", "probe_info"}));
}

void TstCalTest::certButtonsAreHeldWhileTheTestRuns() {
    Rig r(passingScript());
    r.view.enabled[B::CertPrint] = true;
    r.view.enabled[B::CertSave] = true;
    r.test.run();
    for (const auto& state : r.view.statesAtLines.mid(0, r.view.statesAtLines.size() - 1)) {
        QVERIFY(!state.value(B::CertPrint));
        QVERIFY(!state.value(B::CertSave));
        QVERIFY(!state.value(B::CertLoad));
        QVERIFY(!state.value(B::MakeCert));
        QVERIFY(!state.value(B::Ok));
        QVERIFY(state.value(B::Next));
    }
    // A second press while it runs starts nothing (the link is the one running).
    QVERIFY(!r.test.running());
}

void TstCalTest::cancelledWaitUnwinds() {
    Rig r(passingScript());
    r.link.nextAnswers = {true, true, true, true, false}; // torn down at the prompt of step 5
    r.test.run();
    QCOMPARE(r.view.info.last(), QStringLiteral("P5"));
    QCOMPARE(r.count("send K"), 1);
    QCOMPARE(r.link.calls.last(), QStringLiteral("close"));
    QVERIFY(r.dialogs.calls.isEmpty());
    QCOMPARE(r.view.enabledNames(),
             (QStringList{"info_btn", "makecert_btn", "ok_btn", "probe_info"}));
}

void TstCalTest::newTestStartsFromNotMeasured() {
    // A first test completes; a second one fails at step 4 and must not keep the old readings.
    QList<Arrival> script = passingScript();
    script << bytes(kGoodO) << bytes(kGoodO) << bytes(kGoodO) << bytes("x\r");
    Rig r(script);
    r.test.run();
    QCOMPARE(r.test.record().slot(7), 10.81f);
    r.test.run();
    QCOMPARE(r.view.info.last(), QStringLiteral("TIMEOUT"));
    QCOMPARE(r.view.info.first(), QStringLiteral("P1")); // the box was emptied first
    for (int k = 4; k <= 7; ++k)
        QCOMPARE(r.test.record().slot(k), NotMeasured);
    QCOMPARE(r.test.record().CertNumber, QByteArray("97-0412")); // kept until an "S" answers
}

QTEST_APPLESS_MAIN(TstCalTest)
#include "tst_cal_test.moc"
