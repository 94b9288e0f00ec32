// The setup dialog's core: its texts from a language file, the number form of the
// calibration, and the probe query over a scripted link.
#include "ScriptedLink.h"
#include "ini/IniProfile.h"
#include "meter/ProbeQuery.h"
#include "setup/CalNumbers.h"
#include "setup/SetupTexts.h"

#include <QFile>
#include <QLocale>
#include <QtTest>

#include <cmath>

using namespace kelotari;

Q_DECLARE_METATYPE(QList<kelotari::Arrival>)
Q_DECLARE_METATYPE(kelotari::ProbeEnd)

namespace {

// Every key of section [Setup] and the text it fills, as the language file's table gives them.
struct KeyField {
    const char* key;
    QString SetupTexts::*field;
};
const KeyField kKeys[] = {
    {"DL1_file", &SetupTexts::DL1_file},
    {"DL1_cp", &SetupTexts::DL1_cp},
    {"DL1_pr", &SetupTexts::DL1_pr},
    {"DL1_inf", &SetupTexts::DL1_inf},
    {"Probe", &SetupTexts::Probe},
    {"Next", &SetupTexts::Next},
    {"Cert", &SetupTexts::Cert},
    {"makecert", &SetupTexts::makecert},
    {"handler", &SetupTexts::handler},
    {"Lang", &SetupTexts::Lang},
    {"Lang_su", &SetupTexts::Lang_su},
    {"Lang_en", &SetupTexts::Lang_en},
    {"Save", &SetupTexts::Save},
    {"Load", &SetupTexts::Load},
    {"Print", &SetupTexts::Print},
    {"Ph1", &SetupTexts::StepText1},
    {"Ph2", &SetupTexts::StepText2},
    {"Ph3", &SetupTexts::StepText3},
    {"Ph4", &SetupTexts::StepText4},
    {"Ph5", &SetupTexts::StepText5},
    {"Ph6", &SetupTexts::StepText6},
    {"Ph7", &SetupTexts::StepText7},
    {"Done", &SetupTexts::DoneText},
    {"FA", &SetupTexts::FailText},
    {"Res", &SetupTexts::ResultLabel},
    {"Now", &SetupTexts::PrintingText},
    {"EMsg", &SetupTexts::CertTimeoutText},
};

QByteArray shipped(const char* name) {
    QFile f(QStringLiteral(KELOTARI_SOURCE_DIR "/lang/") + QLatin1String(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString fieldOf(const SetupTexts& t, const QString& key) {
    for (const KeyField& k : kKeys)
        if (key == QLatin1String(k.key))
            return t.*k.field;
    return QStringLiteral("<no such key>");
}

} // namespace

class TestSetupCore : public QObject {
    Q_OBJECT
private slots:
    void everyKeyFillsItsOwnTextAndKeepsPercent();
    void valuesFromTheFile_data();
    void valuesFromTheFile();
    void shippedEnglishFileHoldsTheDefaults();
    void programInformationHasSevenFixedLines();
    void certNumbersUsePointWhateverTheLocale();
    void certNumberParsing_data();
    void certNumberParsing();
    void probeQuery_data();
    void probeQuery();
    void probeFailureClosesThePortAndIsThrownOn_data();
    void probeFailureClosesThePortAndIsThrownOn();
    void probeOnAPortLeftOpenStartsAfresh();
};

void TestSetupCore::everyKeyFillsItsOwnTextAndKeepsPercent() {
    QByteArray file = "[Setup]\n";
    for (const KeyField& k : kKeys)
        file += QByteArray(k.key) + "=v " + k.key + " 50% done\n";
    const SetupTexts t = readSetupTexts(IniProfile(file));
    for (const KeyField& k : kKeys)
        QCOMPARE(t.*k.field, QStringLiteral("v %1 50% done").arg(QLatin1String(k.key)));
    for (int step = 1; step <= 7; ++step)
        QCOMPARE(t.stepText(step), QStringLiteral("v Ph%1 50% done").arg(step));
    QCOMPARE(t.stepText(0), QString());
    QCOMPARE(t.stepText(8), QString());
}

void TestSetupCore::valuesFromTheFile_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    const SetupTexts d;
    QTest::newRow("no file: default") << QByteArray() << "Probe" << d.Probe;
    QTest::newRow("other section only") << QByteArray("[Dialogs]\nProbe=x\n") << "Probe" << d.Probe;
    QTest::newRow("names in any case") << QByteArray("[setup]\nPROBE=Info\n") << "Probe"
                                       << "Info";
    QTest::newRow("present but empty") << QByteArray("[Setup]\nNext=\n") << "Next"
                                       << "";
    QTest::newRow("some keys: others default")
        << QByteArray("[Setup]\nDone=Ready\n") << "FA" << d.FailText;
    QTest::newRow("quotes and blanks go") << QByteArray("[Setup]\nRes=  \" Tulos :\"  \n") << "Res"
                                          << " Tulos :";
    QTest::newRow("percent only") << QByteArray("[Setup]\nNow=%\n") << "Now"
                                  << "%";
    QTest::newRow("long value cut to 2047")
        << QByteArray("[Setup]\nPh4=" + QByteArray(3000, 'x') + "\n") << "Ph4"
        << QString(2047, QLatin1Char('x'));
    QTest::newRow("Finnish file, Windows-1252")
        << shipped("Suomi.lng") << "handler" << QString::fromUtf8("K\u00e4sittelij\u00e4n nimi");
    QTest::newRow("Finnish file, first certificate language") << shipped("Suomi.lng") << "Lang_su"
                                                              << "Suomi";
}

void TestSetupCore::valuesFromTheFile() {
    QFETCH(QByteArray, file);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QCOMPARE(fieldOf(readSetupTexts(IniProfile(file)), key), expected);
}

void TestSetupCore::shippedEnglishFileHoldsTheDefaults() {
    const QByteArray file = shipped("DefLang.lng");
    QVERIFY(!file.isEmpty());
    const SetupTexts fromFile = readSetupTexts(IniProfile(file));
    const SetupTexts defaults;
    const IniProfile profile(file);
    for (const KeyField& k : kKeys) {
        QVERIFY2(profile.contains(QStringLiteral("Setup"), QLatin1String(k.key)), k.key);
        QCOMPARE(fromFile.*k.field, defaults.*k.field);
    }
}

void TestSetupCore::programInformationHasSevenFixedLines() {
    const QStringList lines = programInformation();
    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines[0], QStringLiteral("PC software version : 1.0.15"));
    QCOMPARE(lines[1], QString());
    QCOMPARE(lines[5], QStringLiteral("Made in Finland"));
    for (int i : {2, 3, 4, 6})
        QVERIFY2(!lines[i].trimmed().isEmpty(), qPrintable(QString::number(i + 1)));
    QVERIFY(lines[3].contains(QLatin1Char('.')));
    QVERIFY(lines[4].contains(QLatin1Char('@')));
}

// One number form for the dialog and the calibration: "." whatever the regional settings,
// and the regional separator only where the certificate file asks for it.
void TestSetupCore::certNumbersUsePointWhateverTheLocale() {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::Finnish, QLocale::Finland));
    const NumberFormat f = CertNumberFormat();
    QCOMPARE(f.decimalSeparator, '.');
    QCOMPARE(f.negativeSign, '-');
    QVERIFY(!f.grouping);
    QCOMPARE(f.general(-12.0), QStringLiteral("-12"));
    QCOMPARE(f.twoDecimals(25.9f), QStringLiteral("25.90"));
    QCOMPARE(f.general(1234567.0), QStringLiteral("1234567"));
    QCOMPARE(f.general(1234.5, 3, 2), QStringLiteral("1.23E+03"));
    QCOMPARE(f.general(double(25.93f)), QStringLiteral("25.9300003051758"));
    QCOMPARE(f.parse("25.93"), std::optional<float>(25.93f));
    const NumberFormat fi = regionalNumberFormat(QLocale(QLocale::Finnish, QLocale::Finland));
    QCOMPARE(fi.decimalSeparator, ',');
    QCOMPARE(fi.twoDecimals(25.9f), QStringLiteral("25,90"));
    QCOMPARE(fi.twoDecimals(0.0), QStringLiteral("0,00"));
    QCOMPARE(fi.general(-0.5), QStringLiteral("-0,5"));
    QCOMPARE(fi.parse("25,93"), std::optional<float>(25.93f));
    QCOMPARE(fi.parse("25.93"), std::optional<float>());
    QLocale::setDefault(saved);
}

