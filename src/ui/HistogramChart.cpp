#include "HistogramChart.h"

#include <QPainter>

namespace kelotari {

HistogramChart::HistogramChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("kartta"));
}

void HistogramChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
}

} // namespace kelotari
