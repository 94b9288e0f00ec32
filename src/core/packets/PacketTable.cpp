#include "packets/PacketTable.h"

#include <cassert>

namespace kelotari {

PacketTable::PacketTable() = default;

size_t PacketTable::index(int col, int row) {
    assert(col >= 0 && col < kColumns && row >= 1 && row < kRows);
    return static_cast<size_t>(row * kColumns + col);
}

void PacketTable::setHeading(int col, const QString& text) {
    m_headings[static_cast<size_t>(col)] = text;
    if (onChanged)
        onChanged(col, 0);
}

void PacketTable::setCell(int col, int row, const QByteArray& bytes) {
    m_cells[index(col, row)] = bytes;
    if (onChanged)
        onChanged(col, row);
}

int PacketTable::readingCount(int row) const {
    int n = 0;
    for (int c = kFirstReadingCol; c <= kLastCol && !cell(c, row).isEmpty(); ++c)
        ++n;
    return n;
}

void PacketTable::ClearTable() {
    for (int row = 1; row < kRows; ++row)
        for (int col = 0; col < kColumns; ++col)
            m_cells[index(col, row)].clear();
    if (onChanged)
        onChanged(-1, -1); // whole table
}

} // namespace kelotari
