#include "LocaleRun.h"
#include "ini/IniProfile.h"
#include "lot/LotCheck.h"
#include "lot/LotTexts.h"
#include "packets/PacketTable.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

using namespace kelotari;

namespace {

// The lot specifications of the table, named by their key. Values in tenths of a percent.
LotSpec spec(const QString& key) {
    LotSpec s;
    s.name = key;
    auto set = [&s](std::optional<int> target, std::optional<int> deviation,
                    std::optional<int> lower, std::optional<int> upper, std::optional<int> share) {
        s.target = target;
        s.deviation = deviation;
        s.lower = lower;
        s.upper = upper;
        s.share = share;
    };
    const auto none = std::nullopt;
    if (key == "dry")
        set(none, none, none, 240, 970);
    else if (key == "dry0")
        set(none, none, none, 240, 0);
    else if (key == "dry100")
        set(none, none, none, 240, 1000);
    else if (key == "band")
        set(none, none, 100, 140, 900);
    else if (key == "band667")
        set(none, none, 100, 140, 667);
    else if (key == "atleast")
        set(none, none, 80, none, 1000);
    else if (key == "mean")
        set(120, 10, none, none, none);
    else if (key == "both")
        set(120, 10, 100, 140, 900);
    else if (key == "target")
        set(120, none, none, none, none);
    else if (key != "none")
        qFatal("no specification %s", qPrintable(key));
    return s;
}

// Cells from a list of tokens: "29*20.0" is 29 cells of "20.0", "~" an empty cell.
QList<QByteArray> cells(const QByteArray& tokens) {
    QList<QByteArray> out;
    for (const QByteArray& t : tokens.split(' ')) {
        if (t.isEmpty())
            continue;
        const int star = t.indexOf('*');
        const int times = star > 0 ? t.left(star).toInt() : 1;
        const QByteArray cell = star > 0 ? t.mid(star + 1) : t;
        for (int i = 0; i < times; ++i)
            out << (cell == "~" ? QByteArray() : cell);
    }
    return out;
}

// A text written with "." as it is shown under the user's decimal separator.
QString loc(QString text) {
    return text.replace(QLatin1Char('.'), QLocale::system().decimalPoint());
}

QString figure(const std::optional<LotFigure>& f) {
    return f ? figureText(*f, QLocale::system()) : QString();
}

QString reading(const std::optional<ReadingValue>& v) {
    return v ? readingText(*v, QLocale::system()) : QString();
}

} // namespace

class TstLotCheck : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { checkLocaleOfTheRun(); }
    void readingValues_data();
    void readingValues();
    void packetsAgainstSpecifications_data();
    void packetsAgainstSpecifications();
    void shareRuleIsDecidedOnCounts_data();
    void shareRuleIsDecidedOnCounts();
    void tableRowIsCheckedUpToItsFirstEmptyCell();
    void lineUsesTheGivenLocale();
    void summaries_data();
    void summaries();
    void languageFileTextsReplaceTheDefaults();
    void finnishTextsKeepEveryPlaceholder();
};

void TstLotCheck::readingValues_data() {
    QTest::addColumn<QByteArray>("cell");
    QTest::addColumn<bool>("number");
    QTest::addColumn<qint64>("micro");
    QTest::addColumn<bool>("beyondSix");

    QTest::newRow("meter form") << QByteArray("12.7") << true << qint64(12700000) << false;
    QTest::newRow("decimal comma") << QByteArray("12,7") << true << qint64(12700000) << false;
    QTest::newRow("trailing text") << QByteArray("12.7E") << true << qint64(12700000) << false;
    QTest::newRow("whole") << QByteArray("15") << true << qint64(15000000) << false;
    QTest::newRow("zero") << QByteArray("0") << true << qint64(0) << false;
    QTest::newRow("leading zero") << QByteArray("08.5") << true << qint64(8500000) << false;
    QTest::newRow("point without decimals") << QByteArray("5.") << true << qint64(5000000) << false;
    QTest::newRow("second point ends it")
        << QByteArray("1.2.3") << true << qint64(1200000) << false;
    QTest::newRow("six decimals") << QByteArray("24.000001") << true << qint64(24000001) << false;
    QTest::newRow("seventh decimal")
        << QByteArray("24.0000001") << true << qint64(24000000) << true;
    QTest::newRow("seventh decimal zero")
        << QByteArray("24.0000000") << true << qint64(24000000) << false;
    QTest::newRow("largest int") << QByteArray("2147483647") << true << qint64(2147483647) * 1000000
                                 << false;
    QTest::newRow("beyond int") << QByteArray("2147483648") << false << qint64(0) << false;
    QTest::newRow("E") << QByteArray("E") << false << qint64(0) << false;
    QTest::newRow("empty") << QByteArray() << false << qint64(0) << false;
    QTest::newRow("leading blank") << QByteArray(" 12") << false << qint64(0) << false;
    QTest::newRow("minus") << QByteArray("-3") << false << qint64(0) << false;
    QTest::newRow("plus") << QByteArray("+3") << false << qint64(0) << false;
    QTest::newRow("no whole part") << QByteArray(".5") << false << qint64(0) << false;
}

