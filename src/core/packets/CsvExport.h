#pragma once
// The packet table as a spreadsheet file (CSV): a heading row with the grid's column headings,
// then one row per packet. Numbers follow the locale, so a Finnish or German spreadsheet reads
// the readings as numbers: there the decimal separator is a comma and fields are separated by
// ";", elsewhere by ",". Fields are quoted as RFC 4180 says; UTF-8 with a byte-order mark (so
// spreadsheet programs recognise the encoding), CR LF line ends.
//
// Text fields lose trailing blanks (a data file pads its fields), and a text that a spreadsheet
// would take for a formula (it begins with = + - @, a tab or a CR) gets a leading apostrophe, so
// a comment from a received file cannot run as a formula. Numbers are never changed.
#include "files/SafeWrite.h"

#include <QByteArray>
#include <QDate>
#include <QLocale>
#include <QString>

namespace kelotari {

class PacketTable;

struct CsvFormat {
    char fieldSeparator = ',';
    char decimalSeparator = '.';
};

// ';' and ',' where the locale's decimal separator is a comma; ',' and '.' otherwise.
CsvFormat csvFormatFor(const QLocale& locale);

// Columns whose cells are numbers: packet, samples, temperature, lowest, highest, average,
// s and the readings. Date, time, wood type and comment are text.
bool isNumericColumn(int col);

// A decimal number as the meter writes it (optional sign, digits, optional point), blanks
// around allowed.
bool isPlainNumber(const QString& text);
// Text without the spaces at its end.
QString withoutTrailingBlanks(const QString& text);
// True when a spreadsheet reading this text would take it for a formula.
bool startsLikeFormula(const QString& text);

// One field as written: a plain decimal number in a numeric column takes the format's decimal
// separator; other text loses its trailing blanks (outside numeric columns) and is protected
// against formula reading; the field is quoted when it holds the separator, a quote or a line
// break.
QString csvField(const QString& text, bool numeric, const CsvFormat& format);

// Heading row and packet rows 1..packetCount, cells mapped from Windows-1252.
QByteArray exportCsv(const PacketTable& table, int packetCount, const CsvFormat& format);
inline QByteArray exportCsv(const PacketTable& table, int packetCount, const QLocale& locale) {
    return exportCsv(table, packetCount, csvFormatFor(locale));
}

// The file the export proposes: the data folder, today's date, ".csv".
QString proposedCsvFileName(const QString& dataPath, const QDate& today);

// The whole file made first, then written safely: a failure leaves an existing file as it was.
WriteOutcome writeCsvFile(const QString& fileName, const PacketTable& table, int packetCount,
                          const QLocale& locale);

} // namespace kelotari
