// The number texts of the calibration test and certificate, as pure functions.
#include "setup/CalNumbers.h"
#include "setup/CalRecord.h"
#include "setup/CertFile.h"
#include "setup/CertLayout.h"

#include <QtTest>

#include <limits>

using namespace kelotari;

class TstCalNumbers : public QObject {
    Q_OBJECT
private slots:
    void twoDecimalForm_data();
    void twoDecimalForm();
    void deviationThatRoundsToZeroHasNoMinus_data();
    void deviationThatRoundsToZeroHasNoMinus();
    void generalFormOfTheFile_data();
    void generalFormOfTheFile();
    void readingLine_data();
    void readingLine();
    void offsetLine_data();
    void offsetLine();
    void proposedFileNameIsOneTheFileSystemTakes_data();
    void proposedFileNameIsOneTheFileSystemTakes();
};

void TstCalNumbers::twoDecimalForm_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    // Readings arrive as single-precision floats: pass them through one.
    auto f = [](double v) { return static_cast<double>(static_cast<float>(v)); };
    QTest::newRow("25.93 to three digits") << f(25.93) << "25.90";
    QTest::newRow("9.876 to two decimals") << f(9.876) << "9.88";
    QTest::newRow("0.004 is zero") << 0.004 << "0.00";
    QTest::newRow("0.005 rounds away from zero") << 0.005 << "0.01";
    QTest::newRow("zero") << 0.0 << "0.00";
    QTest::newRow("25.9 as a float") << f(25.9) << "25.90";
    QTest::newRow("26.1") << f(26.1) << "26.10";
    QTest::newRow("negative") << -0.2 << "-0.20";
    QTest::newRow("hundreds keep no decimal") << 123.456 << "123.00";
    QTest::newRow("99.96 carries to 100") << 99.96 << "100.00";
    QTest::newRow("9.996 carries to 10") << 9.996 << "10.00";
    QTest::newRow("999.4") << 999.4 << "999.00";
    QTest::newRow("999.996 reaches 1000: exponent") << 999.996 << "1E+03";
    QTest::newRow("NotMeasured") << double(NotMeasured) << "1E+05";
    QTest::newRow("1234.5") << 1234.5 << "1.23E+03";
    QTest::newRow("negative thousands") << -25900.0 << "-2.59E+04";
    QTest::newRow("huge") << 3.0e38 << "3E+38";
    QTest::newRow("tiny negative") << -1e-30 << "0.00";
}

void TstCalNumbers::twoDecimalForm() {
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(kelotari::twoDecimalForm(value), text);
}

void TstCalNumbers::deviationThatRoundsToZeroHasNoMinus_data() {
    QTest::addColumn<float>("reading");
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("text");
    QTest::newRow("25.9 is a hair below the reference") << 25.9f << 4 << "0.00";
    QTest::newRow("19.8") << 19.8f << 5 << "0.00";
    QTest::newRow("16.1") << 16.1f << 6 << "0.00";
    QTest::newRow("10.8") << 10.8f << 7 << "0.00";
    QTest::newRow("26.1 gives 0.20") << 26.1f << 4 << "0.20";
    QTest::newRow("19.7 gives -0.10") << 19.7f << 5 << "-0.10";
    QTest::newRow("10.796 gives -0.00 rounded, shown 0.00") << 10.796f << 7 << "0.00";
    QTest::newRow("NotMeasured") << NotMeasured << 6 << "1E+05";
}

void TstCalNumbers::deviationThatRoundsToZeroHasNoMinus() {
    QFETCH(float, reading);
    QFETCH(int, slot);
    QFETCH(QString, text);
    QCOMPARE(kelotari::twoDecimalForm(certDeviation(reading, slot)), text);
}

void TstCalNumbers::generalFormOfTheFile_data() {
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("an offset") << -12.0f << "-12";
    QTest::newRow("NotMeasured") << NotMeasured << "100000";
    QTest::newRow("25.93 shows its float") << 25.93f << "25.9300003051758";
    QTest::newRow("25.9") << 25.9f << "25.8999996185303";
    QTest::newRow("a half") << 0.5f << "0.5";
    QTest::newRow("negative zero") << -0.0f << "0";
    QTest::newRow("small: exponent") << 1e-7f << "1.0000000116861E-7";
    QTest::newRow("0.0001 stays fixed") << 0.0001f << "0.0000999999974737875";
    QTest::newRow("large: exponent") << 1e20f << "1.00000002004088E+20";
    QTest::newRow("largest float") << std::numeric_limits<float>::max() << "3.40282346638529E+38";
}

void TstCalNumbers::generalFormOfTheFile() {
    QFETCH(float, value);
    QFETCH(QString, text);
    QCOMPARE(generalForm(value), text);
    // Read back it is the same float, also with a comma as separator.
    QCOMPARE(parseDecimal(text.toLatin1()), std::optional<float>(value == 0 ? 0.0f : value));
    QString comma = generalForm(value, 15, 0, QLatin1Char(','));
    QCOMPARE(comma, QString(text).replace(QLatin1Char('.'), QLatin1Char(',')));
    QCOMPARE(parseDecimal(comma.toLatin1(), ','), std::optional<float>(value == 0 ? 0.0f : value));
}

