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

QString csvField(const QString& text, bool numeric, const CsvFormat& format) {
    QString field = text;
    if (numeric && format.decimalSeparator != '.') {
        // Only a plain decimal number changes; anything else stays as the meter sent it.
        static const QRegularExpression number(
            QStringLiteral("^\\s*[+-]?(\\d+\\.\\d*|\\.\\d+)\\s*$"));
        if (number.match(field).hasMatch())
            field.replace(QLatin1Char('.'), QLatin1Char(format.decimalSeparator));
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
