#include "ChartPixels.h"
#include "HistogramChart.h"
#include "PacketGrid.h"
#include "QtPageCanvas.h"
#include "ScriptedDialogs.h"
#include "main_frm.h"
#include "print/PacketReports.h"

#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

using namespace kelotari;

using Counts = QMap<int, int>;

namespace {

Histogram histogramOf(const Counts& counts) {
    Histogram h;
    for (auto it = counts.begin(); it != counts.end(); ++it) {
        h.counts[static_cast<size_t>(it.key())] = it.value();
        h.highest = std::max(h.highest, it.value());
    }
    return h;
}

// Text without antialiasing, so no glyph edge can pass for a silver bar.
QFont crispFont(int pixelSize = 13) {
    QFont f = QApplication::font();
    f.setPixelSize(pixelSize);
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

QImage renderChart(const Histogram& bars, QSize size) {
    HistogramChart chart;
    chart.setFont(crispFont());
    chart.resize(size);
    chart.setBars(bars);
    return chart.grab().toImage();
}

// The bars of a rendered chart must stand for the counts: one per counted class in class
// order, equally wide, half a class wide, and as high as their count relative to the highest.
void checkBars(const QList<FoundBar>& found, const Counts& counts) {
    QCOMPARE(found.size(), counts.size());
    if (found.isEmpty())
        return;
    const QList<int> classes = counts.keys();
    const int highest = *std::max_element(counts.begin(), counts.end());
    int tallest = 0;
    for (const FoundBar& b : found)
        tallest = std::max(tallest, b.height());
    QVERIFY(tallest > 20);
    for (int i = 0; i < found.size(); ++i) {
        const double expected = double(counts[classes[i]]) * tallest / highest;
        QVERIFY2(std::abs(found[i].height() - expected) <= 1.0,
                 qPrintable(QStringLiteral("class %1: %2 px, expected %3")
                                .arg(classes[i])
                                .arg(found[i].height())
                                .arg(expected)));
        QVERIFY(std::abs(found[i].width() - found[0].width()) <= 1);
    }
    if (found.size() >= 2) {
        const double slot =
            (found.last().centre() - found.first().centre()) / (classes.last() - classes.first());
        QVERIFY2(std::abs(found[0].width() - slot / 2) <= 1.5,
                 qPrintable(
                     QStringLiteral("width %1, class spacing %2").arg(found[0].width()).arg(slot)));
        for (int i = 0; i < found.size(); ++i)
            QVERIFY(std::abs(found[i].centre() - found.first().centre() -
                             (classes[i] - classes.first()) * slot) <= 1.0);
    }
}

} // namespace

class TstChart : public QObject {
    Q_OBJECT
private slots:
    void barHeightsFollowCounts_data();
    void barHeightsFollowCounts();
    void firstAndLastClassAreDrawnWhole();
    void chartFollowsTheWindowSize();
    void selectingACellRedrawsTheChart();
    void reportPageHasTheChartInItsRectangle();
    void classLabelsAreThinnedOnlyWhenTheyWouldTouch_data();
    void classLabelsAreThinnedOnlyWhenTheyWouldTouch();
};

void TstChart::barHeightsFollowCounts_data() {
    QTest::addColumn<Counts>("counts");
    QTest::addColumn<QSize>("size");
    QTest::newRow("12.5 12.9 13.1") << Counts{{12, 2}, {13, 1}} << QSize(400, 200);
    QTest::newRow("spread") << Counts{{7, 1}, {10, 5}, {11, 3}, {16, 4}, {24, 2}}
                            << QSize(400, 200);
    QTest::newRow("thirty in one class") << Counts{{19, 30}, {20, 1}, {21, 15}} << QSize(420, 260);
    QTest::newRow("nothing counted") << Counts{} << QSize(400, 200);
    QTest::newRow("narrow chart") << Counts{{9, 4}, {10, 2}} << QSize(260, 140);
}

void TstChart::barHeightsFollowCounts() {
    QFETCH(Counts, counts);
    QFETCH(QSize, size);
    const QImage img = renderChart(histogramOf(counts), size);
    QCOMPARE(img.size(), size);
    checkBars(findBars(img), counts);
    // White background with black axes and labels.
    QVERIFY(countPixels(img, img.rect(), [](QRgb c) { return c == qRgb(255, 255, 255); }) >
            size.width() * size.height() / 2);
    QVERIFY(countPixels(img, img.rect(), [](QRgb c) { return isGrey(c, 0, 0); }) > 100);
}

void TstChart::firstAndLastClassAreDrawnWhole() {
    const QImage img = renderChart(histogramOf({{6, 1}, {27, 1}}), QSize(400, 200));
    const QList<FoundBar> bars = findBars(img);
    QCOMPARE(bars.size(), 2);
    QCOMPARE(bars[0].width(), bars[1].width());
    QCOMPARE(bars[0].height(), bars[1].height());
    QVERIFY(bars[1].right < img.width() - 1);
    // Class 5 has a place on the axis left of class 6 (it is never counted).
    QVERIFY(bars[0].left > (bars[1].centre() - bars[0].centre()) / 21.0);
}

void TstChart::chartFollowsTheWindowSize() {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    TMainFrm frm({dir.filePath("k.INI"), dir.filePath("DefLang.lng"), &dialogs, 1000});
    frm.chart()->setFont(crispFont());
    PacketTable& t = frm.state().table;
    t.setCell(11, 1, "8.2");
    t.setCell(12, 1, "20.1");
    t.setCell(13, 1, "20.7");
    frm.state().PacketCount = 1;
    frm.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frm));
    frm.UpdateHistogram(1);

    auto spacing = [&] {
        const QList<FoundBar> bars = findBars(frm.chart()->grab().toImage());
        return bars.size() == 2 ? bars[1].centre() - bars[0].centre() : -1.0;
    };
    const int narrow = frm.chart()->width();
    const double before = spacing();
    QVERIFY(before > 0);
    frm.resize(1100, 600);
    QTRY_VERIFY(frm.chart()->width() > narrow + 300);
    const double after = spacing();
    const double ratio = after / before;
    const double widthRatio = double(frm.chart()->width()) / narrow;
    QVERIFY2(std::abs(ratio - widthRatio) < 0.1 * widthRatio,
             qPrintable(QStringLiteral("bars %1 -> %2, chart %3 -> %4")
                            .arg(before)
                            .arg(after)
                            .arg(narrow)
                            .arg(frm.chart()->width())));
}