void TstLotCheck::readingValues() {
    QFETCH(QByteArray, cell);
    QFETCH(bool, number);
    QFETCH(qint64, micro);
    QFETCH(bool, beyondSix);
    const std::optional<ReadingValue> v = readingValue(cell);
    QCOMPARE(v.has_value(), number);
    if (v) {
        QCOMPARE(v->micro, micro);
        QCOMPARE(v->beyondSix, beyondSix);
        QCOMPARE(v->percent(), static_cast<double>(micro) / 1e6);
    }
}

// Figures worked out by hand; "." stands for the user's decimal separator.
void TstLotCheck::packetsAgainstSpecifications_data() {
    QTest::addColumn<QString>("spec");
    QTest::addColumn<QByteArray>("readings");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<int>("used");
    QTest::addColumn<QList<int>>("notNumbers");
    QTest::addColumn<QList<int>>("outside");
    QTest::addColumn<QString>("figures"); // mean|standard deviation|lowest|highest
    QTest::addColumn<QString>("line");

    const int meets = int(LotVerdict::Meets), notMet = int(LotVerdict::NotMet);
    const int noReadings = int(LotVerdict::NoReadings);
    const int nothing = int(LotVerdict::NothingToCheck);
    using L = QList<int>;

    QTest::newRow("every reading at the limit")
        << "dry" << QByteArray("30*24.0") << meets << 30 << L{} << L{} << "24.0|0.0|24.0|24.0"
        << "dry: meets, 30 of 30 at or below 24.0 %";
    QTest::newRow("29 of 30 is short of 97 %")
        << "dry" << QByteArray("29*20.0 24.1") << notMet << 30 << L{} << L{30}
        << "20.1|0.7|20.0|24.1"
        << "dry: not met, 29 of 30 (96.7 %) at or below 24.0 %, 97 % required";
    QTest::newRow("a reading that is not a number is not within")
        << "dry" << QByteArray("29*20.0 E") << notMet << 29 << L{30} << L{} << "20.0|0.0|20.0|20.0"
        << "dry: not met, 29 of 30 (96.7 %) at or below 24.0 %, 97 % required; "
           "not a number: Data30";
    QTest::newRow("no readings") << "dry" << QByteArray() << noReadings << 0 << L{} << L{} << "|||"
                                 << "dry: no readings to check";
    QTest::newRow("all readings E")
        << "dry" << QByteArray("E E E") << noReadings << 0 << L{1, 2, 3} << L{} << "|||"
        << "dry: no readings to check; not a number: Data1, Data2, Data3";
    QTest::newRow("one reading has no deviation")
        << "dry" << QByteArray("12.7") << meets << 1 << L{} << L{} << "12.7||12.7|12.7"
        << "dry: meets, 1 of 1 at or below 24.0 %";
    QTest::newRow("readings beyond 100 % are used")
        << "dry" << QByteArray("120.5 101.0") << notMet << 2 << L{} << L{1, 2}
        << "110.8|13.8|101.0|120.5"
        << "dry: not met, 0 of 2 (0.0 %) at or below 24.0 %, 97 % required";
    QTest::newRow("share 0 % is met with none within")
        << "dry0" << QByteArray("30.0 31.0") << meets << 2 << L{} << L{1, 2} << "30.5|0.7|30.0|31.0"
        << "dry0: meets, 0 of 2 at or below 24.0 %";
    QTest::newRow("share 100 % with one over")
        << "dry100" << QByteArray("29*20.0 24.1") << notMet << 30 << L{} << L{30}
        << "20.1|0.7|20.0|24.1"
        << "dry100: not met, 29 of 30 (96.7 %) at or below 24.0 %, 100 % required";
    QTest::newRow("share 100 % with all at the limit")
        << "dry100" << QByteArray("24.0 24 24.00") << meets << 3 << L{} << L{}
        << "24.0|0.0|24.0|24.0"
        << "dry100: meets, 3 of 3 at or below 24.0 %";
    QTest::newRow("a hair over the limit is over")
        << "dry100" << QByteArray("24.05 24.0000001") << notMet << 2 << L{} << L{1, 2}
        << "24.0|0.0|24.000000|24.05"
        << "dry100: not met, 0 of 2 (0.0 %) at or below 24.0 %, 100 % required";
    QTest::newRow("both limits count as within")
        << "band" << QByteArray("10.0 14.0 9.9 14.1 12") << notMet << 5 << L{} << L{3, 4}
        << "12.0|2.1|9.9|14.1"
        << "band: not met, 3 of 5 (60.0 %) within 10.0 to 14.0 %, 90 % required";
    QTest::newRow("within both limits") << "band" << QByteArray("10.0 12.0 14.0") << meets << 3
                                        << L{} << L{} << "12.0|2.0|10.0|14.0"
                                        << "band: meets, 3 of 3 within 10.0 to 14.0 %";
    QTest::newRow("a failing share is not rounded onto its requirement")
        << "band667" << QByteArray("12 12 15") << notMet << 3 << L{} << L{3} << "13.0|1.7|12.0|15.0"
        << "band667: not met, 2 of 3 (66.67 %) within 10.0 to 14.0 %, 66.7 % required";
    QTest::newRow("lower limit only")
        << "atleast" << QByteArray("8.0 7.9") << notMet << 2 << L{} << L{2} << "8.0|0.1|7.9|8.0"
        << "atleast: not met, 1 of 2 (50.0 %) at or above 8.0 %, 100 % required";
    QTest::newRow("mean on the bound")
        << "mean" << QByteArray("13.0 13.0") << meets << 2 << L{} << L{} << "13.0|0.0|13.0|13.0"
        << "mean: meets, mean 13.0 %, target 12.0 \u00B1 1.0 %";
    QTest::newRow("mean half a tenth past the bound")
        << "mean" << QByteArray("13.0 13.1") << notMet << 2 << L{} << L{} << "13.1|0.1|13.0|13.1"
        << "mean: not met, mean 13.1 %, 12.0 \u00B1 1.0 % required";
    QTest::newRow("mean just past the bound gets a decimal more")
        << "mean" << QByteArray("13.0 13.0 13.1") << notMet << 3 << L{} << L{}
        << "13.0|0.1|13.0|13.1"
        << "mean: not met, mean 13.03 %, 12.0 \u00B1 1.0 % required";
    QTest::newRow("mean a third of a millionth past the bound is cut upwards")
        << "mean" << QByteArray("13.000001 13.0 13.0") << notMet << 3 << L{} << L{}
        << "13.0|0.0|13.0|13.000001"
        << "mean: not met, mean 13.000001 %, 12.0 \u00B1 1.0 % required";
    QTest::newRow("mean just below the bound")
        << "mean" << QByteArray("10.9 11.0") << notMet << 2 << L{} << L{} << "11.0|0.1|10.9|11.0"
        << "mean: not met, mean 10.95 %, 12.0 \u00B1 1.0 % required";
    QTest::newRow("both rules met")
        << "both" << QByteArray("11.5 12.0 12.5") << meets << 3 << L{} << L{}
        << "12.0|0.5|11.5|12.5"
        << "both: meets, 3 of 3 within 10.0 to 14.0 %, mean 12.0 %, target 12.0 \u00B1 1.0 %";
    QTest::newRow("the failing rule is named")
        << "both" << QByteArray("13.5 13.5 13.9") << notMet << 3 << L{} << L{}
        << "13.6|0.2|13.5|13.9"
        << "both: not met, mean 13.6 %, 12.0 \u00B1 1.0 % required";
    QTest::newRow("the share rule is named first")
        << "both" << QByteArray("9.0 13.5") << notMet << 2 << L{} << L{1} << "11.3|3.2|9.0|13.5"
        << "both: not met, 1 of 2 (50.0 %) within 10.0 to 14.0 %, 90 % required";
    QTest::newRow("a target alone decides nothing")
        << "target" << QByteArray("12.0 30.0") << nothing << 2 << L{} << L{}
        << "21.0|12.7|12.0|30.0"
        << "target: nothing to check";
    QTest::newRow("no rule and no readings")
        << "none" << QByteArray() << nothing << 0 << L{} << L{} << "|||"
        << "none: nothing to check";
    QTest::newRow("halves round up") << "dry" << QByteArray("10.00 10.25 10.50") << meets << 3
                                     << L{} << L{} << "10.3|0.3|10.0|10.5"
                                     << "dry: meets, 3 of 3 at or below 24.0 %";
    QTest::newRow("reading forms")
        << "dry" << QByteArray("12,7 12.7E -3 99999999999") << notMet << 2 << L{3, 4} << L{}
        << "12.7|0.0|12.7|12.7"
        << "dry: not met, 2 of 4 (50.0 %) at or below 24.0 %, 97 % required; "
           "not a number: Data3, Data4";
    QTest::newRow("the first empty cell ends the readings")
        << "dry" << QByteArray("20.0 ~ 30.0") << meets << 1 << L{} << L{} << "20.0||20.0|20.0"
        << "dry: meets, 1 of 1 at or below 24.0 %";
    QTest::newRow("at most 30 readings")
        << "dry" << QByteArray("30*20.0 99.0") << meets << 30 << L{} << L{} << "20.0|0.0|20.0|20.0"
        << "dry: meets, 30 of 30 at or below 24.0 %";
    QTest::newRow("deviation of the largest readings")
        << "target" << QByteArray("2147483647 0") << nothing << 2 << L{} << L{}
        << "1073741823.5|1518500249.3|0.0|2147483647.0"
        << "target: nothing to check";
}

