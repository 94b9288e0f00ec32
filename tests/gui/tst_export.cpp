#include "FailingWrites.h"
#include "ScriptedDialogs.h"
#include "WorkbookReader.h"
#include "main_frm.h"
#include "packets/CsvExport.h"

#include <QAction>
#include <QDate>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>

using namespace kelotari;

namespace {

QByteArray readFile(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString& name, const QByteArray& bytes) {
    QFile f(name);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A window on a temporary data folder that holds one data file, with three packets loaded.
struct Fixture {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    QString dataDir;
    QByteArray datBytes = "a data file\r\n\x1A\r\n";
    std::unique_ptr<TMainFrm> frm;

    explicit Fixture(const QByteArray& lang = QByteArray()) {
        dataDir = dir.filePath("data") + "/";
        QDir().mkpath(dataDir);
        writeFile(dataDir + "101226.DAT", datBytes);
        writeFile(dir.filePath("kelotari.INI"), "[DB]\nPath=" + dataDir.toUtf8() + "\n");
        if (!lang.isNull())
            writeFile(dir.filePath("DefLang.lng"), lang);
        MainFrmEnv env;
        env.settingsFile = dir.filePath("kelotari.INI");
        env.languageFile = dir.filePath("DefLang.lng");
        env.dialogs = &dialogs;
        frm = std::make_unique<TMainFrm>(env);
        frm->show();
    }
    void putPackets(int n) {
        MainState& s = frm->state();
        for (int r = 1; r <= n; ++r) {
            s.table.setCell(0, r, QByteArray::number(r));
            s.table.setCell(1, r, "2");
            s.table.setCell(4, r, "M\xE4nty");
            s.table.setCell(6, r, "12.5");
            s.table.setCell(kCommentCol, r, "pino; \"A\"");
            s.table.setCell(kFirstReadingCol, r, "12.5");
            s.table.setCell(kFirstReadingCol + 1, r, "14.0");
        }
        s.PacketCount = n;
    }
    QAction* action() const { return frm->findChild<QAction*>("ExportCsv"); }
    // What the item shows when the grid's popup opens.
    bool enabledInPopup() const {
        auto* menu = frm->findChild<QMenu*>("GridPopup");
        QMetaObject::invokeMethod(menu, "aboutToShow");
        return action()->isEnabled();
    }
    QList<QByteArray> snapshot() const {
        QList<QByteArray> cells;
        for (int r = 1; r < kRows; ++r)
            for (int c = 0; c < kColumns; ++c)
                cells << frm->state().table.cell(c, r);
        return cells;
    }
};

struct DefaultLocale {
    explicit DefaultLocale(const QLocale& l) { QLocale::setDefault(l); }
    ~DefaultLocale() { QLocale::setDefault(QLocale::system()); }
};

} // namespace

class TstExport : public QObject {
    Q_OBJECT
private slots:
    void itemFollowsPrintAllWithItsCaption_data();
    void itemFollowsPrintAllWithItsCaption();
    void enabledOnlyWithPacketsAndNoConversation();
    void exportWritesTheTableAndChangesNothing_data();
    void exportWritesTheTableAndChangesNothing();
    void workbookIsTheDefault();
    void kindFollowsFilterAndExtension_data();
    void kindFollowsFilterAndExtension();
    void cancelWritesNothing();
    void existingFileNeedsConfirmation_data();
    void existingFileNeedsConfirmation();
    void failedWriteSaysSoAndKeepsTheOldFile_data();
    void failedWriteSaysSoAndKeepsTheOldFile();
};

void TstExport::itemFollowsPrintAllWithItsCaption_data() {
    QTest::addColumn<QByteArray>("lang");
    QTest::addColumn<QString>("caption");
    QTest::newRow("no language file") << QByteArray() << "Export for spreadsheet...";
    QTest::newRow("key of its own") << QByteArray("[kelotari]\nexportsheet=To Calc\n") << "To Calc";
    QTest::newRow("empty key") << QByteArray("[Kelotari]\nExportSheet=\n") << "";
    QFile fi(KELOTARI_SOURCE_DIR "/lang/Suomi.lng");
    QVERIFY(fi.open(QIODevice::ReadOnly));
    QTest::newRow("Suomi.lng") << fi.readAll() << "Vie taulukkolaskentaan...";
}

void TstExport::itemFollowsPrintAllWithItsCaption() {
    QFETCH(QByteArray, lang);
    QFETCH(QString, caption);
    Fixture fx(lang);
    QCOMPARE(fx.action()->text(), caption);
    const QList<QAction*> items = fx.frm->findChild<QMenu*>("GridPopup")->actions();
    const qsizetype at = items.indexOf(fx.frm->findChild<QAction*>("PrintAll"));
    QVERIFY(at >= 0 && at + 1 < items.size());
    QCOMPARE(items[at + 1], fx.action());
}

void TstExport::enabledOnlyWithPacketsAndNoConversation() {
    Fixture fx;
    QVERIFY(!fx.enabledInPopup());
    fx.frm->ExportCsvClick(); // nothing to export: no dialog at all
    QVERIFY(fx.dialogs.calls.isEmpty());
    fx.putPackets(2);
    QVERIFY(fx.enabledInPopup());
    fx.frm->beginConversation([] {});
    QVERIFY(!fx.enabledInPopup());
    fx.frm->ExportCsvClick();
    QVERIFY(fx.dialogs.calls.isEmpty());
    fx.frm->endConversation();
    QVERIFY(fx.enabledInPopup());
    fx.frm->state().PacketCount = 0;
    QVERIFY(!fx.enabledInPopup());
}

void TstExport::exportWritesTheTableAndChangesNothing_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<bool>("unsaved");
    QTest::addColumn<QByteArray>("firstRow");
    QTest::newRow("en, saved") << QLocale(QLocale::English, QLocale::UnitedStates) << false
                               << QByteArray(
                                      "1,2,,,M\xC3\xA4nty,,12.5,,,,\"pino; \"\"A\"\"\",12.5,14.0");
    QTest::newRow("fi, unsaved")
        << QLocale(QLocale::Finnish, QLocale::Finland) << true
        << QByteArray("1;2;;;M\xC3\xA4nty;;12,5;;;;\"pino; \"\"A\"\"\";12,5;14,0");
}

