#include "RecordingCanvas.h"
#include "print/PacketReports.h"
#include "text/Codec.h"

#include <QtTest>

using namespace kelotari;

namespace {

// Headings as the language step leaves them; the temperature heading comes from a Finnish
// language file, so the reports must take the headings from the table.
PacketTable tableWithHeadings() {
    PacketTable t;
    const QStringList headings = {
        QStringLiteral("Packet"), QStringLiteral("Samples"),   QStringLiteral("Date"),
        QStringLiteral("Time"),   QStringLiteral("Wood type"), QStringLiteral("Lämpö"),
        QStringLiteral("Lowest"), QStringLiteral("Highest"),   QStringLiteral("AVG"),
        QStringLiteral("s"),      QStringLiteral("Comment")};
    for (int c = 0; c < headings.size(); ++c)
        t.setHeading(c, headings[c]);
    return t;
}

// Packet `row` gets cells that name their column, e.g. "c6r2"; the wood type carries a
// Windows-1252 letter.
void fillPacket(PacketTable& t, int row) {
    for (int c = 0; c < kCommentCol; ++c)
        t.setCell(c, row, "c" + QByteArray::number(c) + "r" + QByteArray::number(row));
    t.setCell(4, row, QByteArray("M\xE4nty ") + QByteArray::number(row));
    t.setCell(kCommentCol, row, "not printed");
}

QString cellText(const PacketTable& t, int col, int row) {
    return fromCp1252(t.cell(col, row));
}

using Texts = QList<std::tuple<int, int, QString>>;

Texts textsOf(const RecordingCanvas& canvas) {
    Texts out;
    for (const auto& op : canvas.texts())
        out << std::make_tuple(op.x, op.y, op.text);
    return out;
}

} // namespace

class TstLayouts : public QObject {
    Q_OBJECT
private slots:
    void selectedPacketPage_data();
    void selectedPacketPage();
    void selectedEmptyRowPrintsHeadingsAndEmptyChart();
    void packetListColumns();
    void packetListWithoutFileNameKeepsTheHeadingsWhereTheyAre();
    void packetListPageBreaks_data();
    void packetListPageBreaks();
    void canvasFailureEndsTheReport_data();
    void canvasFailureEndsTheReport();
};

void TstLayouts::selectedPacketPage_data() {
    QTest::addColumn<int>("W");
    QTest::addColumn<int>("H");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("x2");
    QTest::addColumn<QRect>("chart");
    QTest::newRow("even page") << 4800 << 6600 << 97 << 2500 << QRect(200, 1650, 4500, 1650);
    // Integer divisions: (4961 - 200) / 2 = 2380, 7015 / 4 = 1753, 7015 / 2 = 3507.
    QTest::newRow("odd page") << 4961 << 7015 << 83 << 2580 << QRect(200, 1753, 4661, 1754);
}

void TstLayouts::selectedPacketPage() {
    QFETCH(int, W);
    QFETCH(int, H);
    QFETCH(int, h);
    QFETCH(int, x2);
    QFETCH(QRect, chart);
    PacketTable t = tableWithHeadings();
    fillPacket(t, 2);
    fillPacket(t, 3);
    t.setCell(11, 3, "12.5");
    t.setCell(12, 3, "12.9");
    t.setCell(13, 3, "13.1");
    t.setCell(11, 2, "20.0"); // another row's readings stay off this page

    RecordingCanvas canvas(W, H, h);
    QVERIFY(printSelectedPacket(canvas, t, 3));

    QCOMPARE(canvas.measured, QStringList{QStringLiteral("\u00D6g")});
    QCOMPARE(canvas.kinds(), QStringList({"begin", "text", "text", "text", "text", "text", "text",
                                          "text", "text", "text", "text", "chart", "end"}));
    const int x1 = 200, y = 100;
    Texts expected = {
        {x1, y, "Packet: c0r3"},
        {x1, y + h, "Samples: c1r3"},
        {x1, y + 2 * h, QStringLiteral("Wood type: Mänty 3")},
        {x1, y + 3 * h, "Lowest: c6r3"},
        {x1, y + 4 * h, "Highest: c7r3"},
        {x2, y, "Date: c2r3"},
        {x2, y + h, "Time: c3r3"},
        {x2, y + 2 * h, QStringLiteral("Lämpö: c5r3")},
        {x2, y + 3 * h, "AVG: c8r3"},
        {x2, y + 4 * h, "s: c9r3"},
    };
    Texts actual = textsOf(canvas);
    std::sort(expected.begin(), expected.end());
    std::sort(actual.begin(), actual.end());
    QCOMPARE(actual, expected);

    const RecordingCanvas::Op& chartOp = canvas.ops[11];
    QCOMPARE(chartOp.rect, chart);
    Histogram own;
    own.counts[12] = 2;
    own.counts[13] = 1;
    own.highest = 2;
    QCOMPARE(chartOp.bars, own);
}