void TstLotCheck::packetsAgainstSpecifications() {
    QFETCH(QString, spec);
    QFETCH(QByteArray, readings);
    QFETCH(int, verdict);
    QFETCH(int, used);
    QFETCH(QList<int>, notNumbers);
    QFETCH(QList<int>, outside);
    QFETCH(QString, figures);
    QFETCH(QString, line);

    const LotSpec s = ::spec(spec);
    const LotResult r = checkReadings(s, cells(readings));
    QCOMPARE(int(r.verdict), verdict);
    QCOMPARE(r.used, used);
    QCOMPARE(r.notNumbers, notNumbers);
    QCOMPARE(r.outside, outside);
    const QStringList got = {figure(r.mean), figure(r.stdDev), reading(r.lowest),
                             reading(r.highest)};
    QCOMPARE(got.join(QLatin1Char('|')), loc(figures));
    QCOMPARE(lotResultLine(s, r, LotTexts()), loc(line));
}

// Every count of 1..30 readings against shares around it: the rule holds exactly when
// within * 100 >= share * n, decided here with fractions of whole numbers.
void TstLotCheck::shareRuleIsDecidedOnCounts_data() {
    QTest::addColumn<int>("share"); // tenths
    QTest::newRow("97 %") << 970;
    QTest::newRow("96.7 %") << 967;
    QTest::newRow("66.7 %") << 667;
    QTest::newRow("50 %") << 500;
    QTest::newRow("0.1 %") << 1;
    QTest::newRow("100 %") << 1000;
}

