#include "FailingWrites.h"
#include "PacketRows.h"
#include "lang/MainTexts.h"
#include "packets/CsvExport.h"
#include "packets/PacketTable.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace kelotari;

namespace {

const QByteArray kBom("\xEF\xBB\xBF");

// Three packets: a short one, one with a Windows-1252 wood type and a negative temperature,
// and a full one of 30 readings.
PacketTable threePackets() {
    PacketTable t;
    setDefaultHeadings(t);
    putRow(t, 1, {"1", "3", "08.12.26", "14:31", "Kuusi", "20", "10.2", "19.8", "14.1", "2.3"},
           "first", {"10.2", "12.5", "19.8"});
    putRow(t, 2, {"2", "2", "09.12.26", "08:05", "M\xE4nty", "-5", "8", "9.5", "8.75", "0.75"}, "",
           {"8", "9.5"});
    QList<QByteArray> full;
    for (int i = 0; i < 30; ++i)
        full << QByteArray::number(10 + i) + ".0";
    putRow(t, 3, {"3", "30", "10.12.26", "23:59", "Koivu", "18", "10.0", "39.0", "24.5", "8.8"},
           "kuivaamo 2", full);
    return t;
}

QByteArray headingRow(char sep) {
    QByteArray r = "Packet,Samples,Date,Time,Wood type,Temp.,Lowest,Highest,AVG,s,Comment";
    for (int i = 1; i <= 30; ++i)
        r += ",Data" + QByteArray::number(i);
    r.replace(',', sep);
    return r + "\r\n";
}

// A packet row written out by hand: the fields given, then empty ones up to column 40.
QByteArray row(const QList<QByteArray>& fields, char sep) {
    QByteArray r = fields.join(sep);
    r += QByteArray(kColumns - static_cast<int>(fields.size()), sep);
    return r + "\r\n";
}

QByteArray readAll(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeAll(const QString& name, const QByteArray& bytes) {
    QFile f(name);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

class TstCsvExport : public QObject {
    Q_OBJECT
private slots:
    void threePacketTable_data();
    void threePacketTable();
    void decimalPointOnlyInPlainNumbers_data();
    void decimalPointOnlyInPlainNumbers();
    void awkwardCellsAreQuoted_data();
    void awkwardCellsAreQuoted();
    void formulasAndPadding_data();
    void formulasAndPadding();
    void emptyTableGivesHeadingsOnly();
    void rowsBeyondPacketCountAreLeftOut();
    void writtenFileHoldsTheBytes();
};

void TstCsvExport::threePacketTable_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QByteArray>("expected");

    QList<QByteArray> full;
    for (int i = 0; i < 30; ++i)
        full << QByteArray::number(10 + i) + ".0";
    auto expected = [&](char sep, char dec) {
        auto d = [dec](QByteArray s) { return s.replace('.', dec); };
        QByteArray e = kBom + headingRow(sep);
        e += row({"1", "3", "08.12.26", "14:31", "Kuusi", "20", d("10.2"), d("19.8"), d("14.1"),
                  d("2.3"), "first", d("10.2"), d("12.5"), d("19.8")},
                 sep);
        e += row({"2", "2", "09.12.26", "08:05", "M\xC3\xA4nty", "-5", "8", d("9.5"), d("8.75"),
                  d("0.75"), "", "8", d("9.5")},
                 sep);
        QList<QByteArray> third{"3",       "30",      "10.12.26", "23:59",  "Koivu",     "18",
                                d("10.0"), d("39.0"), d("24.5"),  d("8.8"), "kuivaamo 2"};
        for (const QByteArray& r : full)
            third << d(r);
        e += row(third, sep);
        return e;
    };
    const QByteArray point = expected(',', '.');
    const QByteArray comma = expected(';', ',');
    QTest::newRow("C") << QLocale::c() << point;
    QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates) << point;
    QTest::newRow("en_GB") << QLocale(QLocale::English, QLocale::UnitedKingdom) << point;
    QTest::newRow("fi_FI") << QLocale(QLocale::Finnish, QLocale::Finland) << comma;
    QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany) << comma;
    QTest::newRow("sv_SE") << QLocale(QLocale::Swedish, QLocale::Sweden) << comma;
}