void TestSetupCore::certNumberParsing_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<float>("value");
    QTest::newRow("reading") << QByteArray("25.93") << true << 25.93f;
    QTest::newRow("blanks, sign, exponent") << QByteArray(" -1.5e2 ") << true << -150.0f;
    QTest::newRow("capital exponent") << QByteArray("2.5E-1") << true << 0.25f;
    QTest::newRow("plus") << QByteArray("+3") << true << 3.0f;
    QTest::newRow("no leading digit") << QByteArray(".5") << true << 0.5f;
    QTest::newRow("no fraction digits") << QByteArray("5.") << true << 5.0f;
    QTest::newRow("decimal comma") << QByteArray("25,93") << false << 0.0f;
    QTest::newRow("grouped") << QByteArray("1 000") << false << 0.0f;
    QTest::newRow("two points") << QByteArray("1.2.3") << false << 0.0f;
    QTest::newRow("exponent without digits") << QByteArray("1e") << false << 0.0f;
    QTest::newRow("sign alone") << QByteArray("-") << false << 0.0f;
    QTest::newRow("empty") << QByteArray("") << false << 0.0f;
    QTest::newRow("not a number") << QByteArray("nan") << false << 0.0f;
    QTest::newRow("infinite") << QByteArray("inf") << false << 0.0f;
    QTest::newRow("overflows") << QByteArray("1e999") << false << 0.0f;
    QTest::newRow("time-out marker") << QByteArray("\xB0") << false << 0.0f;
    QTest::newRow("trailing text") << QByteArray("12.0 %") << false << 0.0f;
}

