#include "CLocaleSwitch.h"
#include "FailingWrites.h"
#include "PacketRows.h"
#include "WorkbookReader.h"
#include "lang/MainTexts.h"
#include "packets/CsvExport.h"
#include "packets/PacketTable.h"
#include "packets/XlsxExport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using namespace kelotari;

namespace {

PacketTable threePackets() {
    PacketTable t;
    setDefaultHeadings(t);
    putRow(t, 1, {"1", "3", "14.05.99", "08:12", "Kuusi", "20", "10.2", "19.8", "14.1", "2.3"},
           "first", {"10.2", "12.5", "19.8"});
    putRow(t, 2, {"2", "2", "01.12.26", "23:59", "M\xE4nty", "-5", "8", "9.5", "8.75", "0.75"},
           "0012", {"8", "9.5"});
    QList<QByteArray> full;
    for (int i = 0; i < 30; ++i)
        full << QByteArray::number(10 + i) + ".5";
    putRow(t, 3, {"3", "30", "10.12.26", "00:00", "Koivu", "18", "10.5", "39.5", "25", "8.8"},
           "kuivaamo 2     ", full);
    return t;
}

// Sheet column (1-based) of a table column: date and time share one.
int sheetCol(int tableCol) {
    return tableCol <= 2 ? tableCol + 1 : tableCol;
}

QByteArray readAll(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeAll(const QString& name, const QByteArray& bytes) {
    QFile f(name);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QStringList everyFile(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

} // namespace

class TstXlsxExport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void threePacketTable();
    void cellsKeepTheirKind();
    void datesAndTimes_data();
    void datesAndTimes();
    void dateTimeCellsInTheSheet();
    void emptyTableGivesHeadingsOnly();
    void readsBackUnderRegionalSettings_data();
    void readsBackUnderRegionalSettings();
    void failedWriteKeepsTheOldFile_data();
    void failedWriteKeepsTheOldFile();

private:
    // Writes the table to a workbook in dir and reads it back; false with a reason.
    bool roundTrip(const PacketTable& t, int count, WorkbookReader& back, QString& why);
    QTemporaryDir m_dir;
};

void TstXlsxExport::initTestCase() {
    QVERIFY(m_dir.isValid());
}

bool TstXlsxExport::roundTrip(const PacketTable& t, int count, WorkbookReader& back, QString& why) {
    const QString name = m_dir.filePath(QStringLiteral("export.xlsx"));
    const WriteOutcome r = writeXlsxFile(name, t, count);
    if (!r) {
        why = QStringLiteral("write failed: ") + r.error;
        return false;
    }
    if (everyFile(m_dir.path()) != QStringList{QStringLiteral("export.xlsx")}) {
        why = QStringLiteral("files left: ") + everyFile(m_dir.path()).join(QLatin1Char(' '));
        return false;
    }
    if (!back.read(name)) {
        why = QStringLiteral("reader: ") + back.error();
        return false;
    }
    return true;
}

void TstXlsxExport::threePacketTable() {
    if (WorkbookReader::python().isEmpty())
        QSKIP(qPrintable(WorkbookReader::skipReason()));
    const PacketTable t = threePackets();
    WorkbookReader back;
    QString why;
    QVERIFY2(roundTrip(t, 3, back, why), qPrintable(why));

    QCOMPARE(back.sheets, QStringList{"Kelotari packets"});
    QCOMPARE(back.properties.value("title").toString(), QStringLiteral("Kelotari packets"));
    QVERIFY(back.properties.value("description").toString().contains("Kelotari"));
    QCOMPARE(back.properties.value("creator").toString(), QStringLiteral("Kelotari"));
    QCOMPARE(back.freeze, QStringLiteral("A2"));

    // The heading row: the grid's headings, bold, date and time under one heading.
    QStringList headings;
    for (int c = 1; c <= kSheetColumns; ++c) {
        const SheetCell h = back.cell(1, c);
        QCOMPARE(h.type, QStringLiteral("s"));
        QVERIFY(h.bold);
        headings << h.value.toString();
    }
    QStringList want{"Packet", "Samples", "Date Time", "Wood type", "Temp.",
                     "Lowest", "Highest", "AVG",       "s",         "Comment"};
    for (int i = 1; i <= 30; ++i)
        want << QStringLiteral("Data%1").arg(i);
    QCOMPARE(headings, want);
    QVERIFY(!back.has(1, kSheetColumns + 1));
    // Columns are at least as wide as their headings.
    for (const char* letter : {"A", "B", "C", "D", "J", "AN"})
        QVERIFY2(back.widths.value(letter) >= 6, letter);
    QVERIFY(back.widths.value("C") >= QStringLiteral("dd.mm.yyyy hh:mm").size());
    QVERIFY(back.widths.value("J") >= 30);

    struct Want {
        int row;
        int tableCol;
        QString type;
        QVariant value;
    };
    const QList<Want> cells{
        {2, 0, "n", 1.0},
        {2, 1, "n", 3.0},
        {2, 4, "s", "Kuusi"},
        {2, 5, "n", 20.0},
        {2, 6, "n", 10.2},
        {2, 9, "n", 2.3},
        {2, 10, "s", "first"},
        {2, kFirstReadingCol, "n", 10.2},
        {2, kFirstReadingCol + 2, "n", 19.8},
        {3, 4, "s", QString::fromUtf8("M\xC3\xA4nty")},
        {3, 5, "n", -5.0},
        {3, 8, "n", 8.75},
        {3, 10, "s", "0012"},
        {4, 8, "n", 25.0},
        {4, 10, "s", "kuivaamo 2"},
        {4, kFirstReadingCol, "n", 10.5},
        {4, kLastCol, "n", 39.5},
    };
    for (const Want& w : cells) {
        const SheetCell c = back.cell(w.row, sheetCol(w.tableCol));
        const QByteArray where = QByteArray("row ") + QByteArray::number(w.row) + " column " +
                                 QByteArray::number(w.tableCol);
        QVERIFY2(c.type == w.type, where + ": type " + c.type.toUtf8());
        if (w.type == "n")
            QVERIFY2(qFuzzyCompare(c.value.toDouble(), w.value.toDouble()), where);
        else
            QVERIFY2(c.value.toString() == w.value.toString(),
                     where + ": " + c.value.toString().toUtf8());
    }
    // Readings end where the packet's readings end.
    QVERIFY(back.has(3, sheetCol(kFirstReadingCol + 1)));
    QVERIFY(!back.has(3, sheetCol(kFirstReadingCol + 2)));
    QVERIFY(!back.has(5, 1));

    const SheetCell when = back.cell(2, 3);
    QVERIFY(when.isDate);
    QCOMPARE(when.value.toString(), QStringLiteral("1999-05-14T08:12:00"));
    QCOMPARE(when.numberFormat, QStringLiteral("dd.mm.yyyy hh:mm"));
    QCOMPARE(back.cell(3, 3).value.toString(), QStringLiteral("2026-12-01T23:59:00"));
    QCOMPARE(back.cell(4, 3).value.toString(), QStringLiteral("2026-12-10T00:00:00"));
}

void TstXlsxExport::cellsKeepTheirKind() {
    if (WorkbookReader::python().isEmpty())
        QSKIP(qPrintable(WorkbookReader::skipReason()));
    struct Case {
        const char* name;
        int col;
        QByteArray bytes; // Windows-1252, as in the table
        QString type;     // what the reader must see
        QVariant value;
    };
    const QByteArray longComment = QByteArray(2046, 'x') + "\xE4";
    const QList<Case> cases{
        {"formula", kCommentCol, "=1+1", "s", "=1+1"},
        {"link formula", kCommentCol, "=HYPERLINK(\"http://example.com\";\"click\")", "s",
         "=HYPERLINK(\"http://example.com\";\"click\")"},
        {"plus", kCommentCol, "+cmd", "s", "+cmd"},
        {"at", kCommentCol, "@x", "s", "@x"},
        {"minus one", kCommentCol, "-1", "s", "-1"},
        {"formula wood type", 4, "=2*3", "s", "=2*3"},
        {"formula in a reading", kFirstReadingCol + 3, "=1+1", "s", "=1+1"},
        {"quote", kCommentCol, "say \"dry\"", "s", "say \"dry\""},
        {"separators", kCommentCol, "a;b,c", "s", "a;b,c"},
        {"line break", kCommentCol, "one\r\ntwo", "s", "one\ntwo"},
        {"lone CR", kCommentCol, "one\rtwo\n", "s", "one\ntwo\n"},
        {"leading zeros", kCommentCol, "0012", "s", "0012"},
        {"number comment", kCommentCol, "2.5", "s", "2.5"},
        {"a o euro", kCommentCol, "\xE4 \xF6 \x80 \xC4\xD6", "s",
         QString::fromUtf8("\xC3\xA4 \xC3\xB6 \xE2\x82\xAC \xC3\x84\xC3\x96")},
        {"undefined bytes", kCommentCol, "a\x81\x8D\x8F\x90\x9Dz", "s",
         QString::fromUtf8("a\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9Dz")},
        {"2047 characters", kCommentCol, longComment, "s",
         QString(2046, QLatin1Char('x')) + QChar(0xE4)},
        {"padding dropped", kCommentCol, "pino   ", "s", "pino"},
        {"padded wood type", 4, "Kuusi        ", "s", "Kuusi"},
        {"meter line with a comma", kFirstReadingCol, "12,5", "s", "12,5"},
        {"error reading", kFirstReadingCol + 1, "E", "s", "E"},
        {"two points", kFirstReadingCol + 2, "1.2.3", "s", "1.2.3"},
        {"negative reading", kFirstReadingCol + 4, "-3.5", "n", -3.5},
        {"padded reading", kFirstReadingCol + 5, " 7.5 ", "n", 7.5},
        {"trailing point", kFirstReadingCol + 6, "7.", "n", 7.0},
        {"leading point", kFirstReadingCol + 7, ".5", "n", 0.5},
        {"leading zeros in a number column", 0, "0012", "n", 12.0},
        {"exponent is not the meter's", 6, "1e5", "s", "1e5"},
        {"text temperature", 5, "-", "s", "-"},
        // OOXML's own escape form, typed as text, is read back as typed.
        {"escape form", kCommentCol, "_x0041_", "s", "_x0041_"},
        {"escape form, capital X", kCommentCol, "_X0041_", "s", "_X0041_"},
        {"two escape forms sharing an underscore", kCommentCol, "_x0041_x0042_", "s",
         "_x0041_x0042_"},
        {"escape form in a wood type", 4, "Kuusi_x00e4_", "s", "Kuusi_x00e4_"},
        {"not hex", kCommentCol, "_x00G1_", "s", "_x00G1_"},
    };
    PacketTable t;
    setDefaultHeadings(t);
    for (int i = 0; i < cases.size(); ++i)
        t.setCell(cases[i].col, i + 1, cases[i].bytes);
    const PacketTable before = t;
    WorkbookReader back;
    QString why;
    QVERIFY2(roundTrip(t, static_cast<int>(cases.size()), back, why), qPrintable(why));
    for (int i = 0; i < cases.size(); ++i) {
        const Case& k = cases[i];
        const SheetCell c = back.cell(i + 2, sheetCol(k.col));
        QVERIFY2(c.type == k.type, QByteArray(k.name) + ": type " + c.type.toUtf8());
        if (k.type == "n")
            QVERIFY2(qFuzzyCompare(c.value.toDouble(), k.value.toDouble()), k.name);
        else
            QVERIFY2(c.value.toString() == k.value.toString(),
                     QByteArray(k.name) + ": " + c.value.toString().toUtf8());
    }
    for (int r = 1; r < kRows; ++r)
        for (int col = 0; col < kColumns; ++col)
            QCOMPARE(t.cell(col, r), before.cell(col, r));
}

void TstXlsxExport::datesAndTimes_data() {
    QTest::addColumn<QByteArray>("date");
    QTest::addColumn<QByteArray>("time");
    QTest::addColumn<QString>("expected"); // ISO form, or empty when not read as a date

    QTest::newRow("simulator's 1999")
        << QByteArray("14.05.99") << QByteArray("08:12") << "1999-05-14T08:12:00";
    QTest::newRow("69 is 1969") << QByteArray("31.12.69") << QByteArray("23:59")
                                << "1969-12-31T23:59:00";
    QTest::newRow("68 is 2068") << QByteArray("01.01.68") << QByteArray("00:00")
                                << "2068-01-01T00:00:00";
    QTest::newRow("00 is 2000") << QByteArray("29.02.00") << QByteArray("12:00")
                                << "2000-02-29T12:00:00";
    QTest::newRow("26 is 2026") << QByteArray("01.12.26") << QByteArray("7:05")
                                << "2026-12-01T07:05:00";
    QTest::newRow("four-digit year, seconds")
        << QByteArray("14.05.1999") << QByteArray("08:12:30") << "1999-05-14T08:12:30";
    QTest::newRow("padding") << QByteArray("14.05.99  ") << QByteArray("08:12 ")
                             << "1999-05-14T08:12:00";
    QTest::newRow("date alone") << QByteArray("14.05.99") << QByteArray() << "1999-05-14";
    QTest::newRow("no such day") << QByteArray("31.02.26") << QByteArray("10:00") << "";
    QTest::newRow("no such hour") << QByteArray("14.05.99") << QByteArray("25:00") << "";
    QTest::newRow("time text") << QByteArray("14.05.99") << QByteArray("noon") << "";
    QTest::newRow("other date order") << QByteArray("1999-05-14") << QByteArray("08:12") << "";
    QTest::newRow("three-digit year") << QByteArray("14.05.199") << QByteArray("08:12") << "";
    QTest::newRow("no date") << QByteArray() << QByteArray("08:12") << "";
}

void TstXlsxExport::datesAndTimes() {
    QFETCH(QByteArray, date);
    QFETCH(QByteArray, time);
    QFETCH(QString, expected);
    const auto m = parsePacketMoment(date, time);
    if (expected.isEmpty()) {
        QVERIFY(!m);
        return;
    }
    QVERIFY(m);
    const QString got = m->time ? QDateTime(m->date, *m->time).toString(Qt::ISODate)
                                : m->date.toString(Qt::ISODate);
    QCOMPARE(got, expected);
}

void TstXlsxExport::dateTimeCellsInTheSheet() {
    if (WorkbookReader::python().isEmpty())
        QSKIP(qPrintable(WorkbookReader::skipReason()));
    PacketTable t;
    setDefaultHeadings(t);
    const QList<std::pair<QByteArray, QByteArray>> rows{
        {"01.12.26", "23:59"}, {"14.05.99", ""}, {"31.02.26", "10:00"},
        {"", "08:12   "},      {"", ""},         {"=1+1", "@x"}};
    for (int i = 0; i < rows.size(); ++i) {
        t.setCell(2, i + 1, rows[i].first);
        t.setCell(3, i + 1, rows[i].second);
        t.setCell(0, i + 1, QByteArray::number(i + 1));
    }
    WorkbookReader back;
    QString why;
    QVERIFY2(roundTrip(t, static_cast<int>(rows.size()), back, why), qPrintable(why));
    QVERIFY(back.cell(2, 3).isDate);
    QCOMPARE(back.cell(2, 3).value.toString(), QStringLiteral("2026-12-01T23:59:00"));
    QVERIFY(back.cell(3, 3).isDate);
    QCOMPARE(back.cell(3, 3).numberFormat, QStringLiteral("dd.mm.yyyy"));
    QCOMPARE(back.cell(3, 3).value.toString(), QStringLiteral("1999-05-14T00:00:00"));
    // What cannot be read as a date stays the text the grid shows.
    QCOMPARE(back.cell(4, 3).type, QStringLiteral("s"));
    QCOMPARE(back.cell(4, 3).value.toString(), QStringLiteral("31.02.26 10:00"));
    QCOMPARE(back.cell(5, 3).value.toString(), QStringLiteral("08:12"));
    QVERIFY(!back.has(6, 3));
    QCOMPARE(back.cell(7, 3).type, QStringLiteral("s"));
    QCOMPARE(back.cell(7, 3).value.toString(), QStringLiteral("=1+1 @x"));
}

void TstXlsxExport::emptyTableGivesHeadingsOnly() {
    if (WorkbookReader::python().isEmpty())
        QSKIP(qPrintable(WorkbookReader::skipReason()));
    PacketTable t = threePackets();
    // Headings from a language file are text too, also when they look like formulas.
    t.setHeading(0, QStringLiteral("=Nro"));
    t.setHeading(4, QStringLiteral("Puulaji \u00e4"));
    WorkbookReader back;
    QString why;
    QVERIFY2(roundTrip(t, 0, back, why), qPrintable(why));
    QCOMPARE(back.cell(1, 1).type, QStringLiteral("s"));
    QCOMPARE(back.cell(1, 1).value.toString(), QStringLiteral("=Nro"));
    QCOMPARE(back.cell(1, 4).value.toString(), QStringLiteral("Puulaji \u00e4"));
    QVERIFY(!back.has(2, 1));
}

// Under decimal-comma settings (as Qt sets the C library's locale at start) every number of
// the workbook, values, column widths and margins, is written with the point, also when the
// export runs on a worker thread; the process's own numbers stay regional.
void TstXlsxExport::readsBackUnderRegionalSettings_data() {
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<bool>("worker");
    QTest::addColumn<bool>("numericOnly"); // LC_NUMERIC alone
    for (const char* locale : {"fi_FI.UTF-8", "de_DE.UTF-8", "tr_TR.UTF-8"}) {
        QTest::addRow("%s", locale) << QByteArray(locale) << false << false;
        QTest::addRow("%s, worker thread", locale) << QByteArray(locale) << true << false;
    }
    QTest::newRow("fi_FI.UTF-8 numbers only") << QByteArray("fi_FI.UTF-8") << false << true;
}

void TstXlsxExport::readsBackUnderRegionalSettings() {
    QFETCH(QByteArray, locale);
    QFETCH(bool, worker);
    QFETCH(bool, numericOnly);
    if (WorkbookReader::python().isEmpty())
        QSKIP(qPrintable(WorkbookReader::skipReason()));
    const PacketTable t = threePackets();
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("regional.xlsx"));
    WriteOutcome r;
    {
        const CLocaleSwitch switched(locale.constData(), numericOnly ? LC_NUMERIC : LC_ALL);
        if (!switched.installed())
            QSKIP(qPrintable("locale " + locale + " is not installed (locale-gen)"));
        const QByteArray regional = cPrinted(7.1);
        QCOMPARE(regional, QByteArray("7,10"));
        if (worker) {
            std::unique_ptr<QThread> th(QThread::create([&] { r = writeXlsxFile(name, t, 3); }));
            th->start();
            QVERIFY(th->wait(60000));
        } else {
            r = writeXlsxFile(name, t, 3);
        }
        QCOMPARE(cPrinted(7.1), regional);
    }
    QVERIFY2(r.ok, qPrintable(r.error));
    WorkbookReader back;
    QVERIFY2(back.read(name), qPrintable(back.error()));
    QCOMPARE(back.cell(2, sheetCol(6)).value.toDouble(), 10.2);
    QCOMPARE(back.cell(3, sheetCol(8)).value.toDouble(), 8.75);
    QCOMPARE(back.cell(3, sheetCol(5)).value.toDouble(), -5.0);
    QCOMPARE(back.cell(4, sheetCol(kLastCol)).value.toDouble(), 39.5);
    QCOMPARE(back.cell(2, 3).value.toString(), QStringLiteral("1999-05-14T08:12:00"));
    QCOMPARE(back.cell(3, 3).value.toString(), QStringLiteral("2026-12-01T23:59:00"));
    // Widths with a fraction: a comma would have lost them.
    QVERIFY(back.widths.value("C") >= QStringLiteral("dd.mm.yyyy hh:mm").size());
    QVERIFY(back.widths.value("J") >= 30);
    QVERIFY(back.margins.value("left") > 0.5 && back.margins.value("left") < 1);
}

// Both export kinds fail alike: the message, the old file intact, no scratch file left.
void TstXlsxExport::failedWriteKeepsTheOldFile_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<qint64>("sizeLimit"); // under the export's size
    for (const char* suffix : {"xlsx", "csv"}) {
        const bool csv = QByteArray(suffix) == "csv";
        const qint64 limit = csv ? 512 : 2048; // the CSV is about 1.5 kB, the workbook 7 kB
        QTest::addRow("%s: read-only folder", suffix) << "readonly" << suffix << limit;
        QTest::addRow("%s: full disk (file size limit)", suffix) << "fsize" << suffix << limit;
        QTest::addRow("%s: folder missing", suffix) << "missing" << suffix << limit;
        QTest::addRow("%s: name is a folder", suffix) << "folder" << suffix << limit;
    }
}