void TstCsvExport::threePacketTable() {
    QFETCH(QLocale, locale);
    QFETCH(QByteArray, expected);
    const PacketTable t = threePackets();
    const QByteArray got = exportCsv(t, 3, locale);
    // Row by row first, so a difference shows where it is.
    const QList<QByteArray> gotRows = got.split('\n');
    const QList<QByteArray> wantRows = expected.split('\n');
    QCOMPARE(gotRows.size(), wantRows.size());
    for (int i = 0; i < gotRows.size(); ++i)
        QCOMPARE(gotRows[i], wantRows[i]);
    QCOMPARE(got, expected);
}

void TstCsvExport::decimalPointOnlyInPlainNumbers_data() {
    QTest::addColumn<int>("col");
    QTest::addColumn<QByteArray>("cell");
    QTest::addColumn<QByteArray>("comma"); // as written under a decimal-comma locale

    QTest::newRow("reading") << kFirstReadingCol << QByteArray("12.5") << QByteArray("12,5");
    QTest::newRow("last reading") << kLastCol << QByteArray("39.9") << QByteArray("39,9");
    QTest::newRow("whole number") << kFirstReadingCol << QByteArray("12") << QByteArray("12");
    QTest::newRow("negative") << 5 << QByteArray("-3.5") << QByteArray("-3,5");
    QTest::newRow("leading point") << 8 << QByteArray(".5") << QByteArray(",5");
    QTest::newRow("trailing point") << 9 << QByteArray("7.") << QByteArray("7,");
    QTest::newRow("blanks kept") << 6 << QByteArray(" 7.5") << QByteArray(" 7,5");
    QTest::newRow("two points: not a number") << 7 << QByteArray("1.2.3") << QByteArray("1.2.3");
    QTest::newRow("text in a number column") << 6 << QByteArray("E.1") << QByteArray("E.1");
    QTest::newRow("date stays") << 2 << QByteArray("08.12.26") << QByteArray("08.12.26");
    QTest::newRow("time stays") << 3 << QByteArray("14.31") << QByteArray("14.31");
    QTest::newRow("wood type stays") << 4 << QByteArray("1.5") << QByteArray("1.5");
    QTest::newRow("comment stays")
        << kCommentCol << QByteArray("pino 2.5 m") << QByteArray("pino 2.5 m");
    QTest::newRow("comment number stays") << kCommentCol << QByteArray("2.5") << QByteArray("2.5");
}

void TstCsvExport::decimalPointOnlyInPlainNumbers() {
    QFETCH(int, col);
    QFETCH(QByteArray, cell);
    QFETCH(QByteArray, comma);
    PacketTable t;
    t.setCell(col, 1, cell);
    const auto fieldOf = [col](const QByteArray& csv, char sep) {
        const QByteArray line = csv.split('\r').at(1).mid(1); // row 1 without its leading LF
        return line.split(sep).at(col);
    };
    QCOMPARE(fieldOf(exportCsv(t, 1, QLocale(QLocale::Finnish, QLocale::Finland)), ';'), comma);
    QCOMPARE(fieldOf(exportCsv(t, 1, QLocale(QLocale::English, QLocale::UnitedStates)), ','), cell);
}

