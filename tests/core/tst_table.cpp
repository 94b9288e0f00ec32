#include "app/MainState.h"
#include "base/Failure.h"
#include "text/Codec.h"

#include <QtTest>

using namespace kelotari;

namespace {
void fill(MainState& s, int packets) {
    for (int r = 1; r <= packets; ++r)
        for (int c = 0; c < kColumns; ++c)
            s.table.setCell(c, r, QByteArray::number(r) + ":" + QByteArray::number(c));
    s.PacketCount = packets;
}
} // namespace

class TstTable : public QObject {
    Q_OBJECT
private slots:
    void deleteRow_data();
    void deleteRow();
    void clearTableKeepsHeadingsAndCount();
    void readingCountStopsAtGap();
    void lastResortFullStop_data();
    void lastResortFullStop();
    void cp1252RoundTrip();
};

void TstTable::deleteRow_data() {
    QTest::addColumn<int>("packets");
    QTest::addColumn<int>("selRow");
    QTest::addColumn<QList<int>>("rowsAfter"); // former row numbers now in rows 1..n
    QTest::newRow("first of three") << 3 << 1 << QList<int>{2, 3};
    QTest::newRow("middle of three") << 3 << 2 << QList<int>{1, 3};
    QTest::newRow("last of three") << 3 << 3 << QList<int>{1, 2};
    QTest::newRow("nothing selected") << 3 << -1 << QList<int>{1, 2, 3};
    QTest::newRow("empty row below the packets") << 3 << 7 << QList<int>{1, 2, 3};
    QTest::newRow("empty table") << 0 << 1 << QList<int>{};
    QTest::newRow("full table, row 1") << 49 << 1 << [] {
        QList<int> l;
        for (int i = 2; i <= 49; ++i)
            l << i;
        return l;
    }();
}

void TstTable::deleteRow() {
    QFETCH(int, packets);
    QFETCH(int, selRow);
    QFETCH(QList<int>, rowsAfter);
    MainState s;
    fill(s, packets);
    s.SelRow = selRow;
    s.Unsaved = false;
    Delete1Click(s);
    QCOMPARE(s.PacketCount, rowsAfter.size());
    for (int r = 1; r <= rowsAfter.size(); ++r)
        for (int c = 0; c < kColumns; ++c)
            QCOMPARE(s.table.cell(c, r),
                     QByteArray::number(rowsAfter[r - 1]) + ":" + QByteArray::number(c));
    for (int r = rowsAfter.size() + 1; r < kRows; ++r)
        for (int c = 0; c < kColumns; ++c)
            QVERIFY(s.table.cell(c, r).isEmpty());
    QVERIFY(!s.Unsaved);
    if (rowsAfter.size() != packets)
        QCOMPARE(s.SelRow, -1);
    // A second Delete without a new selection does nothing.
    Delete1Click(s);
    QCOMPARE(s.PacketCount, rowsAfter.size());
}

void TstTable::clearTableKeepsHeadingsAndCount() {
    MainState s;
    s.table.setHeading(0, "Packet");
    fill(s, 5);
    int notified = 0;
    s.table.onChanged = [&](int, int) { ++notified; };
    s.table.ClearTable();
    QCOMPARE(s.table.heading(0), QStringLiteral("Packet"));
    QCOMPARE(s.PacketCount, 5);
    for (int r = 1; r < kRows; ++r)
        for (int c = 0; c < kColumns; ++c)
            QVERIFY(s.table.cell(c, r).isEmpty());
    QVERIFY(notified > 0);
}

void TstTable::readingCountStopsAtGap() {
    PacketTable t;
    t.setCell(11, 1, "1");
    t.setCell(12, 1, "2");
    t.setCell(14, 1, "4");
    QCOMPARE(t.readingCount(1), 2);
    for (int c = kFirstReadingCol; c <= kLastCol; ++c)
        t.setCell(c, 2, "x");
    QCOMPARE(t.readingCount(2), 30);
}

void TstTable::lastResortFullStop_data() {
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("letter") << "Unable to write to /a/b.INI"
                            << "Unable to write to /a/b.INI.";
    QTest::newRow("closing parenthesis") << "Unable to open com port (win error code: 2)"
                                         << "Unable to open com port (win error code: 2)";
    QTest::newRow("full stop") << "Done."
                               << "Done.";
    QTest::newRow("digit") << "code 5"
                           << "code 5.";
    QTest::newRow("empty") << ""
                           << "";
}

void TstTable::lastResortFullStop() {
    QFETCH(QString, in);
    QFETCH(QString, out);
    QCOMPARE(lastResortText(in), out);
}

void TstTable::cp1252RoundTrip() {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    QCOMPARE(toCp1252(fromCp1252(all)), all);
    QCOMPARE(fromCp1252("\x80\xe4\xd6"), QString::fromUtf8("€äÖ"));
    QCOMPARE(toCp1252(QString::fromUtf8("ä€Ж")), QByteArray("\xe4\x80?"));
}

QTEST_APPLESS_MAIN(TstTable)
#include "tst_table.moc"
