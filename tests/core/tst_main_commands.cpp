// The main window's file commands over a recording view and scripted dialogs: the save
// question, Save, loading by double click, deleting from the file panel, the export, and the
// overwrite rule every save path shares.
#include "NameKinds.h"
#include "PacketRows.h"
#include "RecordingMainView.h"
#include "RecordingView.h"
#include "ScriptedDialogs.h"
#include "ScriptedLink.h"
#include "app/MainCommands.h"
#include "files/SafeWrite.h"
#include "packets/DataFile.h"
#include "print/PdfFile.h"
#include "setup/CalibrationTest.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace kelotari;

namespace {

const QDate kToday(2026, 12, 8);

QByteArray readFile(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The commands on a table of `packets` packets, with the data folder in a temporary folder.
struct Rig {
    QTemporaryDir dir;
    MainState state;
    MainTexts texts;
    ScriptedDialogs dialogs;
    RecordingMainView view;
    MainCommands commands{state, texts, dialogs, view};

    explicit Rig(int packets = 2) {
        state.settings.DataPath = dir.path() + QLatin1Char('/');
        commands.setToday([] { return kToday; });
        for (int r = 1; r <= packets; ++r)
            putRow(state.table, r, {QByteArray::number(r), "1", "08.12.26", "10:00", "Kuusi"},
                   "c" + QByteArray::number(r), {"12.5"});
        state.PacketCount = packets;
    }
    QString path(const QString& name) const { return dir.filePath(name); }
};

} // namespace

class TstMainCommands : public QObject {
    Q_OBJECT
private slots:
    void saveQuestion_data();
    void saveQuestion();
    void saveProposesTheDatedNameAndRefreshesTheList();
    void failedWriteKeepsThePacketsUnsaved();
    void doubleClick_data();
    void doubleClick();
    void loadThatCannotOpenLeavesTableAndSelection();
    void deleteRemovesTheSelectedEntry_data();
    void deleteRemovesTheSelectedEntry();
    void exportKindAndName_data();
    void exportKindAndName();
    void everySavePathAsksAlike_data();
    void everySavePathAsksAlike();
};

void TstMainCommands::saveQuestion_data() {
    QTest::addColumn<bool>("unsaved");
    QTest::addColumn<QList<bool>>("answers"); // the save question, then any overwrite question
    QTest::addColumn<QString>("saveName");    // empty: the save dialog is cancelled
    QTest::addColumn<bool>("goOn");           // what saveQuestionAndSave returns
    QTest::addColumn<bool>("unsavedAfter");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("nothing unsaved")
        << false << QList<bool>{} << "" << true << false << QStringList{};
    QTest::newRow("No clears Unsaved")
        << true << QList<bool>{false} << "" << true << false << QStringList{"ask"};
    QTest::newRow("Yes, then cancelled")
        << true << QList<bool>{true} << "" << false << true << QStringList{"ask", "save"};
    QTest::newRow("Yes, then saved")
        << true << QList<bool>{true} << "a.DAT" << true << false << QStringList{"ask", "save"};
    QTest::newRow("Yes, overwrite refused") << true << QList<bool>{true, false} << "old.DAT"
                                            << false << true << QStringList{"ask", "save", "ask"};
    QTest::newRow("Yes, overwritten") << true << QList<bool>{true, true} << "old.DAT" << true
                                      << false << QStringList{"ask", "save", "ask"};
}

void TstMainCommands::saveQuestion() {
    QFETCH(bool, unsaved);
    QFETCH(QList<bool>, answers);
    QFETCH(QString, saveName);
    QFETCH(bool, goOn);
    QFETCH(bool, unsavedAfter);
    QFETCH(QStringList, calls);
    Rig rig;
    QFile old(rig.path("old.DAT"));
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
    old.close();
    rig.state.Unsaved = unsaved;
    rig.dialogs.yesNoAnswers.append(answers);
    if (!saveName.isEmpty())
        rig.dialogs.saveNames << rig.path(saveName);

    QCOMPARE(rig.commands.saveQuestionAndSave(QStringLiteral("Tallenna")), goOn);
    QCOMPARE(rig.dialogs.kinds(), calls);
    QCOMPARE(rig.state.Unsaved, unsavedAfter);
    if (unsaved)
        QCOMPARE(rig.dialogs.calls[0].text, rig.texts.AskSaveMsg);
    const bool written = unsaved && !unsavedAfter && !saveName.isEmpty();
    QCOMPARE(rig.view.events, written ? QStringList{"refresh"} : QStringList{});
    if (written)
        QCOMPARE(readFile(rig.path(saveName)), serializeDataFile(rig.state.table, 2));
    else
        QCOMPARE(readFile(rig.path("old.DAT")), QByteArray("old"));
}

void TstMainCommands::saveProposesTheDatedNameAndRefreshesTheList() {
    Rig rig(3);
    rig.state.Unsaved = true;
    rig.dialogs.saveNames << rig.path("kiln.DAT");
    QVERIFY(rig.commands.saveAs(QStringLiteral("Tallenna")));
    const ScriptedDialogs::Call save = rig.dialogs.callsOf("save").value(0);
    QCOMPARE(save.title, QStringLiteral("Tallenna"));
    QCOMPARE(save.text, rig.state.settings.DataPath + "081226.DAT");
    QCOMPARE(rig.dialogs.saveFilterLists, QStringList{"Data files (*.dat *.DAT)"});
    QCOMPARE(readFile(rig.path("kiln.DAT")), serializeDataFile(rig.state.table, 3));
    QCOMPARE(rig.view.events, QStringList{"refresh"});
    QVERIFY(!rig.state.Unsaved);
}

void TstMainCommands::failedWriteKeepsThePacketsUnsaved() {
    Rig rig;
    rig.state.Unsaved = true;
    rig.dialogs.saveNames << rig.path("no-such-folder/x.DAT");
    QVERIFY(!rig.commands.saveAs(QStringLiteral("Save")));
    QCOMPARE(rig.dialogs.kinds(), (QStringList{"save", "message"}));
    QCOMPARE(rig.dialogs.calls[1].text, rig.texts.SaveErrorMsg);
    QVERIFY(rig.state.Unsaved);
    QVERIFY(rig.view.events.isEmpty()); // nothing new to list
}

void TstMainCommands::doubleClick_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("unsaved");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<int>("packetsAfter"); // the table holds 2 before, the file 1
    QTest::newRow("not a data file") << "one.txt" << false << false << QStringList{} << 2;
    QTest::newRow("no name") << "" << false << false << QStringList{} << 2;
    QTest::newRow("saved table: loads") << "one.DAT" << false << false << QStringList{} << 1;
    QTest::newRow("any case of DAT") << "one.dAt" << false << false << QStringList{} << 1;
    QTest::newRow("unsaved, No: loads") << "one.DAT" << true << false << QStringList{"ask"} << 1;
    QTest::newRow("unsaved, Yes: saves instead")
        << "one.DAT" << true << true << QStringList{"ask", "save"} << 2;
}

