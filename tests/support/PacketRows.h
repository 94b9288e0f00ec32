#pragma once
// Building packet tables for the export tests: the grid's default headings and whole rows.
#include "lang/MainTexts.h"
#include "packets/PacketTable.h"

#include <QByteArray>
#include <QList>

namespace kelotari {

inline void setDefaultHeadings(PacketTable& t) {
    const MainTexts texts;
    for (int col = 0; col < kColumns; ++col)
        t.setHeading(col, gridHeading(texts, col));
}

// Header fields by column: packet, samples, date, time, wood, temp, lowest, highest, avg, s.
inline void putRow(PacketTable& t, int row, const QList<QByteArray>& header,
                   const QByteArray& comment, const QList<QByteArray>& readings) {
    for (int col = 0; col < header.size(); ++col)
        t.setCell(col, row, header[col]);
    t.setCell(kCommentCol, row, comment);
    for (int i = 0; i < readings.size(); ++i)
        t.setCell(kFirstReadingCol + i, row, readings[i]);
}

} // namespace kelotari