void TstLotCheck::shareRuleIsDecidedOnCounts() {
    QFETCH(int, share);
    LotSpec s;
    s.name = "s";
    s.upper = 240;
    s.share = share;
    for (int n = 1; n <= kMaxReadings; ++n)
        for (int within = 0; within <= n; ++within) {
            QList<QByteArray> c;
            for (int i = 0; i < n; ++i)
                c << (i < within ? "24.0" : "24.1");
            const LotResult r = checkReadings(s, c);
            const bool met = within * 1000 >= share * n;
            QVERIFY2(r.shareRule && r.shareRule->met == met,
                     qPrintable(QStringLiteral("%1 of %2").arg(within).arg(n)));
            QCOMPARE(r.verdict, met ? LotVerdict::Meets : LotVerdict::NotMet);
            // A failing share is never shown at or above what is required.
            if (!met)
                QVERIFY2(r.shareRule->share.value() < share / 10.0,
                         qPrintable(QStringLiteral("%1 of %2").arg(within).arg(n)));
        }
}

void TstLotCheck::tableRowIsCheckedUpToItsFirstEmptyCell() {
    PacketTable t;
    const QList<QByteArray> row = {"20.0", "E", "25.0", "18.5"};
    for (int i = 0; i < row.size(); ++i)
        t.setCell(kFirstReadingCol + i, 2, row[i]);
    t.setCell(kFirstReadingCol + 5, 2, "99.9"); // after a gap: not a reading of the packet
    QCOMPARE(readingCells(t, 2), row);
    const LotSpec s = spec("dry");
    const LotResult r = checkPacket(s, t, 2);
    QCOMPARE(r.readings, 4);
    QCOMPARE(r.used, 3);
    QCOMPARE(r.notNumbers, QList<int>{2});
    QCOMPARE(r.outside, QList<int>{3});
    QCOMPARE(lotResultLine(s, r, LotTexts()),
             loc("dry: not met, 2 of 4 (50.0 %) at or below 24.0 %, 97 % required; "
                 "not a number: Data2"));
    for (const int empty : {1, 0, kRows, -1})
        QCOMPARE(checkPacket(s, t, empty).verdict, LotVerdict::NoReadings);
}