void TestSetupCore::certNumberParsing() {
    QFETCH(QByteArray, text);
    QFETCH(bool, ok);
    QFETCH(float, value);
    const std::optional<float> v = CertNumberFormat().parse(text);
    QCOMPARE(v.has_value(), ok);
    if (ok)
        QCOMPARE(*v, value);
}

void TestSetupCore::probeQuery_data() {
    QTest::addColumn<QList<Arrival>>("script");
    QTest::addColumn<ProbeEnd>("end");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<bool>("leftOpen");

    QTest::newRow("one S line, three T lines")
        << QList<Arrival>{bytes("97-1234\r"), bytes("Kelotari\rHammer\rFirmware 2.14\r\x1a")}
        << ProbeEnd::Complete
        << QList<QByteArray>{"S/N: 97-1234", "Kelotari", "Hammer", "Firmware 2.14"} << false;
    QTest::newRow("answers trickle in, CR LF ends")
        << QList<Arrival>{bytes("97-"),   ticks(3), bytes("1234\r\n"), ticks(4),
                          bytes("A\r\n"), ticks(4), bytes("\x1a")}
        << ProbeEnd::Complete << QList<QByteArray>{"S/N: 97-1234", "A"} << false;
    QTest::newRow("silent meter: nothing shown, port left open")
        << QList<Arrival>{} << ProbeEnd::SilentMeter << QList<QByteArray>{} << true;
    QTest::newRow("an empty T line is a line holding CR")
        << QList<Arrival>{bytes("1\r"), bytes("A\r\rB\r\x1a")} << ProbeEnd::Complete
        << QList<QByteArray>{"S/N: 1", "A", "\r", "B"} << false;
    QTest::newRow("packet-end marker inside T is a line of its own")
        << QList<Arrival>{bytes("1\r"), bytes("A\r\xaf"
                                              "B\r\x1a")}
        << ProbeEnd::Complete << QList<QByteArray>{"S/N: 1", "A", "\xaf", "B"} << false;
    QTest::newRow("S answered by a marker: shown whatever it is")
        << QList<Arrival>{bytes("\x1a"), bytes("\x1a")} << ProbeEnd::Complete
        << QList<QByteArray>{"S/N: \x1a"} << false;
    QTest::newRow("T without its end marker times out, port closed")
        << QList<Arrival>{bytes("1\r"), bytes("A\rpartial")} << ProbeEnd::TextTimedOut
        << QList<QByteArray>{"S/N: 1", "A"} << false;
    QTest::newRow("closing during the S wait")
        << QList<Arrival>{ticks(2), cancelRequest()} << ProbeEnd::Cancelled << QList<QByteArray>{}
        << false;
    QTest::newRow("closing during the T wait")
        << QList<Arrival>{bytes("1\r"), bytes("A\r"), cancelRequest()} << ProbeEnd::Cancelled
        << QList<QByteArray>{"S/N: 1", "A"} << false;
}

