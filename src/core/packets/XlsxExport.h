#pragma once
// The packet table as a typed spreadsheet workbook (.xlsx, written with libxlsxwriter): one
// sheet, the heading row bold and frozen, then one row per packet. Numbers are number cells, so
// no spreadsheet has to guess a decimal separator; wood type and comment are text cells, never
// formulas, and keep leading zeros; a packet's date and time make one date-time cell shown as
// dd.mm.yyyy hh:mm when they can be read, else the text as the grid shows it.
#include "files/SafeWrite.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QTime>

#include <optional>

namespace kelotari {

class PacketTable;

// A packet's date and time read from the meter's "dd.mm.yy" and "hh:mm" (a four-digit year and
// seconds are read too). A two-digit year follows the POSIX %y rule: 69-99 are 1969-1999, 00-68
// are 2000-2068. No time text gives a date alone; a time text that cannot be read gives none.
struct PacketMoment {
    QDate date;
    std::optional<QTime> time;
};
std::optional<PacketMoment> parsePacketMoment(const QByteArray& date, const QByteArray& time);

// Columns of the workbook: the table's columns with date and time joined into one.
constexpr int kSheetColumns = 40;
// The table column a sheet column shows (the date-time column shows the table's date column).
int tableColumnOfSheetColumn(int sheetCol);

// The workbook is made in a scratch file beside the target (removed in every case), checked
// complete, then written safely: a failure leaves an existing file as it was.
WriteOutcome writeXlsxFile(const QString& fileName, const PacketTable& table, int packetCount);

// The file an export proposes: the data folder, today's date, the given extension ("xlsx").
QString proposedExportFileName(const QString& dataPath, const QDate& today, const QString& suffix);

} // namespace kelotari