void TstCsvExport::awkwardCellsAreQuoted_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QByteArray>("wood");     // Windows-1252, as in the table
    QTest::addColumn<QByteArray>("comment");  // Windows-1252, as in the table
    QTest::addColumn<QByteArray>("expected"); // the packet row, UTF-8

    const QLocale en(QLocale::English, QLocale::UnitedStates);
    const QLocale fi(QLocale::Finnish, QLocale::Finland);
    auto line = [](char sep, const QByteArray& wood, const QByteArray& comment,
                   const QByteArray& number) {
        return row({"1", "1", "d", "t", wood, "20", number, number, number, "0", comment, number},
                   sep);
    };
    QTest::newRow("semicolon, point locale")
        << en << QByteArray("Kuusi") << QByteArray("a;b") << line(',', "Kuusi", "a;b", "1.5");
    QTest::newRow("semicolon, comma locale")
        << fi << QByteArray("Kuusi") << QByteArray("a;b") << line(';', "Kuusi", "\"a;b\"", "1,5");
    QTest::newRow("comma, point locale")
        << en << QByteArray("Kuusi") << QByteArray("a,b") << line(',', "Kuusi", "\"a,b\"", "1.5");
    QTest::newRow("comma, comma locale")
        << fi << QByteArray("Kuusi") << QByteArray("a,b") << line(';', "Kuusi", "a,b", "1,5");
    QTest::newRow("quotes") << en << QByteArray("Kuusi") << QByteArray("say \"dry\"")
                            << line(',', "Kuusi", "\"say \"\"dry\"\"\"", "1.5");
    QTest::newRow("lone quote") << fi << QByteArray("Kuusi") << QByteArray("\"")
                                << line(';', "Kuusi", "\"\"\"\"", "1,5");
    QTest::newRow("CR LF inside") << en << QByteArray("Kuusi") << QByteArray("one\r\ntwo")
                                  << line(',', "Kuusi", "\"one\r\ntwo\"", "1.5");
    QTest::newRow("LF inside") << fi << QByteArray("Kuusi") << QByteArray("one\ntwo")
                               << line(';', "Kuusi", "\"one\ntwo\"", "1,5");
    QTest::newRow("all at once") << fi << QByteArray("Kuusi") << QByteArray("a;b,c\"d\"\r\ne")
                                 << line(';', "Kuusi", "\"a;b,c\"\"d\"\"\r\ne\"", "1,5");
    QTest::newRow("a and o with dots")
        << fi << QByteArray("M\xE4nty \xF6ljy") << QByteArray("\xC4\xD6 s\xE4\xE4")
        << line(';', "M\xC3\xA4nty \xC3\xB6ljy", "\xC3\x84\xC3\x96 s\xC3\xA4\xC3\xA4", "1,5");
    QTest::newRow("wood type with a separator")
        << en << QByteArray("Kuusi, 2") << QByteArray("") << line(',', "\"Kuusi, 2\"", "", "1.5");
}

void TstCsvExport::awkwardCellsAreQuoted() {
    QFETCH(QLocale, locale);
    QFETCH(QByteArray, wood);
    QFETCH(QByteArray, comment);
    QFETCH(QByteArray, expected);
    PacketTable t;
    setDefaultHeadings(t);
    putRow(t, 1, {"1", "1", "d", "t", wood, "20", "1.5", "1.5", "1.5", "0"}, comment, {"1.5"});
    const PacketTable before = t;
    const QByteArray got = exportCsv(t, 1, locale);
    const QByteArray heading = headingRow(csvFormatFor(locale).fieldSeparator);
    QVERIFY(got.startsWith(kBom + heading));
    QCOMPARE(got.mid(kBom.size() + heading.size()), expected);
    for (int col = 0; col < kColumns; ++col)
        QCOMPARE(t.cell(col, 1), before.cell(col, 1));
}

void TstCsvExport::formulasAndPadding_data() {
    QTest::addColumn<int>("col");
    QTest::addColumn<QByteArray>("cell");     // Windows-1252, as in the table
    QTest::addColumn<QByteArray>("expected"); // the field under a point and a comma locale

    const int comment = kCommentCol;
    QTest::newRow("formula") << comment << QByteArray("=1+1") << QByteArray("'=1+1");
    QTest::newRow("link formula") << comment << QByteArray("=HYPERLINK(\"http://x\";\"click\")")
                                  << QByteArray("\"'=HYPERLINK(\"\"http://x\"\";\"\"click\"\")\"");
    QTest::newRow("plus") << comment << QByteArray("+cmd") << QByteArray("'+cmd");
    QTest::newRow("minus") << comment << QByteArray("-1") << QByteArray("'-1");
    QTest::newRow("at") << comment << QByteArray("@x") << QByteArray("'@x");
    QTest::newRow("tab") << comment << QByteArray("\tx") << QByteArray("'\tx");
    QTest::newRow("CR") << comment << QByteArray("\rx") << QByteArray("\"'\rx\"");
    QTest::newRow("wood type") << 4 << QByteArray("=A1") << QByteArray("'=A1");
    QTest::newRow("date column") << 2 << QByteArray("@d") << QByteArray("'@d");
    QTest::newRow("time column") << 3 << QByteArray("-08:00") << QByteArray("'-08:00");
    QTest::newRow("sign inside") << comment << QByteArray("a=1+1") << QByteArray("a=1+1");
    QTest::newRow("blank first") << comment << QByteArray(" =1") << QByteArray(" =1");
    QTest::newRow("apostrophe already") << comment << QByteArray("'=1") << QByteArray("'=1");
    QTest::newRow("padding dropped")
        << comment << QByteArray("pino 2       ") << QByteArray("pino 2");
    QTest::newRow("padded formula") << comment << QByteArray("=1   ") << QByteArray("'=1");
    QTest::newRow("only blanks") << comment << QByteArray("     ") << QByteArray("");
    QTest::newRow("leading blanks kept") << comment << QByteArray("  a ") << QByteArray("  a");
    QTest::newRow("padded wood type") << 4 << QByteArray("Kuusi   ") << QByteArray("Kuusi");
    QTest::newRow("leading zeros") << comment << QByteArray("0012") << QByteArray("0012");
    // Numbers are never changed, signs and blanks included.
    QTest::newRow("negative temperature") << 5 << QByteArray("-5") << QByteArray("-5");
    QTest::newRow("plus reading") << kFirstReadingCol << QByteArray("+7") << QByteArray("+7");
    QTest::newRow("padded number") << 6 << QByteArray("7   ") << QByteArray("7   ");
    // A number column holding text that a spreadsheet would run is protected like text.
    QTest::newRow("formula in a reading")
        << kFirstReadingCol << QByteArray("=1+1") << QByteArray("'=1+1");
    QTest::newRow("lone minus reading") << kFirstReadingCol << QByteArray("-") << QByteArray("'-");
    QTest::newRow("error reading") << kFirstReadingCol << QByteArray("E") << QByteArray("E");
}

