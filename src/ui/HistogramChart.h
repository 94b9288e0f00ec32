#pragma once
// The moisture chart `kartta`: bars over the classes 6..27.
#include <QWidget>

namespace kelotari {

class HistogramChart : public QWidget {
    Q_OBJECT
public:
    explicit HistogramChart(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace kelotari
