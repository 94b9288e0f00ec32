#include "PacketGrid.h"

#include "packets/PacketTable.h"

#include <QHeaderView>
#include <QMouseEvent>

namespace kelotari {

namespace {
// Counts a user's event while it is handled, so a move of the current cell during it is theirs.
struct UserAct {
    explicit UserAct(int& n) : count(n) { ++count; }
    ~UserAct() { --count; }
    int& count;
};
} // namespace

PacketGrid::PacketGrid(QWidget* parent) : QTableView(parent) {
    // The heading row is no cell: clicking it selects nothing.
    horizontalHeader()->setSectionsClickable(false);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { emit popupRequested(viewport()->mapToGlobal(pos)); });
    horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(horizontalHeader(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) {
                setFocus(Qt::MouseFocusReason);
                emit popupRequested(horizontalHeader()->viewport()->mapToGlobal(pos));
            });
}

void PacketGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        // A right click gives the focus and leaves the current cell where it is.
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    UserAct act(m_userActs);
    m_editingAtPress = m_editing;
    const QModelIndex before = currentIndex();
    QTableView::mousePressEvent(event);
    const QModelIndex at = indexAt(event->position().toPoint());
    // A click on the cell that is already current selects it again, except on the current
    // comment cell while editing is on: that click is for its editor.
    if (at.isValid() && at == before && !(m_editingAtPress && at.column() == kCommentCol))
        userSelected(at.column(), at.row() + 1);
}

void PacketGrid::mouseMoveEvent(QMouseEvent* event) {
    UserAct act(m_userActs);
    QTableView::mouseMoveEvent(event);
}

void PacketGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    UserAct act(m_userActs);
    QTableView::mouseDoubleClickEvent(event);
}

void PacketGrid::keyPressEvent(QKeyEvent* event) {
    UserAct act(m_userActs);
    QTableView::keyPressEvent(event);
}

void PacketGrid::focusInEvent(QFocusEvent* event) {
    // Back from the grid's own editor, a popup or another window: the focus never left.
    const bool entered = !m_closingEditor && event->reason() != Qt::PopupFocusReason &&
                         event->reason() != Qt::ActiveWindowFocusReason;
    if (entered)
        m_editing = false;
    QTableView::focusInEvent(event); // may make a first cell current: nobody's selection
}

void PacketGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (current.isValid() && m_userActs > 0)
        userSelected(current.column(), current.row() + 1);
}

void PacketGrid::userSelected(int col, int row) {
    m_editing = col == kCommentCol;
    emit cellSelected(col, row);
}

bool PacketGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (!m_editing || index != currentIndex() || index.column() != kCommentCol)
        return false;
    if (trigger == SelectedClicked && !m_editingAtPress)
        return false; // the click that turned editing on only selects
    return QTableView::edit(index, trigger, event);
}

void PacketGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    // Tab in the editor leaves the grid, as Tab does without one.
    const bool next = hint == QAbstractItemDelegate::EditNextItem;
    const bool previous = hint == QAbstractItemDelegate::EditPreviousItem;
    m_closingEditor = true;
    QTableView::closeEditor(editor, next || previous ? QAbstractItemDelegate::NoHint : hint);
    m_closingEditor = false;
    if (next || previous)
        focusNextPrevChild(next);
}

void PacketGrid::keyboardSearch(const QString&) {
    // Typing never jumps to a cell by its text.
}

} // namespace kelotari
