#pragma once
// Data files: one block of CR LF lines per packet (comment padded to 14, the nine header
// fields, the readings, the packet-end byte 0xAF), then the data-end byte 0x1A.
#include "packets/PacketTable.h"

#include <QByteArray>
#include <QString>

class QFile;
class QIODevice;
class QDate;

namespace kelotari {

// The whole file for rows 1..count, built in memory so it can be written in one go.
QByteArray serializeDataFile(const PacketTable& table, int count);

// A comment as typed or pasted into the grid, as the bytes its cell holds. A data file keeps
// the comment on one line, so line-end bytes and the data-end byte each become a space:
// kept, they would split the line and shift every field after it at the next load.
QByteArray commentCellBytes(const QString& typed);

// The name Save proposes: dataPath + "ddmmyy" + ".DAT", with nothing added in between.
QString proposedDataFileName(const QString& dataPath, const QDate& today);

struct LoadResult {
    bool ok = true;
    int errorNumber = 0;     // errno-style code of the failure when !ok
    int packetCount = 0;     // rows holding packets after the load
    bool moreBlocks = false; // the file holds more packets than the table has rows for
};

// Longest line the loader accepts; longer is a load error rather than unbounded memory.
constexpr qint64 kMaxFileLine = 64 * 1024;

// Loads a data file from an open device into the table (which the caller has emptied).
// A block with more than 30 readings keeps the first 30 and skips to its packet-end marker;
// blocks past row 49 are not loaded (moreBlocks); a block cut short before its header fields
// are complete is not counted.
LoadResult loadDataFile(QIODevice& device, PacketTable& table);

// Opens a data file for reading and never blocks: only a regular file is opened. A FIFO,
// socket or device node under a data file's name is refused (ENXIO), a folder too (EISDIR).
// Returns 0 when the file is open, else the error number of the failure.
int openDataFileForReading(QFile& file, const QString& fileName);

} // namespace kelotari