void TstMainCommands::doubleClick() {
    QFETCH(QString, name);
    QFETCH(bool, unsaved);
    QFETCH(bool, yes);
    QFETCH(QStringList, calls);
    QFETCH(int, packetsAfter);
    Rig rig;
    PacketTable one;
    putRow(one, 1, {"7", "1", "01.01.27", "09:00", "Mänty"}, "file", {"9.5"});
    const QByteArray bytes = serializeDataFile(one, 1);
    for (const QString& n :
         {QStringLiteral("one.DAT"), QStringLiteral("one.dAt"), QStringLiteral("one.txt")}) {
        QFile f(rig.path(n));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }
    rig.state.Unsaved = unsaved;
    rig.state.SelRow = 2;
    rig.dialogs.yesNoAnswers << yes;

    rig.commands.openDataFile(name.isEmpty() ? QString() : rig.path(name), QStringLiteral("Save"));
    QCOMPARE(rig.dialogs.kinds(), calls);
    QCOMPARE(rig.state.PacketCount, packetsAfter);
    const bool loaded = packetsAfter == 1;
    QCOMPARE(rig.view.events, loaded ? QStringList{"clear selection"} : QStringList{});
    QCOMPARE(rig.state.SelRow, loaded ? -1 : 2);
    QCOMPARE(rig.state.table.cell(0, 1), loaded ? QByteArray("7") : QByteArray("1"));
    QCOMPARE(rig.state.table.cell(0, 2), loaded ? QByteArray() : QByteArray("2"));
}