void TstLotCheck::lineUsesTheGivenLocale() {
    const LotSpec s = shippingDrySpec(LotTexts().ShippingDryName);
    const LotResult r = checkReadings(s, cells("29*20.0 24.1"));
    QCOMPARE(lotResultLine(s, r, LotTexts(), QLocale(QLocale::Finnish, QLocale::Finland)),
             QStringLiteral("Shipping dry: not met, 29 of 30 (96,7 %) at or below 24,0 %, 97 % "
                            "required"));
    QCOMPARE(lotResultLine(s, r, LotTexts(), QLocale::c()),
             QStringLiteral("Shipping dry: not met, 29 of 30 (96.7 %) at or below 24.0 %, 97 % "
                            "required"));
    QCOMPARE(shareText(975, QLocale(QLocale::German)), QStringLiteral("97,5"));
}

void TstLotCheck::summaries_data() {
    QTest::addColumn<QString>("spec");
    QTest::addColumn<QString>("summary");
    QTest::newRow("upper limit") << "dry"
                                 << "dry: 97 % at or below 24 %";
    QTest::newRow("both limits") << "band"
                                 << "band: 90 % within 10 to 14 %";
    QTest::newRow("a share with a decimal") << "band667"
                                            << "band667: 66.7 % within 10 to 14 %";
    QTest::newRow("lower limit") << "atleast"
                                 << "atleast: 100 % at or above 8 %";
    QTest::newRow("mean") << "mean"
                          << "mean: mean 12 \u00B1 1 %";
    QTest::newRow("share and mean") << "both"
                                    << "both: 90 % within 10 to 14 %, mean 12 \u00B1 1 %";
    QTest::newRow("target alone") << "target"
                                  << "target: target 12 %";
    QTest::newRow("no rule") << "none"
                             << "none";
}

void TstLotCheck::summaries() {
    QFETCH(QString, spec);
    QFETCH(QString, summary);
    QCOMPARE(lotSpecSummary(::spec(spec), LotTexts()), loc(summary));
    // The ready-made one reads as it is known.
    QCOMPARE(lotSpecSummary(shippingDrySpec(LotTexts().ShippingDryName), LotTexts()),
             QStringLiteral("Shipping dry: 97 % at or below 24 %"));
}