void TstXlsxExport::failedWriteKeepsTheOldFile() {
    QFETCH(QString, how);
    QFETCH(QString, suffix);
    QFETCH(qint64, sizeLimit);
    QTemporaryDir dir;
    const QString folder = dir.filePath("data");
    QVERIFY(QDir().mkpath(folder));
    const QString fileName = "export." + suffix;
    QString name = folder + "/" + fileName;
    const QByteArray old = "the old export\r\n";
    QVERIFY(writeAll(name, old));
    const PacketTable t = threePackets();
    const auto write = [&] {
        return suffix == "csv" ? writeCsvFile(name, t, 3, QLocale::c()) : writeXlsxFile(name, t, 3);
    };

    WriteOutcome r;
    if (how == "readonly") {
        QVERIFY(WritesAsUnprivileged::makeReadOnlyFolder(folder, dir.path()));
        WritesAsUnprivileged unprivileged;
        if (!unprivileged.effective())
            QSKIP("this system refuses setfsuid, so root cannot be kept out of a folder");
        r = write();
    } else if (how == "fsize") {
        FileSizeLimit limit(sizeLimit);
        QVERIFY(limit.active());
        r = write();
    } else if (how == "missing") {
        name = dir.filePath("nowhere/" + fileName);
        r = write();
    } else {
        name = folder;
        r = write();
    }
    QVERIFY(!r.ok);
    QVERIFY(!r.error.isEmpty());
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(readAll(folder + "/" + fileName), old);
    // No scratch or temporary file is left behind, hidden ones included.
    QCOMPARE(everyFile(folder), QStringList{fileName});
    QCOMPARE(everyFile(dir.path()), QStringList());
}

QTEST_GUILESS_MAIN(TstXlsxExport)
#include "tst_xlsxexport.moc"