void TstExport::exportWritesTheTableAndChangesNothing() {
    QFETCH(QLocale, locale);
    QFETCH(bool, unsaved);
    QFETCH(QByteArray, firstRow);
    DefaultLocale useLocale(locale);
    Fixture fx;
    fx.putPackets(3);
    fx.frm->state().Unsaved = unsaved;
    fx.frm->state().SelRow = 2;
    const QList<QByteArray> before = fx.snapshot();
    const QString target = fx.dataDir + "export.csv";
    fx.dialogs.saveNames.enqueue(target);
    fx.dialogs.saveFilters.enqueue("CSV (*.csv)");

    fx.action()->trigger();

    const QList<ScriptedDialogs::Call> saves = fx.dialogs.callsOf("save");
    QCOMPARE(saves.size(), 1);
    QCOMPARE(saves[0].title, fx.action()->text());
    QCOMPARE(fx.dialogs.kinds(), QStringList{"save"}); // no question, no message
    const QByteArray csv = readFile(target);
    QCOMPARE(csv, exportCsv(fx.frm->state().table, 3, locale));
    const QList<QByteArray> lines = csv.split('\n');
    QCOMPARE(lines.size(), 5); // heading, three packets, nothing after the last CR LF
    QVERIFY(lines[1].startsWith(firstRow));
    // The table, its state and the data files are as they were.
    QCOMPARE(fx.snapshot(), before);
    QCOMPARE(fx.frm->state().Unsaved, unsaved);
    QCOMPARE(fx.frm->state().PacketCount, 3);
    QCOMPARE(fx.frm->state().SelRow, 2);
    QCOMPARE(readFile(fx.dataDir + "101226.DAT"), fx.datBytes);
    QCOMPARE(QDir(fx.dataDir).entryList(QDir::Files), (QStringList{"101226.DAT", "export.csv"}));
}

