#include "PacketModel.h"

#include "packets/DataFile.h"
#include "text/Codec.h"

namespace kelotari {

PacketModel::PacketModel(PacketTable& table, QObject* parent)
    : QAbstractTableModel(parent), m_table(table) {
    m_table.onChanged = [this](int col, int row) {
        if (row < 0) {
            emit dataChanged(index(0, 0), index(kRows - 2, kColumns - 1));
        } else if (row == 0) {
            emit headerDataChanged(Qt::Horizontal, col, col);
        } else {
            const QModelIndex i = index(row - 1, col);
            emit dataChanged(i, i);
        }
    };
}

PacketModel::~PacketModel() {
    m_table.onChanged = nullptr;
}

int PacketModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kRows - 1;
}

int PacketModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant PacketModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return QVariant();
    return fromCp1252(m_table.cell(index.column(), index.row() + 1));
}

bool PacketModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole || index.column() != kCommentCol)
        return false;
    const QByteArray bytes = commentCellBytes(value.toString());
    if (bytes != m_table.cell(index.column(), index.row() + 1))
        m_table.setCell(index.column(), index.row() + 1, bytes);
    return true;
}

Qt::ItemFlags PacketModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == kCommentCol)
        f |= Qt::ItemIsEditable;
    return f;
}

QVariant PacketModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Horizontal && section >= 0 && section < kColumns)
        return m_table.heading(section);
    return QVariant();
}

} // namespace kelotari
