#include "LocaleRun.h"
#include "lot/LotSpecInput.h"

#include <QtTest>

using namespace kelotari;

namespace {

// A specification in short: "name|target|deviation|lower|upper|share" in tenths, "-" for
// a value not given.
QString summary(const LotSpec& s) {
    auto v = [](const std::optional<int>& x) { return x ? QString::number(*x) : QString("-"); };
    return QStringList{s.name, v(s.target), v(s.deviation), v(s.lower), v(s.upper), v(s.share)}
        .join(QLatin1Char('|'));
}

QString fieldName(LotField f) {
    switch (f) {
    case LotField::Name:
        return "name";
    case LotField::Target:
        return "target";
    case LotField::Deviation:
        return "deviation";
    case LotField::Lower:
        return "lower";
    case LotField::Upper:
        return "upper";
    case LotField::Share:
        return "share";
    }
    return QString();
}

} // namespace

class TstLotInput : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { checkLocaleOfTheRun(); }
    void inputRules_data();
    void inputRules();
    void fieldsOfASpecificationReadBackToIt_data();
    void fieldsOfASpecificationReadBackToIt();
};

void TstLotInput::inputRules_data() {
    QTest::addColumn<QStringList>("fields"); // name, target, deviation, lower, upper, share
    QTest::addColumn<QStringList>("otherNames");
    QTest::addColumn<QString>("spec");         // summary of the accepted one, "" for none
    QTest::addColumn<QStringList>("messages"); // "field: text"

    const QString notNumber = ": type a number from 0 to 100 with at most one decimal.";
    const QString outOfRange = ": type a number from 0 to 100.";
    const QString target = "Target moisture (%)", upper = "Upper limit of a reading (%)";
    const QString lower = "Lower limit of a reading (%)";
    const QString share = "Required share within the limits (%)";
    const QString deviation = "Allowed deviation of the mean (\u00B1 %)";
    const QString long500(500, QChar(0x00E4)), long501(501, QLatin1Char('x'));

    QTest::newRow("ready-made") << QStringList{"Shipping dry", "", "", "", "24", "97"}
                                << QStringList{} << "Shipping dry|-|-|-|240|970" << QStringList{};
    QTest::newRow("every field, either decimal mark, a % sign")
        << QStringList{"Kiln 12", "12", "1,5", "10.0", "14", "90 %"} << QStringList{}
        << "Kiln 12|120|15|100|140|900" << QStringList{};
    QTest::newRow("blanks around values and name")
        << QStringList{"  Kiln  ", " 12.5 ", "\t0,5", "", " 24%", "97"} << QStringList{}
        << "Kiln|125|5|-|240|970" << QStringList{};
    QTest::newRow("lower equal to upper, 0 and 100")
        << QStringList{"Exact", "0", "100", "12", "12", "100"} << QStringList{}
        << "Exact|0|1000|120|120|1000" << QStringList{};
    QTest::newRow("share 0 %") << QStringList{"Any", "", "", "0", "100", "0"} << QStringList{}
                               << "Any|-|-|0|1000|0" << QStringList{};
    QTest::newRow("a target alone") << QStringList{"Target", "12", "", "", "", ""} << QStringList{}
                                    << "Target|120|-|-|-|-" << QStringList{};
    QTest::newRow("a name alone") << QStringList{"Nothing", "", "", "", "", ""} << QStringList{}
                                  << "Nothing|-|-|-|-|-" << QStringList{};
    QTest::newRow("name of 500 characters")
        << QStringList{long500, "", "", "", "24", "97"} << QStringList{}
        << long500 + "|-|-|-|240|970" << QStringList{};
    QTest::newRow("markup and separators in the name are a name")
        << QStringList{"<b>a=b; [c] \"d\"</b>", "", "", "", "24", "97"} << QStringList{}
        << "<b>a=b; [c] \"d\"</b>|-|-|-|240|970" << QStringList{};
    QTest::newRow("another name") << QStringList{"Kiln", "", "", "", "24", "97"}
                                  << QStringList{"Kiln 2", "Kilns"} << "Kiln|-|-|-|240|970"
                                  << QStringList{};

    QTest::newRow("blank name") << QStringList{"  ", "", "", "", "24", "97"} << QStringList{} << ""
                                << QStringList{"name: Give this lot specification a name."};
    QTest::newRow("name of 501 characters")
        << QStringList{long501, "", "", "", "24", "97"} << QStringList{} << ""
        << QStringList{"name: The name is longer than 500 characters."};
    QTest::newRow("name taken, whatever the case")
        << QStringList{"kiln ", "", "", "", "24", "97"} << QStringList{"Other", " KILN"} << ""
        << QStringList{"name: Another specification has this name."};
    QTest::newRow("letters") << QStringList{"a", "abc", "", "", "", ""} << QStringList{} << ""
                             << QStringList{"target: " + target + notNumber};
    QTest::newRow("two decimals") << QStringList{"a", "", "", "", "24.55", "97"} << QStringList{}
                                  << "" << QStringList{"upper: " + upper + notNumber};
    QTest::newRow("mark without a decimal")
        << QStringList{"a", "", "", "", "24.", "97"} << QStringList{} << ""
        << QStringList{"upper: " + upper + notNumber};
    QTest::newRow("no whole part") << QStringList{"a", "", "", ",5", "", "97"} << QStringList{}
                                   << "" << QStringList{"lower: " + lower + notNumber};
    QTest::newRow("sign") << QStringList{"a", "", "", "-1", "", "97"} << QStringList{} << ""
                          << QStringList{"lower: " + lower + notNumber};
    QTest::newRow("exponent") << QStringList{"a", "", "", "", "1e2", "97"} << QStringList{} << ""
                              << QStringList{"upper: " + upper + notNumber};
    QTest::newRow("group separator") << QStringList{"a", "", "", "", "24", "1 00"} << QStringList{}
                                     << "" << QStringList{"share: " + share + notNumber};
    QTest::newRow("both marks") << QStringList{"a", "", "", "", "2.4,0", "97"} << QStringList{}
                                << "" << QStringList{"upper: " + upper + notNumber};
    QTest::newRow("digits of another script")
        << QStringList{"a", "", "", "", "\u0662\u0664", "97"} << QStringList{} << ""
        << QStringList{"upper: " + upper + notNumber};
    QTest::newRow("above 100") << QStringList{"a", "", "", "", "100.1", "97"} << QStringList{} << ""
                               << QStringList{"upper: " + upper + outOfRange};
    QTest::newRow("far above 100")
        << QStringList{"a", "", "", "", "24", "99999999999"} << QStringList{} << ""
        << QStringList{"share: " + share + outOfRange};
    QTest::newRow("lower above upper")
        << QStringList{"a", "", "", "14.1", "14", "90"} << QStringList{} << ""
        << QStringList{"upper: The lower limit is above the upper limit."};
    QTest::newRow("limit without share")
        << QStringList{"a", "", "", "", "24", " "} << QStringList{} << ""
        << QStringList{"share: Give the share of readings that must be within the limits."};
    QTest::newRow("share without limit")
        << QStringList{"a", "12", "1", "", "", "97"} << QStringList{} << ""
        << QStringList{"share: A required share needs a lower or an upper limit."};
    QTest::newRow("deviation without target")
        << QStringList{"a", "", "1.5", "", "", ""} << QStringList{} << ""
        << QStringList{"deviation: An allowed deviation of the mean needs a target moisture."};
    QTest::newRow("deviation with a target that is not a number")
        << QStringList{"a", "x", "1.5", "", "", ""} << QStringList{} << ""
        << QStringList{"target: " + target + notNumber};
    QTest::newRow("a bad share is one message")
        << QStringList{"a", "", "", "", "24", "x"} << QStringList{} << ""
        << QStringList{"share: " + share + notNumber};
    QTest::newRow("every fault, in the order of the fields")
        << QStringList{"", "x", "200", "20", "10", ""} << QStringList{} << ""
        << QStringList{"name: Give this lot specification a name.", "target: " + target + notNumber,
                       "deviation: " + deviation + outOfRange,
                       "upper: The lower limit is above the upper limit.",
                       "share: Give the share of readings that must be within the limits."};
}