void TstExport::workbookIsTheDefault() {
    Fixture fx;
    fx.putPackets(3);
    fx.frm->state().Unsaved = true;
    const QList<QByteArray> before = fx.snapshot();
    const QString target = fx.dataDir + "export.xlsx";
    fx.dialogs.saveNames.enqueue(target);

    fx.action()->trigger();

    const QList<ScriptedDialogs::Call> saves = fx.dialogs.callsOf("save");
    QCOMPARE(saves.size(), 1);
    QCOMPARE(saves[0].title, fx.action()->text());
    QCOMPARE(saves[0].text,
             fx.dataDir + QDate::currentDate().toString(QStringLiteral("ddMMyy")) + ".xlsx");
    QCOMPARE(fx.dialogs.saveFilterLists, QStringList{"Excel workbook (*.xlsx);;CSV (*.csv)"});
    QCOMPARE(fx.dialogs.kinds(), QStringList{"save"});
    QVERIFY(readFile(target).startsWith("PK\x03\x04"));
    QCOMPARE(fx.snapshot(), before);
    QVERIFY(fx.frm->state().Unsaved);
    QCOMPARE(fx.frm->state().PacketCount, 3);
    QCOMPARE(readFile(fx.dataDir + "101226.DAT"), fx.datBytes);
    QCOMPARE(QDir(fx.dataDir).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"101226.DAT", "export.xlsx"}));

    if (WorkbookReader::python().isEmpty())
        QSKIP(qPrintable(WorkbookReader::skipReason()));
    WorkbookReader back;
    QVERIFY2(back.read(target), qPrintable(back.error()));
    QCOMPARE(back.cell(1, 1).value.toString(), QStringLiteral("Packet"));
    for (int row = 2; row <= 4; ++row) {
        QCOMPARE(back.cell(row, 1).type, QStringLiteral("n"));
        QCOMPARE(back.cell(row, 1).value.toDouble(), row - 1.0);
        QCOMPARE(back.cell(row, 4).value.toString(), QString::fromUtf8("M\xC3\xA4nty"));
        QCOMPARE(back.cell(row, 6).value.toDouble(), 12.5);
        QCOMPARE(back.cell(row, 10).type, QStringLiteral("s"));
        QCOMPARE(back.cell(row, 10).value.toString(), QStringLiteral("pino; \"A\""));
        QCOMPARE(back.cell(row, 12).value.toDouble(), 14.0);
    }
    QVERIFY(!back.has(5, 1));
}

void TstExport::kindFollowsFilterAndExtension_data() {
    QTest::addColumn<QString>("filter"); // selected in the dialog; empty: the first one
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::addColumn<bool>("workbook");
    const QString xlsx = "Excel workbook (*.xlsx)";
    const QString csv = "CSV (*.csv)";
    QTest::newRow("default filter") << QString() << "a.xlsx"
                                    << "a.xlsx" << true;
    QTest::newRow("no extension, default filter") << QString() << "a"
                                                  << "a.xlsx" << true;
    QTest::newRow("no extension, CSV filter") << csv << "a"
                                              << "a.csv" << false;
    QTest::newRow("CSV filter") << csv << "a.csv"
                                << "a.csv" << false;
    QTest::newRow("typed .xlsx wins over the CSV filter") << csv << "a.xlsx"
                                                          << "a.xlsx" << true;
    QTest::newRow("typed .csv wins over the workbook filter") << xlsx << "a.csv"
                                                              << "a.csv" << false;
    QTest::newRow("capitals") << xlsx << "A.CSV"
                              << "A.CSV" << false;
    QTest::newRow("other extension, workbook filter") << xlsx << "a.txt"
                                                      << "a.txt.xlsx" << true;
    QTest::newRow("other extension, CSV filter") << csv << "a.txt"
                                                 << "a.txt.csv" << false;
    QTest::newRow("date with dots") << xlsx << "Saha 11.12.26"
                                    << "Saha 11.12.26.xlsx" << true;
    QTest::newRow("version with a dot, CSV filter") << csv << "v1.2 export"
                                                    << "v1.2 export.csv" << false;
}

void TstExport::kindFollowsFilterAndExtension() {
    QFETCH(QString, filter);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QFETCH(bool, workbook);
    Fixture fx;
    fx.putPackets(2);
    fx.dialogs.saveNames.enqueue(fx.dataDir + typed);
    if (!filter.isEmpty())
        fx.dialogs.saveFilters.enqueue(filter);
    fx.action()->trigger();
    QCOMPARE(fx.dialogs.kinds(), QStringList{"save"});
    QCOMPARE(QDir(fx.dataDir).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"101226.DAT", written}));
    const QByteArray bytes = readFile(fx.dataDir + written);
    if (workbook)
        QVERIFY(bytes.startsWith("PK\x03\x04"));
    else
        QCOMPARE(bytes, exportCsv(fx.frm->state().table, 2, QLocale()));
}