void TstCsvExport::formulasAndPadding() {
    QFETCH(int, col);
    QFETCH(QByteArray, cell);
    QFETCH(QByteArray, expected);
    PacketTable t;
    t.setCell(col, 1, cell);
    const PacketTable before = t;
    const QLocale fi(QLocale::Finnish, QLocale::Finland);
    const QLocale en(QLocale::English, QLocale::UnitedStates);
    for (const QLocale& locale : {fi, en}) {
        const CsvFormat f = csvFormatFor(locale);
        const QByteArray csv = exportCsv(t, 1, locale);
        const QByteArray heading = csv.left(csv.indexOf("\r\n") + 2);
        QByteArray want;
        for (int c = 0; c < kColumns; ++c) {
            if (c > 0)
                want += f.fieldSeparator;
            if (c == col)
                want += expected;
        }
        QCOMPARE(csv.mid(heading.size()), want + "\r\n");
    }
    QCOMPARE(t.cell(col, 1), before.cell(col, 1));
}

void TstCsvExport::emptyTableGivesHeadingsOnly() {
    PacketTable t;
    setDefaultHeadings(t);
    QCOMPARE(exportCsv(t, 0, QLocale::c()), kBom + headingRow(','));
    QCOMPARE(exportCsv(t, 0, QLocale(QLocale::German, QLocale::Germany)), kBom + headingRow(';'));
    // Headings from a language file go through the same quoting and UTF-8 mapping.
    t.setHeading(0, QStringLiteral("Nro; \"p\""));
    t.setHeading(4, QStringLiteral("Puulaji ä"));
    const QByteArray fi = exportCsv(t, 0, QLocale(QLocale::Finnish, QLocale::Finland));
    QVERIFY(fi.startsWith(kBom + "\"Nro; \"\"p\"\"\";Samples;Date;Time;Puulaji \xC3\xA4;Temp."));
}

void TstCsvExport::rowsBeyondPacketCountAreLeftOut() {
    // A download cut short leaves an uncounted row after the packets: it is not a packet.
    PacketTable t = threePackets();
    const QByteArray two = exportCsv(t, 2, QLocale::c());
    QCOMPARE(two.count("\r\n"), 3);
    QVERIFY(!two.contains("Koivu"));
    QCOMPARE(exportCsv(t, 3, QLocale::c()).count("\r\n"), 4);
    // A count past the table's end writes every row once.
    QCOMPARE(exportCsv(t, 1000, QLocale::c()).count("\r\n"), 1 + kMaxPackets);
}

void TstCsvExport::writtenFileHoldsTheBytes() {
    QTemporaryDir dir;
    const QString name = dir.filePath("101226.csv");
    QVERIFY(writeAll(name, "old"));
    const PacketTable t = threePackets();
    const QLocale fi(QLocale::Finnish, QLocale::Finland);
    const WriteOutcome r = writeCsvFile(name, t, 3, fi);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(readAll(name), exportCsv(t, 3, fi));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"101226.csv"});
    QCOMPARE(proposedCsvFileName(QStringLiteral("/srv/data/"), QDate(2026, 12, 10)),
             QStringLiteral("/srv/data/101226.csv"));
}

// The failure paths of both export kinds are one table in tst_xlsxexport.

QTEST_GUILESS_MAIN(TstCsvExport)
#include "tst_csvexport.moc"