void TstLotInput::inputRules() {
    QFETCH(QStringList, fields);
    QFETCH(QStringList, otherNames);
    QFETCH(QString, spec);
    QFETCH(QStringList, messages);
    const LotSpecInput in{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]};
    const LotInputResult r = checkLotSpecInput(in, LotTexts(), otherNames);
    QStringList got;
    for (const LotInputMessage& m : r.messages)
        got << fieldName(m.field) + ": " + m.text;
    QCOMPARE(got, messages);
    QCOMPARE(r.spec ? summary(*r.spec) : QString(), spec);
    // What the dialog accepts, the settings reader accepts too.
    if (r.spec)
        QVERIFY(!firstFault(*r.spec));
}

// The dialog shows a specification for editing in the user's form; unchanged, it is the same
// specification again.
void TstLotInput::fieldsOfASpecificationReadBackToIt_data() {
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("deviation");
    QTest::addColumn<int>("lower");
    QTest::addColumn<int>("upper");
    QTest::addColumn<int>("share"); // -1: not given
    QTest::newRow("ready-made") << -1 << -1 << -1 << 240 << 970;
    QTest::newRow("decimals everywhere") << 125 << 5 << 101 << 139 << 975;
    QTest::newRow("bounds") << 0 << 1000 << 0 << 1000 << 0;
}

void TstLotInput::fieldsOfASpecificationReadBackToIt() {
    auto opt = [](int v) { return v < 0 ? std::nullopt : std::optional<int>(v); };
    LotSpec s;
    s.name = "Kiln";
    QFETCH(int, target);
    QFETCH(int, deviation);
    QFETCH(int, lower);
    QFETCH(int, upper);
    QFETCH(int, share);
    s.target = opt(target);
    s.deviation = opt(deviation);
    s.lower = opt(lower);
    s.upper = opt(upper);
    s.share = opt(share);
    const LotSpecInput in = lotSpecFields(s);
    if (s.target && *s.target % 10 != 0)
        QVERIFY(in.target.contains(QLocale::system().decimalPoint()));
    const LotInputResult r = checkLotSpecInput(in, LotTexts());
    QVERIFY(r.messages.isEmpty());
    QCOMPARE(r.spec, std::optional<LotSpec>(s));
}

QTEST_GUILESS_MAIN(TstLotInput)
#include "tst_lot_input.moc"