void TstMainCommands::loadThatCannotOpenLeavesTableAndSelection() {
    Rig rig;
    rig.state.SelRow = 1;
    QVERIFY(::mkfifo(QFile::encodeName(rig.path("pipe.DAT")).constData(), 0600) == 0);
    for (const QString& n : {QStringLiteral("gone.DAT"), QStringLiteral("pipe.DAT")}) {
        rig.dialogs.calls.clear();
        rig.commands.loadDataFile(rig.path(n));
        QCOMPARE(rig.dialogs.kinds(), QStringList{"message"});
        QVERIFY(rig.dialogs.calls[0].text.startsWith(rig.texts.LoadErrorMsg + " ERR:"));
    }
    QCOMPARE(rig.dialogs.calls[0].text, rig.texts.LoadErrorMsg + " ERR:" + QString::number(ENXIO));
    QCOMPARE(rig.state.PacketCount, 2);
    QCOMPARE(rig.state.SelRow, 1);
    QCOMPARE(rig.state.table.cell(kCommentCol, 2), QByteArray("c2"));
    QVERIFY(rig.view.events.isEmpty());
}

void TstMainCommands::deleteRemovesTheSelectedEntry_data() {
    QTest::addColumn<QString>("kind"); // "none": nothing selected
    QTest::addColumn<QStringList>("after");
    QTest::newRow("nothing selected") << "none" << QStringList{"name.DAT: old"};
    QTest::newRow("a file") << "regular" << QStringList{};
    QTest::newRow("a link: the link, not its file")
        << "link to a file" << QStringList{"target.DAT: old"};
    QTest::newRow("a name that is not UTF-8") << "not UTF-8" << QStringList{"name.DAT: old"};
}

void TstMainCommands::deleteRemovesTheSelectedEntry() {
    QFETCH(QString, kind);
    QFETCH(QStringList, after);
    Rig rig;
    // A bystander whose name a lossy conversion of the selected one must not reach.
    if (kind != QLatin1String("regular") && kind != QLatin1String("link to a file"))
        QVERIFY(!makeNameOfKind(rig.dir.path(), "regular", ".DAT").isEmpty());
    if (kind != QLatin1String("none"))
        rig.view.selected = makeNameOfKind(rig.dir.path(), kind, ".DAT");
    rig.commands.deleteSelectedFile();
    QCOMPARE(describeFolder(rig.dir.path()), after);
    QCOMPARE(rig.view.events, QStringList{"refresh"});
    QVERIFY(rig.dialogs.calls.isEmpty());
}

void TstMainCommands::exportKindAndName_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QByteArray>("start"); // the written file's first bytes
    QTest::newRow("workbook filter, no extension") << "a"
                                                   << "Excel workbook (*.xlsx)"
                                                   << "a.xlsx" << QByteArray("PK");
    QTest::newRow("CSV filter, no extension") << "a"
                                              << "CSV (*.csv)"
                                              << "a.csv" << QByteArray("\xEF\xBB\xBF");
    QTest::newRow("typed .csv wins over the filter") << "a.CSV"
                                                     << "Excel workbook (*.xlsx)"
                                                     << "a.CSV" << QByteArray("\xEF\xBB\xBF");
    QTest::newRow("typed .xlsx wins over the filter") << "a.xlsx"
                                                      << "CSV (*.csv)"
                                                      << "a.xlsx" << QByteArray("PK");
    QTest::newRow("another extension gets the kind's") << "a.txt"
                                                       << "CSV (*.csv)"
                                                       << "a.txt.csv" << QByteArray("\xEF\xBB\xBF");
}