void TstLayouts::selectedEmptyRowPrintsHeadingsAndEmptyChart() {
    PacketTable t = tableWithHeadings();
    fillPacket(t, 1);
    t.setCell(11, 1, "15.0");
    RecordingCanvas canvas(4800, 6600, 90);
    QVERIFY(printSelectedPacket(canvas, t, 9));
    QStringList texts;
    for (const auto& op : canvas.texts())
        texts << op.text;
    texts.sort();
    QCOMPARE(texts, QStringList({"AVG: ", "Date: ", "Highest: ", "Lowest: ", "Lämpö: ", "Packet: ",
                                 "Samples: ", "Time: ", "Wood type: ", "s: "}));
    QCOMPARE(canvas.ops[11].bars, Histogram());
}

void TstLayouts::packetListColumns() {
    PacketTable t = tableWithHeadings();
    for (int r = 1; r <= 3; ++r)
        fillPacket(t, r);
    fillPacket(t, 4); // beyond PacketCount: not listed
    const int h = 100;
    RecordingCanvas canvas(4900, 6600, h); // step (4900 - 100) / 8 = 600
    const QString file = QStringLiteral("/home/saha/mittaukset/050324.DAT");
    QVERIFY(printPacketList(canvas, t, 3, file));

    QCOMPARE(canvas.measured, QStringList{QStringLiteral("\u00D6g")});
    const QList<int> xs = {200, 800, 1400, 2000, 2600, 3200, 3800, 4400};
    Texts expected = {{200, 200, file}};
    const QStringList headings = {
        "Packet", "Samples", "Lowest", "Highest", "Wood type", QStringLiteral("Lämpö"), "AVG", "s"};
    for (int i = 0; i < 8; ++i)
        expected << std::make_tuple(xs[i], 400, headings[i]);
    const QList<int> columns = {1, 6, 7, 4, 5, 8, 9};
    for (int r = 1; r <= 3; ++r) {
        const int y = 400 + r * h;
        expected << std::make_tuple(200, y, QString::number(r) + ".  " + cellText(t, 0, r));
        for (int i = 0; i < columns.size(); ++i)
            expected << std::make_tuple(xs[i + 1], y, cellText(t, columns[i], r));
    }
    QCOMPARE(textsOf(canvas), expected);
    QCOMPARE(canvas.kinds().first(), QStringLiteral("begin"));
    QCOMPARE(canvas.kinds().last(), QStringLiteral("end"));
    QVERIFY(!canvas.kinds().contains(QStringLiteral("newPage")));
}

void TstLayouts::packetListWithoutFileNameKeepsTheHeadingsWhereTheyAre() {
    PacketTable t = tableWithHeadings();
    fillPacket(t, 1);
    RecordingCanvas canvas(4900, 6600, 95);
    QVERIFY(printPacketList(canvas, t, 1, QString()));
    const auto texts = canvas.texts();
    QCOMPARE(texts.first().text, QStringLiteral("Packet"));
    QCOMPARE(texts.first().y, 200 + 2 * 95);
    for (const auto& op : texts)
        QVERIFY(op.y > 200);
}

