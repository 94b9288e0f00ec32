#pragma once
// Qt model over the packet table: model row i is table row i + 1; the headings are the
// horizontal header. Cells are bytes shown through Windows-1252; only comments are editable.
#include "packets/PacketTable.h"

#include <QAbstractTableModel>

namespace kelotari {

class PacketModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit PacketModel(PacketTable& table, QObject* parent = nullptr);
    ~PacketModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    PacketTable& m_table;
};

} // namespace kelotari