void TstLotCheck::languageFileTextsReplaceTheDefaults() {
    // Placeholders in another order, one left out, an empty text, and a name that looks like
    // a placeholder and like markup: the name is put in once, as it is.
    const IniProfile lang(QByteArray("[lotcheck]\n"
                                     "ShareAtMostFailed=%4 %: %1/%2 (%3 %), vaaditaan %5 %\n"
                                     "LineNotMet=%2 <- %1\n"
                                     "LineMeets=hyv\xC3\xA4ksytty\n"
                                     "NoteJoiner=\n"
                                     "NotNumbers=[%1]\n"));
    const LotTexts t = readLotTexts(lang);
    QCOMPARE(t.LineNoReadings, LotTexts().LineNoReadings);
    LotSpec s = spec("dry");
    s.name = QStringLiteral("%2 <b>x</b> %1");
    const LotResult failed = checkReadings(s, cells("29*20.0 E"));
    QCOMPARE(lotResultLine(s, failed, t),
             loc("24.0 %: 29/30 (96.7 %), vaaditaan 97 % <- %2 <b>x</b> %1[Data30]"));
    const LotResult met = checkReadings(s, cells("20.0"));
    QCOMPARE(lotResultLine(s, met, t), QStringLiteral("hyv\u00E4ksytty"));
}

// The Finnish texts for the language file: every text keeps the placeholders of its English
// default (a lost "%3" would drop a figure from the line), and Suomi.lng, once it has the
// section, holds the same texts.
void TstLotCheck::finnishTextsKeepEveryPlaceholder() {
    QFile f(QStringLiteral(KELOTARI_SOURCE_DIR "/tests/lot/Suomi-LotCheck.lng"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const IniProfile finnish(f.readAll());
    QFile shipped(QStringLiteral(KELOTARI_SOURCE_DIR "/lang/Suomi.lng"));
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    const IniProfile suomi(shipped.readAll());
    auto placeholders = [](const QString& text) {
        QSet<QString> found;
        for (const auto& m : QRegularExpression(QStringLiteral("%[1-9]")).globalMatch(text))
            found.insert(m.captured());
        return found;
    };
    const QList<std::pair<QString, QString>> en = lotTextEntries(LotTexts());
    const QList<std::pair<QString, QString>> fi = lotTextEntries(readLotTexts(finnish));
    QCOMPARE(fi.size(), en.size());
    for (int i = 0; i < en.size(); ++i) {
        const QString& key = en[i].first;
        QVERIFY2(finnish.contains(QStringLiteral("LotCheck"), key), qPrintable(key));
        const bool mayStay = key == "Summary" || key.endsWith(QLatin1String("Joiner"));
        QVERIFY2(fi[i].second != en[i].second || mayStay, qPrintable(key));
        QCOMPARE(placeholders(fi[i].second), placeholders(en[i].second));
        if (suomi.contains(QStringLiteral("LotCheck"), key))
            QCOMPARE(suomi.readString(QStringLiteral("LotCheck"), key, QString()), fi[i].second);
    }
    // How they read together.
    const LotTexts t = readLotTexts(finnish);
    const QLocale fiLocale(QLocale::Finnish, QLocale::Finland);
    const LotSpec s = shippingDrySpec(t.ShippingDryName);
    QCOMPARE(lotSpecSummary(s, t, fiLocale),
             QStringLiteral("Toimituskuiva: 97 % enint\u00E4\u00E4n 24 %"));
    QCOMPARE(
        lotResultLine(s, checkReadings(s, cells("28*20.0 24.1 E")), t, fiLocale),
        QStringLiteral("Toimituskuiva: ei t\u00E4yty, 28/30 lukemaa (93,3 %) enint\u00E4\u00E4n "
                       "24,0 %, vaaditaan 97 %; ei luku: Data30"));
}

QTEST_GUILESS_MAIN(TstLotCheck)
#include "tst_lot_check.moc"