void TstLayouts::packetListPageBreaks_data() {
    QTest::addColumn<int>("H");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("rowsPerPage");
    // H 1000, h 100: limit 800. Page 1: rows at 500..800; the row at 800 advances y to 900 and
    // the page ends after it. Later pages: rows at 200..800, seven each.
    QTest::newRow("three rows fit") << 1000 << 100 << 3 << QList<int>{3};
    // After row 3, y is 800, equal to the limit: no break yet. Row 4 passes it but is the
    // last one, so no blank page follows.
    QTest::newRow("limit reached, last row passes it") << 1000 << 100 << 4 << QList<int>{4};
    QTest::newRow("fifth row on page two") << 1000 << 100 << 5 << QList<int>{4, 1};
    QTest::newRow("second page full") << 1000 << 100 << 11 << QList<int>{4, 7};
    QTest::newRow("three pages") << 1000 << 100 << 12 << QList<int>{4, 7, 1};
    QTest::newRow("full table") << 1000 << 100 << 49 << QList<int>{4, 7, 7, 7, 7, 7, 7, 3};
    // H 1013, h 97: limit 813; rows at 491, 588, 685, 782, the last one ends past the limit.
    QTest::newRow("uneven line height") << 1013 << 97 << 13 << QList<int>{4, 7, 2};
}

void TstLayouts::packetListPageBreaks() {
    QFETCH(int, H);
    QFETCH(int, h);
    QFETCH(int, count);
    QFETCH(QList<int>, rowsPerPage);
    PacketTable t = tableWithHeadings();
    for (int r = 1; r <= count; ++r)
        fillPacket(t, r);
    RecordingCanvas canvas(900, H, h);
    QVERIFY(printPacketList(canvas, t, count, QStringLiteral("x.DAT")));

    QCOMPARE(canvas.kinds().count(QStringLiteral("newPage")), rowsPerPage.size() - 1);
    QCOMPARE(canvas.kinds().last(), QStringLiteral("end"));
    // The first column of each row: "n.  packet", in order, page by page.
    int row = 0;
    for (int page = 0; page < rowsPerPage.size(); ++page) {
        QList<RecordingCanvas::Op> firstColumn;
        for (const auto& op : canvas.texts())
            if (op.page == page && op.x == 200 && op.text.contains(QLatin1String(".  ")))
                firstColumn << op;
        QCOMPARE(firstColumn.size(), rowsPerPage[page]);
        const int top = page == 0 ? 200 + 3 * h : 200;
        for (int i = 0; i < firstColumn.size(); ++i) {
            ++row;
            QCOMPARE(firstColumn[i].text, QString::number(row) + ".  " + cellText(t, 0, row));
            QCOMPARE(firstColumn[i].y, top + i * h);
        }
        if (page > 0) {
            // No file name and no headings after the first page.
            for (const auto& op : canvas.texts())
                if (op.page == page)
                    QVERIFY2(op.text != QLatin1String("Samples") && op.text != "x.DAT",
                             qPrintable(op.text));
        }
    }
    QCOMPARE(row, count);
}

void TstLayouts::canvasFailureEndsTheReport_data() {
    QTest::addColumn<bool>("list");
    QTest::addColumn<QString>("failAt");
    QTest::addColumn<QStringList>("tail"); // the last calls made
    QTest::newRow("selected: begin") << false << "begin" << QStringList{"begin"};
    QTest::newRow("selected: end") << false << "end" << QStringList{"chart", "end", "abort"};
    QTest::newRow("list: begin") << true << "begin" << QStringList{"begin"};
    QTest::newRow("list: new page") << true << "newPage" << QStringList{"text", "newPage", "abort"};
    QTest::newRow("list: end") << true << "end" << QStringList{"text", "end", "abort"};
}

void TstLayouts::canvasFailureEndsTheReport() {
    QFETCH(bool, list);
    QFETCH(QString, failAt);
    QFETCH(QStringList, tail);
    PacketTable t = tableWithHeadings();
    for (int r = 1; r <= 12; ++r)
        fillPacket(t, r);
    RecordingCanvas canvas(900, 1000, 100);
    canvas.failAt = failAt;
    const bool ok = list ? printPacketList(canvas, t, 12, QStringLiteral("x.DAT"))
                         : printSelectedPacket(canvas, t, 1);
    QVERIFY(!ok);
    const QStringList kinds = canvas.kinds();
    QVERIFY(kinds.size() >= tail.size());
    QCOMPARE(kinds.mid(kinds.size() - tail.size()), tail);
    if (failAt == QLatin1String("begin"))
        QCOMPARE(kinds.size(), 1); // nothing drawn on a document that never began
}

QTEST_APPLESS_MAIN(TstLayouts)
#include "tst_layouts.moc"
