#include "packets/XlsxExport.h"

#include "packets/CsvExport.h"
#include "packets/PacketTable.h"
#include "text/CNumericLocale.h"
#include "text/Codec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <memory>
#include <xlsxwriter.h>

namespace kelotari {

namespace {

constexpr int kDateCol = 2;
constexpr int kTimeCol = 3;

int twoDigitYear(int yy) {
    return yy >= 69 ? 1900 + yy : 2000 + yy;
}

std::optional<QTime> parseTime(const QString& text) {
    static const QRegularExpression re(QStringLiteral("^(\\d{1,2})[:.](\\d{2})(?:[:.](\\d{2}))?$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QTime t(m.captured(1).toInt(), m.captured(2).toInt(),
                  m.captured(3).isEmpty() ? 0 : m.captured(3).toInt());
    if (!t.isValid())
        return std::nullopt;
    return t;
}

// Text of a cell as the grid shows it, without the data file's padding at its end. A line break
// inside a spreadsheet cell is a lone LF; a CR would be stored as an escape that not every
// reader decodes.
QString cellText(const QByteArray& bytes) {
    QString text = withoutTrailingBlanks(fromCp1252(bytes));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// OOXML reads "_xHHHH_" in a text as the character of that code (the library writes control
// characters that way), so a text that holds such a sequence itself has its underscore written
// as "_x005F_": "_x0041_" is read back as typed, not as "A". Both letter cases of the x are
// protected; a reader that decodes only one of them still shows the text unchanged.
QString sheetText(const QString& text) {
    static const QRegularExpression escapeLike(QStringLiteral("_(?=[xX][0-9A-Fa-f]{4}_)"));
    QString out = text;
    out.replace(escapeLike, QStringLiteral("_x005F_"));
    return out;
}

lxw_error writeText(lxw_worksheet* ws, lxw_row_t row, lxw_col_t col, const QString& text,
                    lxw_format* format) {
    return worksheet_write_string(ws, row, col, sheetText(text).toUtf8().constData(), format);
}

struct WorkbookCloser {
    void operator()(lxw_workbook* wb) const { lxw_workbook_free(wb); }
};

QString lxwReason(lxw_error err, int savedErrno) {
    QString why = QString::fromUtf8(lxw_strerror(err));
    if (savedErrno != 0)
        why += QStringLiteral(" (") + QString::fromLocal8Bit(std::strerror(savedErrno)) +
               QLatin1Char(')');
    return why;
}

// A complete zip archive starts with a local file header and ends with the end-of-central-
// directory record (libxlsxwriter writes no archive comment).
bool looksComplete(const QByteArray& bytes) {
    static const QByteArray head("PK\x03\x04", 4);
    static const QByteArray end("PK\x05\x06", 4);
    return bytes.size() > 22 && bytes.startsWith(head) && bytes.mid(bytes.size() - 22, 4) == end;
}

// Fills the workbook; returns the first error of the library, or LXW_NO_ERROR.
lxw_error fillWorkbook(lxw_workbook* wb, const PacketTable& table, int packetCount) {
    lxw_doc_properties props{};
    QByteArray title("Kelotari packets");
    QByteArray subject("Wood moisture readings");
    QByteArray comments("Exported by Kelotari");
    // The document's creator. The application named in its extended properties is fixed
    // inside the library ("Microsoft Excel"); the custom property below names this program.
    QByteArray author("Kelotari");
    props.author = author.data();
    props.title = title.data();
    props.subject = subject.data();
    props.comments = comments.data();
    lxw_error err = workbook_set_properties(wb, &props);
    if (err == LXW_NO_ERROR)
        err = workbook_set_custom_property_string(wb, "Program", "Kelotari");
    if (err != LXW_NO_ERROR)
        return err;

    lxw_worksheet* ws = workbook_add_worksheet(wb, "Kelotari packets");
    lxw_format* bold = workbook_add_format(wb);
    lxw_format* dateTime = workbook_add_format(wb);
    lxw_format* dateOnly = workbook_add_format(wb);
    if (!ws || !bold || !dateTime || !dateOnly)
        return LXW_ERROR_MEMORY_MALLOC_FAILED;
    format_set_bold(bold);
    format_set_num_format(dateTime, "dd.mm.yyyy hh:mm");
    format_set_num_format(dateOnly, "dd.mm.yyyy");

    auto check = [&err](lxw_error e) {
        if (err == LXW_NO_ERROR)
            err = e;
    };
    const int rows = qBound(0, packetCount, kMaxPackets);

    // Headings and column widths: wide enough for the heading, and for what the column shows.
    for (int sc = 0; sc < kSheetColumns; ++sc) {
        const int col = tableColumnOfSheetColumn(sc);
        QString heading = table.heading(col);
        double width = 8;
        if (col == kDateCol) {
            heading = (heading + QLatin1Char(' ') + table.heading(kTimeCol)).trimmed();
            width = 17;
        } else if (col == 4 || col == kCommentCol) {
            qsizetype longest = col == kCommentCol ? 30 : 10;
            for (int row = 1; row <= rows; ++row)
                longest = qMax(longest, cellText(table.cell(col, row)).size());
            width = static_cast<double>(qMin<qsizetype>(longest, 60)) + 1;
        }
        width = qMax(width, static_cast<double>(heading.size()) + 2);
        check(worksheet_set_column(ws, static_cast<lxw_col_t>(sc), static_cast<lxw_col_t>(sc),
                                   width, nullptr));
        if (!heading.isEmpty())
            check(writeText(ws, 0, static_cast<lxw_col_t>(sc), heading, bold));
    }
    worksheet_freeze_panes(ws, 1, 0);

    for (int row = 1; row <= rows; ++row) {
        const auto r = static_cast<lxw_row_t>(row);
        for (int sc = 0; sc < kSheetColumns; ++sc) {
            const int col = tableColumnOfSheetColumn(sc);
            const auto c = static_cast<lxw_col_t>(sc);
            if (col == kDateCol) {
                const QByteArray& date = table.cell(kDateCol, row);
                const QByteArray& time = table.cell(kTimeCol, row);
                if (const auto m = parsePacketMoment(date, time)) {
                    lxw_datetime dt{m->date.year(), m->date.month(), m->date.day(), 0, 0, 0};
                    if (m->time) {
                        dt.hour = m->time->hour();
                        dt.min = m->time->minute();
                        dt.sec = m->time->second();
                    }
                    check(worksheet_write_datetime(ws, r, c, &dt, m->time ? dateTime : dateOnly));
                } else {
                    const QString shown =
                        (cellText(date).trimmed() + QLatin1Char(' ') + cellText(time).trimmed())
                            .trimmed();
                    if (!shown.isEmpty())
                        check(writeText(ws, r, c, shown, nullptr));
                }
                continue;
            }
            const QByteArray& bytes = table.cell(col, row);
            if (bytes.isEmpty())
                continue;
            if (isNumericColumn(col)) {
                bool ok = false;
                const double value = bytes.trimmed().toDouble(&ok);
                if (ok && isPlainNumber(QString::fromLatin1(bytes))) {
                    check(worksheet_write_number(ws, r, c, value, nullptr));
                    continue;
                }
            }
            // Text cell: the library writes it as a shared string, never as a formula.
            const QString text = cellText(bytes);
            if (!text.isEmpty())
                check(writeText(ws, r, c, text, nullptr));
        }
    }
    return err;
}

WriteOutcome failure(const QString& why) {
    WriteOutcome r;
    r.error = why;
    return r;
}

} // namespace

std::optional<PacketMoment> parsePacketMoment(const QByteArray& date, const QByteArray& time) {
    static const QRegularExpression re(
        QStringLiteral("^(\\d{1,2})\\.(\\d{1,2})\\.(\\d{2}|\\d{4})$"));
    const QRegularExpressionMatch m = re.match(QString::fromLatin1(date).trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    const QString y = m.captured(3);
    const int year = y.size() == 2 ? twoDigitYear(y.toInt()) : y.toInt();
    PacketMoment moment;
    moment.date = QDate(year, m.captured(2).toInt(), m.captured(1).toInt());
    if (!moment.date.isValid())
        return std::nullopt;
    const QString t = QString::fromLatin1(time).trimmed();
    if (!t.isEmpty()) {
        moment.time = parseTime(t);
        if (!moment.time)
            return std::nullopt;
    }
    return moment;
}

int tableColumnOfSheetColumn(int sheetCol) {
    return sheetCol <= kDateCol ? sheetCol : sheetCol + 1;
}

WriteOutcome writeXlsxFile(const QString& fileName, const PacketTable& table, int packetCount) {
    if (fileName.isEmpty())
        return failure(QStringLiteral("No file name"));
    const QFileInfo target(fileName);
    if (target.isDir())
        return failure(QStringLiteral("%1 is a folder").arg(fileName));

    // The scratch file sits beside the target, so a folder the user may not write to or a
    // full disk shows here already; it is removed when this function returns.
    QTemporaryFile scratch(
        QDir(target.absolutePath()).filePath(QStringLiteral(".kelotari-XXXXXX.xlsx")));
    const auto named = [&fileName](const QString& why) {
        return failure(fileName + QStringLiteral(": ") + why);
    };
    if (!scratch.open())
        return named(scratch.errorString());
    const QString scratchName = scratch.fileName();
    scratch.close();

    QByteArray bytes;
    {
        // The library prints every number (values, column widths, margins) with the C
        // library's printf: with the point, whatever the user's regional settings.
        const CNumericLocaleScope pointNumbers;
        if (!pointNumbers.active())
            return named(QStringLiteral("Cannot set the number format of the workbook"));
        lxw_workbook_options options{};
        std::unique_ptr<lxw_workbook, WorkbookCloser> wb(
            workbook_new_opt(QFile::encodeName(scratchName).constData(), &options));
        if (!wb)
            return named(QStringLiteral("Cannot start the workbook"));
        const lxw_error filled = fillWorkbook(wb.get(), table, packetCount);
        if (filled != LXW_NO_ERROR)
            return named(lxwReason(filled, 0));
        errno = 0;
        // workbook_close writes the file and frees the workbook, also when it fails.
        const lxw_error closed = workbook_close(wb.release());
        const int closeErrno = errno;
        if (closed != LXW_NO_ERROR)
            return named(lxwReason(closed, closeErrno));
    }
    QFile written(scratchName);
    if (!written.open(QIODevice::ReadOnly))
        return named(written.errorString());
    bytes = written.readAll();
    written.close();
    if (!looksComplete(bytes))
        return named(QStringLiteral("The workbook was not written completely"));
    return writeFileSafely(fileName, bytes);
}

QString proposedExportFileName(const QString& dataPath, const QDate& today, const QString& suffix) {
    return dataPath + today.toString(QStringLiteral("ddMMyy")) + QLatin1Char('.') + suffix;
}

} // namespace kelotari