void TstMainCommands::exportKindAndName() {
    QFETCH(QString, typed);
    QFETCH(QString, filter);
    QFETCH(QString, written);
    QFETCH(QByteArray, start);
    Rig rig;
    rig.state.Unsaved = true;
    rig.dialogs.saveNames << rig.path(typed);
    rig.dialogs.saveFilters << filter;
    rig.commands.exportSheet(QStringLiteral("Export"));
    QCOMPARE(rig.dialogs.kinds(), QStringList{"save"});
    QCOMPARE(rig.dialogs.calls[0].text, rig.state.settings.DataPath + "081226.xlsx");
    QCOMPARE(QDir(rig.dir.path()).entryList(QDir::Files), QStringList{written});
    QVERIFY(readFile(rig.path(written)).startsWith(start));
    // Read-only on the table and its state.
    QVERIFY(rig.state.Unsaved);
    QCOMPARE(rig.state.PacketCount, 2);
    QVERIFY(rig.view.events.isEmpty());

    // Nothing to export: no dialog at all.
    Rig empty(0);
    empty.commands.exportSheet(QStringLiteral("Export"));
    QVERIFY(empty.dialogs.calls.isEmpty());
}

// Each save path, given a name of each kind, asks the same question, shows a failure in the
// same cases and leaves the folder alike: the data file's Save is the rule, the others follow.
void TstMainCommands::everySavePathAsksAlike_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("yes");
    for (const char* path : {"data file", "export", "PDF", "certificate"})
        for (const QString& kind : kNameKinds)
            for (bool yes : {true, false})
                if (kind != QLatin1String("missing") || yes) // nothing asked: one row
                    QTest::newRow(qPrintable(
                        QStringLiteral("%1, %2, %3").arg(path, kind, yes ? "Yes" : "No")))
                        << path << kind << yes;
}

void TstMainCommands::everySavePathAsksAlike() {
    QFETCH(QString, path);
    QFETCH(QString, kind);
    QFETCH(bool, yes);
    const QString suffix = path == QLatin1String("data file") ? QStringLiteral(".DAT")
                           : path == QLatin1String("export")  ? QStringLiteral(".xlsx")
                           : path == QLatin1String("PDF")     ? QStringLiteral(".pdf")
                                                              : QStringLiteral(".cal");
    const bool asked = kind != QLatin1String("missing");
    const bool goesOn = !asked || yes;
    const bool failed = goesOn && saveFails(kind);
    const QStringList after =
        goesOn ? folderAfterSave(kind, suffix) : folderBeforeSave(kind, suffix);
    Rig rig;
    rig.state.Unsaved = true;
    const QString name = makeNameOfKind(rig.dir.path(), kind, suffix);
    QVERIFY(!name.isEmpty());
    rig.dialogs.saveNames << name;
    rig.dialogs.yesNoAnswers << yes;

    if (path == QLatin1String("data file")) {
        rig.commands.saveAs(QStringLiteral("Save"));
    } else if (path == QLatin1String("export")) {
        rig.commands.exportSheet(QStringLiteral("Export"));
    } else if (path == QLatin1String("certificate")) {
        ScriptedLink link;
        RecordingView view;
        CalibrationTest test(link, view, rig.dialogs);
        test.saveAs({rig.state.settings.DataPath, "Save As", "Load", rig.texts.FileExistsMsg,
                     rig.texts.SaveErrorMsg, rig.texts.LoadErrorMsg});
    } else {
        // What the PDF printer does with the name: the finished document goes there.
        const QString chosen = choosePdfFileName(rig.dialogs, QStringLiteral("Print"),
                                                 rig.path("proposed.pdf"), rig.texts.FileExistsMsg);
        QCOMPARE(chosen.isEmpty(), asked && !yes);
        if (!chosen.isEmpty() && !writeFileSafely(chosen, "%PDF-1.4 made\n%%EOF\n"))
            rig.dialogs.showMessage("Kelotari", rig.texts.PrintErrorMsg, Dialogs::Icon::None);
    }

    const QList<ScriptedDialogs::Call> questions = rig.dialogs.callsOf("ask");
    QCOMPARE(questions.size(), asked ? 1 : 0);
    if (asked) {
        QCOMPARE(questions[0].title, QStringLiteral("Confirm"));
        QCOMPARE(questions[0].text, rig.texts.FileExistsMsg);
    }
    QCOMPARE(rig.dialogs.callsOf("message").size(), failed ? 1 : 0);
    QCOMPARE(describeFolder(rig.dir.path()), after);
}

QTEST_GUILESS_MAIN(TstMainCommands)
#include "tst_main_commands.moc"
