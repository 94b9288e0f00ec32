#pragma once
// The packet grid's view: a right click gives it the focus without moving the current cell,
// so the popup's commands act on the row last selected.
#include <QTableView>

namespace kelotari {

class PacketGrid : public QTableView {
    Q_OBJECT
public:
    explicit PacketGrid(QWidget* parent = nullptr);

signals:
    // The user selected (col, row) in table rows (1..49), also by clicking the current cell.
    void cellSelected(int col, int row);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
};

} // namespace kelotari
