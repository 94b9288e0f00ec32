#pragma once
// The two packet reports: one packet with its histogram, and the list of all packets.
// Positions are in the printer's dots, measured from the top-left of the printable area.
#include "packets/PacketTable.h"
#include "print/PageCanvas.h"

#include <QDateTime>
#include <QRect>
#include <QString>

namespace kelotari {

// Title of every print job of the program.
inline const QString kDocumentTitle = QStringLiteral("Kelotari");
// The line height is the height of this text in the report font ("Ög").
inline const QString kLineHeightSample = QStringLiteral("\u00D6g");

// Where the histogram goes on the page of one packet (W, H the printable size).
QRect selectedPacketChartRect(int pageWidth, int pageHeight);

// One page: the ten header fields of the packet in `row` as "heading: value" in two columns,
// and the histogram of that row's readings below them. False when the canvas failed.
bool printSelectedPacket(PageCanvas& canvas, const PacketTable& table, int row);

// The list of rows 1..packetCount, one line each, as many pages as needed. The first page
// starts with the data file's full name (nothing when empty) and the column headings.
// False when the canvas failed.
bool printPacketList(PageCanvas& canvas, const PacketTable& table, int packetCount,
                     const QString& fileName);

// The name the save dialog proposes for a report printed to PDF:
// dataPath + "Kelotari" + yyyyMMdd_HHmmss + ".pdf" (dataPath is used as a prefix, as for data
// files).
QString proposedPdfFileName(const QString& dataPath, const QDateTime& now);

} // namespace kelotari
