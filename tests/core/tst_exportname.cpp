#include "packets/ExportName.h"

#include <QtTest>

using namespace kelotari;

Q_DECLARE_METATYPE(kelotari::ExportKind)

class TstExportName : public QObject {
    Q_OBJECT
private slots:
    void nameAndKind_data();
    void nameAndKind();
};

void TstExportName::nameAndKind_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<ExportKind>("filter");
    QTest::addColumn<QString>("written");
    QTest::addColumn<ExportKind>("kind");
    const auto book = ExportKind::Workbook;
    const auto csv = ExportKind::Csv;
    const QString d = QStringLiteral("/data/");
    struct Row {
        const char* what;
        QString chosen;
        ExportKind filter;
        QString written;
        ExportKind kind;
    };
    const QList<Row> rows{
        {"plain name, workbook filter", d + "101226", book, d + "101226.xlsx", book},
        {"plain name, CSV filter", d + "101226", csv, d + "101226.csv", csv},
        {"own extension", d + "a.xlsx", book, d + "a.xlsx", book},
        {"typed .csv wins over the workbook filter", d + "a.csv", book, d + "a.csv", csv},
        {"typed .xlsx wins over the CSV filter", d + "a.xlsx", csv, d + "a.xlsx", book},
        {"capitals", d + "A.CSV", book, d + "A.CSV", csv},
        {"mixed case", d + "Saha.XlSx", csv, d + "Saha.XlSx", book},
        {"a date with dots", d + "Saha 11.12.26", book, d + "Saha 11.12.26.xlsx", book},
        {"a date with dots, CSV", d + "Saha 11.12.26", csv, d + "Saha 11.12.26.csv", csv},
        {"a version number", d + "v1.2 export", book, d + "v1.2 export.xlsx", book},
        {"other extension", d + "other.txt", book, d + "other.txt.xlsx", book},
        {"other extension, CSV filter", d + "other.txt", csv, d + "other.txt.csv", csv},
        {"the other kind's extension inside the name", d + "a.csv.bak", book, d + "a.csv.bak.xlsx",
         book},
        {"extension without its dot", d + "dataxlsx", csv, d + "dataxlsx.csv", csv},
        {"ends in a dot", d + "saha.", book, d + "saha..xlsx", book},
        {"dotted folder", "/data/v1.2/export", csv, "/data/v1.2/export.csv", csv},
        {"hidden name", d + ".kelo", book, d + ".kelo.xlsx", book},
        {"folder", d, book, d, book},
        {"non-ASCII", d + QString::fromUtf8("p\xC3\xA4iv\xC3\xA4.CSV"), book,
         d + QString::fromUtf8("p\xC3\xA4iv\xC3\xA4.CSV"), csv},
    };
    for (const Row& r : rows)
        QTest::newRow(r.what) << r.chosen << r.filter << r.written << r.kind;
}

void TstExportName::nameAndKind() {
    QFETCH(QString, chosen);
    QFETCH(ExportKind, filter);
    QFETCH(QString, written);
    QFETCH(ExportKind, kind);
    const ExportTarget t = exportTarget(chosen, filter);
    QCOMPARE(t.fileName, written);
    QCOMPARE(t.kind, kind);
}

QTEST_GUILESS_MAIN(TstExportName)
#include "tst_exportname.moc"
