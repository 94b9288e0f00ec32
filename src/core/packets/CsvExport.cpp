#include "packets/CsvExport.h"

#include "packets/PacketTable.h"
#include "text/Codec.h"

#include <QRegularExpression>

namespace kelotari {

CsvFormat csvFormatFor(const QLocale& locale) {
    if (locale.decimalPoint() == QStringLiteral(","))
        return {';', ','};
    return {',', '.'};
}

bool isNumericColumn(int col) {
    switch (col) {
    case 0: // packet
    case 1: // samples
    case 5: // temperature
    case 6: // lowest
    case 7: // highest
    case 8: // average
    case 9: // s
        return true;
    default:
        return col >= kFirstReadingCol && col <= kLastCol;
    }
}

bool isPlainNumber(const QString& text) {
    static const QRegularExpression number(QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)\\s*$"));
    return number.match(text).hasMatch();
}

QString withoutTrailingBlanks(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.left(end);
}

bool startsLikeFormula(const QString& text) {
    if (text.isEmpty())
        return false;
    switch (text.at(0).unicode()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
        return true;
    default:
        return false;
    }
}

QString csvField(const QString& text, bool numeric, const CsvFormat& format) {
    QString field = text;
    if (numeric && isPlainNumber(field)) {
        // A number is written as the meter sent it; only its decimal point follows the format.
        if (format.decimalSeparator != '.')
            field.replace(QLatin1Char('.'), QLatin1Char(format.decimalSeparator));
    } else {
        // Text: the data file's padding goes, and a spreadsheet must not take it for a formula.
        if (!numeric)
            field = withoutTrailingBlanks(field);
        if (startsLikeFormula(field))
            field.prepend(QLatin1Char('\''));
    }
    const QChar sep = QLatin1Char(format.fieldSeparator);
    if (field.contains(sep) || field.contains(QLatin1Char('"')) ||
        field.contains(QLatin1Char('\r')) || field.contains(QLatin1Char('\n'))) {
        field.replace(QStringLiteral("\""), QStringLiteral("\"\""));
        field = QLatin1Char('"') + field + QLatin1Char('"');
    }
    return field;
}

QByteArray exportCsv(const PacketTable& table, int packetCount, const CsvFormat& format) {
    const int rows = qBound(0, packetCount, kMaxPackets);
    QString out;
    auto endRow = [&out] { out += QStringLiteral("\r\n"); };
    for (int col = 0; col < kColumns; ++col) {
        if (col > 0)
            out += QLatin1Char(format.fieldSeparator);
        out += csvField(table.heading(col), false, format);
    }
    endRow();
    for (int row = 1; row <= rows; ++row) {
        for (int col = 0; col < kColumns; ++col) {
            if (col > 0)
                out += QLatin1Char(format.fieldSeparator);
            out += csvField(fromCp1252(table.cell(col, row)), isNumericColumn(col), format);
        }
        endRow();
    }
    return QByteArray("\xEF\xBB\xBF") + out.toUtf8();
}

QString proposedCsvFileName(const QString& dataPath, const QDate& today) {
    return dataPath + today.toString(QStringLiteral("ddMMyy")) + QStringLiteral(".csv");
}

WriteOutcome writeCsvFile(const QString& fileName, const PacketTable& table, int packetCount,
                          const QLocale& locale) {
    return writeFileSafely(fileName, exportCsv(table, packetCount, locale));
}

} // namespace kelotari