void TstCalNumbers::readingLine_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<float>("value");
    QTest::newRow("25.93") << QByteArray("25.93") << true << 25.93f;
    QTest::newRow("negative") << QByteArray("-3.5") << true << -3.5f;
    QTest::newRow("plus sign") << QByteArray("+3.5") << true << 3.5f;
    QTest::newRow("exponent") << QByteArray("1e5") << true << 100000.0f;
    QTest::newRow("exponent with sign") << QByteArray("2.5E-1") << true << 0.25f;
    QTest::newRow("blanks around") << QByteArray("  19.8 ") << true << 19.8f;
    QTest::newRow("no fraction digits") << QByteArray("5.") << true << 5.0f;
    QTest::newRow("no whole digits") << QByteArray(".5") << true << 0.5f;
    QTest::newRow("38 digits") << QByteArray(38, '9') << true << 1e38f;
    QTest::newRow("40 digits: beyond a float") << QByteArray(40, '9') << false << 0.0f;
    QTest::newRow("decimal comma") << QByteArray("25,93") << false << 0.0f;
    QTest::newRow("grouping") << QByteArray("1,000") << false << 0.0f;
    QTest::newRow("nan") << QByteArray("nan") << false << 0.0f;
    QTest::newRow("inf") << QByteArray("inf") << false << 0.0f;
    QTest::newRow("empty") << QByteArray() << false << 0.0f;
    QTest::newRow("sign alone") << QByteArray("-") << false << 0.0f;
    QTest::newRow("point alone") << QByteArray(".") << false << 0.0f;
    QTest::newRow("exponent without digits") << QByteArray("1e") << false << 0.0f;
    QTest::newRow("trailing text") << QByteArray("25.9x") << false << 0.0f;
    QTest::newRow("two points") << QByteArray("25.9.1") << false << 0.0f;
    QTest::newRow("beyond a float") << QByteArray("1e39") << false << 0.0f;
    QTest::newRow("just past the largest float rounds to it")
        << QByteArray("3.4028235e38") << true << std::numeric_limits<float>::max();
    QTest::newRow("past the largest float by half a step")
        << QByteArray("3.40282357e38") << false << 0.0f;
    QTest::newRow("beyond a double") << QByteArray("1e999") << false << 0.0f;
    QTest::newRow("time-out marker") << QByteArray("\xB0") << false << 0.0f;
    QTest::newRow("hex") << QByteArray("0x1A") << false << 0.0f;
}

void TstCalNumbers::readingLine() {
    QFETCH(QByteArray, line);
    QFETCH(bool, converts);
    QFETCH(float, value);
    const std::optional<float> got = parseDecimal(line);
    QCOMPARE(got.has_value(), converts);
    if (converts)
        QCOMPARE(*got, value);
}

void TstCalNumbers::offsetLine_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<int>("value");
    QTest::newRow("12") << QByteArray("12") << true << 12;
    QTest::newRow("-8") << QByteArray("-8") << true << -8;
    QTest::newRow("blanks") << QByteArray(" 7 ") << true << 7;
    QTest::newRow("largest") << QByteArray("2147483647") << true << 2147483647;
    QTest::newRow("smallest") << QByteArray("-2147483648") << true << int(-2147483647 - 1);
    QTest::newRow("one past") << QByteArray("2147483648") << false << 0;
    QTest::newRow("40 digits") << QByteArray(40, '1') << false << 0;
    QTest::newRow("fraction") << QByteArray("1.5") << false << 0;
    QTest::newRow("text") << QByteArray("abc") << false << 0;
    QTest::newRow("empty") << QByteArray() << false << 0;
    QTest::newRow("lone CR result") << QByteArray("\r") << false << 0;
}

void TstCalNumbers::offsetLine() {
    QFETCH(QByteArray, line);
    QFETCH(bool, converts);
    QFETCH(int, value);
    const std::optional<qint32> got = parseInt32(line);
    QCOMPARE(got.has_value(), converts);
    if (converts)
        QCOMPARE(*got, value);
}

void TstCalNumbers::proposedFileNameIsOneTheFileSystemTakes_data() {
    QTest::addColumn<QByteArray>("number");
    QTest::addColumn<QString>("name");
    QTest::newRow("a serial number") << QByteArray("97-0412") << "/data/97-0412.cal";
    QTest::newRow("time-out marker") << QByteArray("\xB0") << "/data/_.cal";
    QTest::newRow("slash and colon") << QByteArray("a/b:c") << "/data/a_b_c.cal";
    QTest::newRow("empty") << QByteArray() << "/data/_.cal";
    QTest::newRow("dots only") << QByteArray("..") << "/data/_.cal";
    QTest::newRow("long") << QByteArray(300, 'x')
                          << "/data/" + QString(64, QLatin1Char('x')) + ".cal";
    QTest::newRow("Windows-1252 letter") << QByteArray("M\xE4nty") << "/data/M\u00E4nty.cal";
}

void TstCalNumbers::proposedFileNameIsOneTheFileSystemTakes() {
    QFETCH(QByteArray, number);
    QFETCH(QString, name);
    QCOMPARE(proposedCertFileName(QStringLiteral("/data/"), number), name);
}

QTEST_APPLESS_MAIN(TstCalNumbers)
#include "tst_cal_numbers.moc"
