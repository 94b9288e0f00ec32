#include "PacketGrid.h"

#include <QMouseEvent>

namespace kelotari {

PacketGrid::PacketGrid(QWidget* parent) : QTableView(parent) {}

void PacketGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    const QModelIndex before = currentIndex();
    QTableView::mousePressEvent(event);
    const QModelIndex at = indexAt(event->position().toPoint());
    // A click on the cell that is already current selects it again.
    if (at.isValid() && at == before && event->button() == Qt::LeftButton)
        emit cellSelected(at.column(), at.row() + 1);
}

void PacketGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (current.isValid())
        emit cellSelected(current.column(), current.row() + 1);
}

} // namespace kelotari