void TstExport::cancelWritesNothing() {
    Fixture fx;
    fx.putPackets(1);
    fx.action()->trigger(); // the save dialog is cancelled
    QCOMPARE(fx.dialogs.kinds(), QStringList{"save"});
    QCOMPARE(QDir(fx.dataDir).entryList(QDir::Files), QStringList{"101226.DAT"});
}

void TstExport::existingFileNeedsConfirmation_data() {
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("name");
    QTest::newRow("No keeps the file") << false << "old.csv";
    QTest::newRow("Yes replaces it") << true << "old.csv";
    QTest::newRow("No keeps a workbook") << false << "old.xlsx";
    QTest::newRow("Yes replaces a workbook") << true << "old.xlsx";
}

void TstExport::existingFileNeedsConfirmation() {
    QFETCH(bool, yes);
    QFETCH(QString, name);
    Fixture fx;
    fx.putPackets(2);
    const QString target = fx.dataDir + name;
    QVERIFY(writeFile(target, "old"));
    fx.dialogs.saveNames.enqueue(target);
    fx.dialogs.yesNoAnswers.enqueue(yes);
    fx.action()->trigger();
    QCOMPARE(fx.dialogs.kinds(), (QStringList{"save", "ask"}));
    QCOMPARE(fx.dialogs.calls[1].text, fx.frm->texts().FileExistsMsg);
    const QByteArray now = readFile(target);
    if (!yes)
        QCOMPARE(now, QByteArray("old"));
    else if (name.endsWith(".csv"))
        QCOMPARE(now, exportCsv(fx.frm->state().table, 2, QLocale()));
    else
        QVERIFY(now.startsWith("PK\x03\x04"));
}

void TstExport::failedWriteSaysSoAndKeepsTheOldFile_data() {
    QTest::addColumn<QString>("how"); // "full", "readonly" or "folder"
    QTest::addColumn<QString>("name");
    for (const char* name : {"export.csv", "export.xlsx"}) {
        QTest::addRow("read-only folder, %s", name) << "readonly" << name;
        QTest::addRow("full disk, %s", name) << "full" << name;
        QTest::addRow("target is a folder, %s", name) << "folder" << name;
    }
}

void TstExport::failedWriteSaysSoAndKeepsTheOldFile() {
    QFETCH(QString, how);
    QFETCH(QString, name);
    Fixture fx;
    fx.putPackets(3);
    fx.frm->state().Unsaved = true;
    const QList<QByteArray> before = fx.snapshot();
    const QString folder = fx.dir.filePath("out");
    QVERIFY(QDir().mkpath(folder));
    QString target = folder + "/" + name;
    QString oldFile = target;
    if (how == "folder") {
        oldFile = folder + "/beside." + QFileInfo(name).suffix();
        QVERIFY(QDir().mkpath(target));
    }
    QVERIFY(writeFile(oldFile, "old export"));
    fx.dialogs.saveNames.enqueue(target);
    fx.dialogs.yesNoAnswers.enqueue(true);
    if (how == "full") {
        FileSizeLimit limit(256);
        QVERIFY(limit.active());
        fx.action()->trigger();
    } else if (how == "folder") {
        fx.action()->trigger();
    } else {
        QVERIFY(WritesAsUnprivileged::makeReadOnlyFolder(folder, fx.dir.path()));
        WritesAsUnprivileged unprivileged;
        if (!unprivileged.effective())
            QSKIP("this system refuses setfsuid, so root cannot be kept out of a folder");
        fx.action()->trigger();
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(fx.dialogs.kinds(), (QStringList{"save", "ask", "message"}));
    const QString msg = fx.dialogs.calls[2].text;
    // The message, then the file's name once, with the reason.
    const QString head = fx.frm->texts().SaveErrorMsg + "\r" + target;
    QVERIFY2(msg.startsWith(head), qPrintable(msg));
    QVERIFY2(msg.count(target) == 1, qPrintable(msg));
    QVERIFY(msg.size() > head.size() + 2);
    QCOMPARE(readFile(oldFile), QByteArray("old export"));
    // Nothing else is left in the folder: no scratch or temporary file, hidden ones included.
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System),
             QStringList{QFileInfo(oldFile).fileName()});
    if (how == "folder")
        QVERIFY(QFileInfo(target).isDir());
    QCOMPARE(fx.snapshot(), before);
    QVERIFY(fx.frm->state().Unsaved);
    QCOMPARE(fx.frm->state().PacketCount, 3);
}

QTEST_MAIN(TstExport)
#include "tst_export.moc"
