#pragma once
// The packet grid's view. Only what the user does counts as a selection: a left click on a cell
// (also on the current one), a drag over cells, or a key that moves the current cell. Where Qt
// makes a cell current by itself (the focus arriving while none is current, for instance) the
// row is not reported, so no command acts on a packet nobody chose. A right click, on a cell
// or on the heading row, gives the grid the focus and asks for the popup without moving the
// current cell.
//
// In-place editing of a comment: on once the user has selected a comment cell, off when the
// user selects any other cell and whenever the focus comes into the grid from elsewhere; a
// click on the current comment cell opens its editor only while editing is already on.
#include <QTableView>

namespace kelotari {

class PacketGrid : public QTableView {
    Q_OBJECT
public:
    explicit PacketGrid(QWidget* parent = nullptr);

    bool commentEditing() const { return m_editing; }

signals:
    // The user selected (col, row) in table rows (1..49).
    void cellSelected(int col, int row);
    // A right click (or the menu key) asks for the grid's popup at a global position.
    void popupRequested(const QPoint& globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void keyboardSearch(const QString& search) override;

private:
    void userSelected(int col, int row);

    int m_userActs = 0;     // > 0 while a mouse or key event of the user is handled
    bool m_editing = false; // comment-edit options in force
    bool m_editingAtPress = false;
    bool m_closingEditor = false;
};

} // namespace kelotari