void TstChart::selectingACellRedrawsTheChart() {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    TMainFrm frm({dir.filePath("k.INI"), dir.filePath("DefLang.lng"), &dialogs, 1000});
    frm.chart()->setFont(crispFont());
    PacketTable& t = frm.state().table;
    for (int r = 1; r <= 2; ++r)
        t.setCell(0, r, QByteArray::number(r));
    t.setCell(11, 1, "12.5");
    t.setCell(12, 1, "12.9");
    t.setCell(11, 2, "18.0");
    frm.state().PacketCount = 2;
    frm.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frm));
    PacketGrid* grid = frm.grid();
    auto click = [&](int col, int row) {
        const QModelIndex index = grid->model()->index(row - 1, col);
        grid->scrollTo(index);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
    };
    const Histogram row1 = histogramOf({{12, 2}});
    const Histogram row2 = histogramOf({{18, 1}});

    click(3, 1);
    QCOMPARE(frm.chart()->bars(), row1);
    QCOMPARE(findBars(frm.chart()->grab().toImage()).size(), 1);
    click(kCommentCol, 2); // a comment cell leaves the chart as it was
    QCOMPARE(frm.state().SelRow, 2);
    QCOMPARE(frm.chart()->bars(), row1);
    click(0, 2);
    QCOMPARE(frm.chart()->bars(), row2);
    // Loading or clearing the table does not touch the chart; the next selection does.
    t.ClearTable();
    QCOMPARE(frm.chart()->bars(), row2);
    click(0, 2);
    QCOMPARE(frm.chart()->bars(), Histogram());
    QVERIFY(findBars(frm.chart()->grab().toImage()).isEmpty());
}

void TstChart::reportPageHasTheChartInItsRectangle() {
    // A page as a printer would give it, at a lower resolution to keep the image small.
    QImage page(1240, 1754, QImage::Format_RGB32);
    page.setDotsPerMeterX(5906); // 150 dpi
    page.setDotsPerMeterY(5906);
    page.fill(Qt::white);
    PacketTable t;
    t.setHeading(0, QStringLiteral("Packet"));
    t.setCell(0, 1, "7");
    const QList<QByteArray> readings = {"11.1", "11.9", "12.0", "12.2", "12.4", "13.0", "15.5"};
    for (int i = 0; i < readings.size(); ++i)
        t.setCell(kFirstReadingCol + i, 1, readings[i]);
    QFont font = crispFont();
    font.setPointSize(10);
    QtPageCanvas canvas(page, font);
    QVERIFY(printSelectedPacket(canvas, t, 1));

    const QRect rect = selectedPacketChartRect(page.width(), page.height());
    const QList<FoundBar> bars = findBars(page);
    QCOMPARE(bars.size(), 4); // classes 11, 12, 13, 15
    for (const FoundBar& b : bars)
        QVERIFY(rect.contains(QRect(b.left, b.top, b.width(), b.height())));
    checkBars(bars, {{11, 2}, {12, 3}, {13, 1}, {15, 1}});
    // Line widths follow the resolution: at 150 dpi the bar edge is two pixels thick.
    const QImage rgb = page.convertToFormat(QImage::Format_RGB32);
    const int mid = int(bars[0].centre());
    int edge = 0;
    while (isBarEdge(rgb.pixel(mid, bars[0].top + edge)))
        ++edge;
    QCOMPARE(edge, 2);
    // The texts start at y 100: nothing black above them, some in the first line.
    QCOMPARE(
        countPixels(page, QRect(0, 0, page.width(), 100), [](QRgb c) { return isGrey(c, 0, 0); }),
        0);
    QVERIFY(countPixels(page, QRect(200, 100, 400, 40), [](QRgb c) { return isGrey(c, 0, 0); }) >
            20);
    // Outside the chart's rectangle only the texts are drawn: nothing below it.
    QCOMPARE(countPixels(page, QRect(0, rect.bottom() + 1, page.width(), page.height()),
                         [](QRgb c) { return c != qRgb(255, 255, 255); }),
             0);
}