void TestSetupCore::probeQuery() {
    QFETCH(QList<Arrival>, script);
    QFETCH(ProbeEnd, end);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(bool, leftOpen);

    ScriptedLink link(script);
    QList<QByteArray> shown;
    QCOMPARE(
        probeInformation(link, QStringLiteral("COM3"), [&](const QByteArray& l) { shown << l; }),
        end);
    QCOMPARE(shown, lines);
    QCOMPARE(link.isOpen, leftOpen);
    // The exchange: port, open, purge, the pause, then "S"; "T" right after the S answer.
    QCOMPARE(link.calls.mid(0, 6),
             (QStringList{"port COM3", "open", "purge", "pause 500", "send S", "read"}));
    const bool sentT = link.calls.contains(QStringLiteral("send T"));
    QCOMPARE(sentT, !lines.isEmpty());
    if (sentT)
        QCOMPARE(link.calls.at(6), QStringLiteral("send T"));
    QCOMPARE(link.calls.count(QStringLiteral("purge")), 1);
    QCOMPARE(link.calls.last() == QStringLiteral("close"), !leftOpen);
    QCOMPARE(link.unreadBytes(), 0);
    if (end == ProbeEnd::SilentMeter)
        QCOMPARE(link.ticksSpent, kProbeTimeoutTicks);
}

void TestSetupCore::probeFailureClosesThePortAndIsThrownOn_data() {
    QTest::addColumn<QString>("openFailure");
    QTest::addColumn<QList<Arrival>>("script");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::newRow("port missing") << "Unable to open com port (win error code: 2)"
                                  << QList<Arrival>{} << QList<QByteArray>{};
    QTest::newRow("port fails during T")
        << QString() << QList<Arrival>{bytes("1\r"), bytes("A\r"), portFailure("Read failed")}
        << QList<QByteArray>{"S/N: 1", "A"};
    QTest::newRow("T line of 70,000 bytes without a line end")
        << QString() << QList<Arrival>{bytes("1\r"), bytes(QByteArray(70000, 'x'))}
        << QList<QByteArray>{"S/N: 1"};
}

void TestSetupCore::probeFailureClosesThePortAndIsThrownOn() {
    QFETCH(QString, openFailure);
    QFETCH(QList<Arrival>, script);
    QFETCH(QList<QByteArray>, lines);
    ScriptedLink link(script);
    link.openFailure = openFailure;
    QList<QByteArray> shown;
    bool thrown = false;
    try {
        probeInformation(link, QString(), [&](const QByteArray& l) { shown << l; });
    } catch (const Failure& e) {
        thrown = true;
        QVERIFY(!e.message().isEmpty());
    }
    QVERIFY(thrown);
    QCOMPARE(shown, lines);
    QCOMPARE(link.calls.last(), QStringLiteral("close"));
    QVERIFY(!link.isOpen);
}

// A silent meter leaves the port open; the next press opens nothing new and reads its own
// answers.
void TestSetupCore::probeOnAPortLeftOpenStartsAfresh() {
    ScriptedLink link({ticks(5), bytes("2\r"), bytes("B\r\x1a")});
    QList<QByteArray> shown;
    auto show = [&](const QByteArray& l) { shown << l; };
    QCOMPARE(probeInformation(link, QStringLiteral("COM1"), show), ProbeEnd::SilentMeter);
    QVERIFY(link.isOpen);
    QCOMPARE(probeInformation(link, QStringLiteral("COM1"), show), ProbeEnd::Complete);
    QCOMPARE(shown, (QList<QByteArray>{"S/N: 2", "B"}));
    QVERIFY(!link.isOpen);
}

QTEST_GUILESS_MAIN(TestSetupCore)
#include "tst_setup_core.moc"
