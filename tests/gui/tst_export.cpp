#include "FailingWrites.h"
#include "ScriptedDialogs.h"
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
    void cancelWritesNothing();
    void existingFileNeedsConfirmation_data();
    void existingFileNeedsConfirmation();
    void failedWriteSaysSoAndKeepsTheOldFile_data();
    void failedWriteSaysSoAndKeepsTheOldFile();
};

void TstExport::itemFollowsPrintAllWithItsCaption_data() {
    QTest::addColumn<QByteArray>("lang");
    QTest::addColumn<QString>("caption");
    QTest::newRow("no language file") << QByteArray() << "Export for spreadsheet (CSV)...";
    QTest::newRow("key of its own") << QByteArray("[kelotari]\nexportcsv=To Calc\n") << "To Calc";
    QTest::newRow("empty key") << QByteArray("[Kelotari]\nExportCsv=\n") << "";
    QFile fi(KELOTARI_SOURCE_DIR "/lang/Suomi.lng");
    QVERIFY(fi.open(QIODevice::ReadOnly));
    QTest::newRow("Suomi.lng") << fi.readAll() << "Vie taulukkolaskentaan (CSV)...";
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

    fx.action()->trigger();

    const QList<ScriptedDialogs::Call> saves = fx.dialogs.callsOf("save");
    QCOMPARE(saves.size(), 1);
    QCOMPARE(saves[0].title, fx.action()->text());
    QCOMPARE(saves[0].text,
             fx.dataDir + QDate::currentDate().toString(QStringLiteral("ddMMyy")) + ".csv");
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

void TstExport::cancelWritesNothing() {
    Fixture fx;
    fx.putPackets(1);
    fx.action()->trigger(); // the save dialog is cancelled
    QCOMPARE(fx.dialogs.kinds(), QStringList{"save"});
    QCOMPARE(QDir(fx.dataDir).entryList(QDir::Files), QStringList{"101226.DAT"});
}

void TstExport::existingFileNeedsConfirmation_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("No keeps the file") << false;
    QTest::newRow("Yes replaces it") << true;
}

void TstExport::existingFileNeedsConfirmation() {
    QFETCH(bool, yes);
    Fixture fx;
    fx.putPackets(2);
    const QString target = fx.dataDir + "old.csv";
    QVERIFY(writeFile(target, "old"));
    fx.dialogs.saveNames.enqueue(target);
    fx.dialogs.yesNoAnswers.enqueue(yes);
    fx.action()->trigger();
    QCOMPARE(fx.dialogs.kinds(), (QStringList{"save", "ask"}));
    QCOMPARE(fx.dialogs.calls[1].text, fx.frm->texts().FileExistsMsg);
    QCOMPARE(readFile(target),
             yes ? exportCsv(fx.frm->state().table, 2, QLocale()) : QByteArray("old"));
}

void TstExport::failedWriteSaysSoAndKeepsTheOldFile_data() {
    QTest::addColumn<bool>("fullDisk"); // else a folder the user may not write to
    QTest::newRow("read-only folder") << false;
    QTest::newRow("full disk") << true;
}

void TstExport::failedWriteSaysSoAndKeepsTheOldFile() {
    QFETCH(bool, fullDisk);
    Fixture fx;
    fx.putPackets(3);
    fx.frm->state().Unsaved = true;
    const QList<QByteArray> before = fx.snapshot();
    const QString folder = fx.dir.filePath("out");
    QVERIFY(QDir().mkpath(folder));
    const QString target = folder + "/export.csv";
    QVERIFY(writeFile(target, "old export"));
    fx.dialogs.saveNames.enqueue(target);
    fx.dialogs.yesNoAnswers.enqueue(true);
    if (fullDisk) {
        FileSizeLimit limit(256);
        QVERIFY(limit.active());
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
    QVERIFY2(msg.startsWith(fx.frm->texts().SaveErrorMsg + "\r" + target + ": "), qPrintable(msg));
    QVERIFY(msg.size() > (fx.frm->texts().SaveErrorMsg + "\r" + target + ": ").size());
    QCOMPARE(readFile(target), QByteArray("old export"));
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"export.csv"});
    QCOMPARE(fx.snapshot(), before);
    QVERIFY(fx.frm->state().Unsaved);
    QCOMPARE(fx.frm->state().PacketCount, 3);
}

QTEST_MAIN(TstExport)
#include "tst_export.moc"