void TstChart::classLabelsAreThinnedOnlyWhenTheyWouldTouch_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<int>("points"); // 0: the screen's 13 px font
    QTest::addColumn<bool>("all");   // every class 5..27 labelled
    // The chart's rectangle on an A4 page at 600 dpi, with report fonts of 10 to 16 pt.
    const QRect page = selectedPacketChartRect(4760, 6800);
    for (int pt : {10, 12, 14, 16})
        QTest::addRow("page, %d pt", pt) << page.size() << 600 << pt << true;
    QTest::newRow("narrow screen chart") << QSize(260, 140) << 96 << 0 << false;
}

// Every class gets its label as long as the labels do not touch; only a chart too narrow for
// them drops some. Found from the pixels: ticks under the bottom axis, ink in the band below.
void TstChart::classLabelsAreThinnedOnlyWhenTheyWouldTouch() {
    QFETCH(QSize, size);
    QFETCH(int, dpi);
    QFETCH(int, points);
    QFETCH(bool, all);
    QImage img(size, QImage::Format_RGB32);
    const int dpm = int(std::lround(dpi / 0.0254));
    img.setDotsPerMeterX(dpm);
    img.setDotsPerMeterY(dpm);
    QFont font = crispFont();
    if (points > 0)
        font.setPointSize(points);
    {
        QPainter p(&img);
        p.setFont(font);
        paintHistogram(p, img.rect(), histogramOf({{12, 2}}));
    }
    auto black = [&](int x, int y) { return qGray(img.pixel(x, y)) < 100; };
    // The bottom axis: the lowest row that is black over more than half the width.
    int axis = -1;
    for (int y = 0; y < img.height(); ++y) {
        int n = 0;
        for (int x = 0; x < img.width(); ++x)
            n += black(x, y);
        if (n > img.width() / 2)
            axis = y;
    }
    QVERIFY(axis > 0);
    int axisLeft = img.width() / 2; // where the bottom axis starts; value labels are left of it
    while (axisLeft > 0 && black(axisLeft - 1, axis))
        --axisLeft;
    QList<int> ticks; // centre of each tick, left to right
    for (int x = axisLeft + 1; x < img.width(); ++x)
        if (black(x, axis + 1)) {
            const int from = x;
            while (x + 1 < img.width() && black(x + 1, axis + 1))
                ++x;
            ticks << (from + x) / 2;
        }
    QCOMPARE(ticks.size(), 23); // classes 5..27
    int band = axis + 1;
    while (black(ticks[0], band))
        ++band;
    auto ink = [&](int x0, int x1) {
        for (int x = std::max(0, x0); x <= std::min(img.width() - 1, x1); ++x)
            for (int y = band; y < img.height(); ++y)
                if (black(x, y))
                    return true;
        return false;
    };
    const double slot = double(ticks.last() - ticks.first()) / 22;
    int labelled = 0;
    for (int t : ticks)
        labelled += ink(int(t - slot / 4), int(t + slot / 4));
    int widest = 0;
    const QFontMetrics fm(font, &img);
    for (int k = 5; k <= 27; ++k)
        widest = std::max(widest, fm.horizontalAdvance(QString::number(k)));
    if (all) {
        QCOMPARE(labelled, 23);
        for (int i = 0; i + 1 < ticks.size(); ++i) {
            bool gap = false;
            for (int x = ticks[i] + 1; x < ticks[i + 1] && !gap; ++x)
                gap = !ink(x, x);
            QVERIFY2(gap,
                     qPrintable(QStringLiteral("labels %1 and %2 touch").arg(i + 5).arg(i + 6)));
        }
    } else {
        QVERIFY(labelled < 23);
        QVERIFY2(
            widest >= slot - 1,
            qPrintable(
                QStringLiteral("labels of %1 px thinned at %2 px a class").arg(widest).arg(slot)));
    }
}

QTEST_MAIN(TstChart)
#include "tst_chart.moc"
