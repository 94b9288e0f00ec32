#pragma once
// The moisture chart `kartta`: silver bars over the classes 6..27 of the packet last selected.
// One painter routine draws it on the screen and into a rectangle of a printed page.
#include "packets/Histogram.h"

#include <QWidget>

class QPainter;

namespace kelotari {

// Bar colour of the series.
inline const QColor kBarColor = QColor(192, 192, 192); // silver

// Draws the whole chart into rect: white background, left axis 0..highest, bottom axis 5..27,
// one bar per class half a class wide. Text uses the painter's font; line widths follow the
// device's resolution, so a 600 dpi page gets lines as thick as the screen's.
void paintHistogram(QPainter& painter, const QRect& rect, const Histogram& bars);

class HistogramChart : public QWidget {
    Q_OBJECT
public:
    explicit HistogramChart(QWidget* parent = nullptr);

    // The distribution shown; setting it redraws the chart.
    const Histogram& bars() const { return m_bars; }
    void setBars(const Histogram& bars);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Histogram m_bars;
};

} // namespace kelotari
