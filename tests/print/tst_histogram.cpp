#include "packets/Histogram.h"

#include <QtTest>

#include <limits>

using namespace kelotari;

using Counts = QMap<int, int>; // class -> count, classes not listed count 0
Q_DECLARE_METATYPE(std::optional<int>)

class TstHistogram : public QObject {
    Q_OBJECT
private slots:
    void leadingNumber_data();
    void leadingNumber();
    void countsOfRow_data();
    void countsOfRow();
    void rowsOutsideTheTableAreEmpty();
};

void TstHistogram::leadingNumber_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<std::optional<int>>("expected");
    QTest::newRow("decimal reading") << QByteArray("12.7") << std::optional<int>(12);
    QTest::newRow("whole number") << QByteArray("15") << std::optional<int>(15);
    QTest::newRow("comma decimal") << QByteArray("9,9") << std::optional<int>(9);
    QTest::newRow("digits then letters") << QByteArray("12a34") << std::optional<int>(12);
    QTest::newRow("leading zeros") << QByteArray("007.5") << std::optional<int>(7);
    QTest::newRow("many leading zeros stay in range")
        << QByteArray("0000000000000000000012") << std::optional<int>(12);
    QTest::newRow("empty") << QByteArray() << std::optional<int>(0);
    QTest::newRow("leading space") << QByteArray(" 12.5") << std::optional<int>(0);
    QTest::newRow("minus sign") << QByteArray("-12.5") << std::optional<int>(0);
    QTest::newRow("plus sign") << QByteArray("+12.5") << std::optional<int>(0);
    QTest::newRow("no digits") << QByteArray("Err") << std::optional<int>(0);
    QTest::newRow("largest int") << QByteArray("2147483647.9")
                                 << std::optional<int>(std::numeric_limits<int>::max());
    QTest::newRow("one past the largest int") << QByteArray("2147483648") << std::optional<int>();
    QTest::newRow("twenty digits") << QByteArray("99999999999999999999.5") << std::optional<int>();
}

void TstHistogram::leadingNumber() {
    QFETCH(QByteArray, text);
    QFETCH(std::optional<int>, expected);
    QCOMPARE(LeadingNumber(text), expected);
}

void TstHistogram::countsOfRow_data() {
    QTest::addColumn<QList<QByteArray>>("readings"); // columns 11.. of the row; "" is a gap
    QTest::addColumn<Counts>("counts");
    QTest::addColumn<int>("highest");

    QTest::newRow("12.5 12.9 13.1")
        << QList<QByteArray>{"12.5", "12.9", "13.1"} << Counts{{12, 2}, {13, 1}} << 2;
    QTest::newRow("bounds: 5.9 and 28.0 out, 6.0 and 27.9 in")
        << QList<QByteArray>{"5.9", "6.0", "27.9", "28.0"} << Counts{{6, 1}, {27, 1}} << 1;
    QTest::newRow("whole number 15") << QList<QByteArray>{"15"} << Counts{{15, 1}} << 1;
    QTest::newRow("a gap stops the scan")
        << QList<QByteArray>{"10.2", "11.0", "", "11.5", "11.7"} << Counts{{10, 1}, {11, 1}} << 1;
    QTest::newRow("row without readings") << QList<QByteArray>{} << Counts{} << 0;
    QTest::newRow("only readings outside the classes")
        << QList<QByteArray>{"4.2", "30.0", "-7", " 12"} << Counts{} << 0;
    QTest::newRow("huge leading number is in no class, the rest still count")
        << QList<QByteArray>{"12.0", "99999999999999999999.5", "12.4", "2147483648"}
        << Counts{{12, 2}} << 2;
    QTest::newRow("highest is the largest bar, not the last one")
        << QList<QByteArray>{"7.1", "8.0", "8.4", "8.9", "9.0", "9.5"}
        << Counts{{7, 1}, {8, 3}, {9, 2}} << 3;
    QList<QByteArray> full;
    for (int i = 0; i < kMaxReadings; ++i)
        full << QByteArray("20.") + QByteArray::number(i % 10);
    QTest::newRow("thirty readings of one class") << full << Counts{{20, 30}} << 30;
}

void TstHistogram::countsOfRow() {
    QFETCH(QList<QByteArray>, readings);
    QFETCH(Counts, counts);
    QFETCH(int, highest);
    PacketTable table;
    const int row = 4;
    // Neighbouring rows full of readings must not leak into the row counted.
    for (int c = kFirstReadingCol; c <= kLastCol; ++c) {
        table.setCell(c, row - 1, "14.0");
        table.setCell(c, row + 1, "14.0");
    }
    for (int i = 0; i < readings.size(); ++i)
        table.setCell(kFirstReadingCol + i, row, readings[i]);

    const Histogram h = histogramOfRow(table, row);
    for (int k = 0; k < kHistogramPoints; ++k)
        QVERIFY2(h.counts[static_cast<size_t>(k)] == counts.value(k, 0),
                 qPrintable(QStringLiteral("class %1: %2").arg(k).arg(h.counts[size_t(k)])));
    QCOMPARE(h.highest, highest);
}

void TstHistogram::rowsOutsideTheTableAreEmpty() {
    PacketTable table;
    QCOMPARE(histogramOfRow(table, -1), Histogram());
    QCOMPARE(histogramOfRow(table, 0), Histogram());
    QCOMPARE(histogramOfRow(table, kRows), Histogram());
}

QTEST_APPLESS_MAIN(TstHistogram)
#include "tst_histogram.moc"
