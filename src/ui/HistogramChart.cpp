#include "HistogramChart.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace kelotari {

namespace {

constexpr int kAxisMin = 5; // the bottom axis runs over the classes 5..27
constexpr int kSlots = kLastClass - kAxisMin + 1;
const QColor kBarEdge(128, 128, 128);
const QColor kGridColor(224, 224, 224);

// Smallest label step of 1, 2, 5, 10, 20, 50, ... that leaves `need` pixels between labels.
int labelStep(double pixelsPerUnit, int need) {
    for (int base = 1;; base *= 10)
        for (int m : {1, 2, 5})
            if (pixelsPerUnit * base * m >= need || base * m >= 1000000)
                return base * m;
}

} // namespace

void paintHistogram(QPainter& p, const QRect& rect, const Histogram& bars) {
    p.save();
    p.setClipRect(rect);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(rect, Qt::white);

    const QPaintDevice* device = p.device();
    const int dpi = device ? device->logicalDpiY() : 96;
    const int lw = std::max(1, static_cast<int>(std::lround(dpi / 96.0))); // one screen pixel
    const QFontMetrics fm(p.font(), device);
    const int fh = fm.height();
    const int pad = std::max(fh / 2, 4 * lw);
    const int tick = std::max(fh / 4, 3 * lw);
    const int highest = std::max(0, bars.highest);

    const int valueLabelWidth = fm.horizontalAdvance(QString::number(highest));
    int classLabelWidth = 0; // the widest class label
    for (int k = kAxisMin; k <= kLastClass; ++k)
        classLabelWidth = std::max(classLabelWidth, fm.horizontalAdvance(QString::number(k)));
    const int left = rect.left() + pad + valueLabelWidth + 2 * tick;
    const int right = rect.left() + rect.width() - pad - classLabelWidth / 2;
    const int top = rect.top() + pad + fh / 2;
    const int bottom = rect.top() + rect.height() - pad - fh - 2 * tick;
    const int plotW = right - left;
    const int plotH = bottom - top;
    if (plotW < kSlots || plotH < 4 * lw) {
        p.restore();
        return; // too small to show anything sensible
    }

    const double slot = double(plotW) / kSlots;
    auto classX = [&](int k) { return left + (k - kAxisMin + 0.5) * slot; };
    const double scaleMax = std::max(highest, 1);
    auto valueY = [&](int v) {
        return bottom - static_cast<int>(std::lround(v * plotH / scaleMax));
    };

    p.setPen(Qt::black);
    // Left axis: labels, ticks and light grid lines from 0 to the highest count.
    const int vStep = labelStep(plotH / scaleMax, fh);
    for (int v = 0; v <= highest; v += vStep) {
        const int y = valueY(v);
        if (v > 0)
            p.fillRect(left, y, plotW, lw, kGridColor);
        p.fillRect(left - tick, y, tick, lw, Qt::black);
        p.drawText(QRect(rect.left(), y - fh, left - tick - tick / 2 - rect.left(), 2 * fh),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(v));
    }
    // Bottom axis: a tick and a label per class; every second (or fifth...) label only when
    // neighbouring labels would otherwise overlap or touch.
    const int kStep = labelStep(slot, classLabelWidth + lw);
    for (int k = kAxisMin; k <= kLastClass; ++k) {
        const int x = static_cast<int>(std::lround(classX(k)));
        p.fillRect(x, bottom, lw, tick + lw, Qt::black);
        if ((k - kAxisMin) % kStep == 0)
            p.drawText(QRect(x - fh * 2, bottom + tick + lw, fh * 4, fh + tick),
                       Qt::AlignHCenter | Qt::AlignVCenter, QString::number(k));
    }
    // Bars: half a class wide, centred on their class, from 0 up to the count.
    const int barW = std::max(lw, static_cast<int>(std::lround(slot / 2)));
    for (int k = kFirstClass; k <= kLastClass; ++k) {
        const int n = bars.counts[static_cast<size_t>(k)];
        if (n <= 0)
            continue;
        const int x = static_cast<int>(std::lround(classX(k) - barW / 2.0));
        const int y = valueY(std::min(n, highest));
        const QRect bar(x, y, barW, bottom - y);
        p.fillRect(bar, kBarEdge);
        p.fillRect(bar.adjusted(lw, lw, -lw, 0), kBarColor);
    }
    // Axis lines on top.
    p.fillRect(left - lw, top, lw, bottom - top + lw, Qt::black);
    p.fillRect(left - lw, bottom, plotW + lw, lw, Qt::black);
    p.restore();
}

HistogramChart::HistogramChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("kartta"));
    // The chart's title: known to accessibility tools, not drawn.
    setAccessibleName(QStringLiteral("Wood moisture"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void HistogramChart::setBars(const Histogram& bars) {
    m_bars = bars;
    update();
}

void HistogramChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setFont(font());
    paintHistogram(p, rect(), m_bars);
}

} // namespace kelotari
