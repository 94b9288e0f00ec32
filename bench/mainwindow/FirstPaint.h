// Tells when a widget was first painted: the benchmarks' end of a start-up.
#pragma once

#include <QEvent>
#include <QObject>

class FirstPaint : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};
