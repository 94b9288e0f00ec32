#include "FifoWatchdog.h"
#include "FilePanel.h"
#include "HistogramChart.h"
#include "PacketGrid.h"
#include "QtDialogs.h"
#include "ScriptedDialogs.h"
#include "WriteLimit.h"
#include "files/FileNames.h"
#include "main_frm.h"
#include "packets/DataFile.h"

#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace kelotari;

namespace {

QByteArray readFile(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& name, const QByteArray& bytes) {
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A right click as the window system delivers it: the button, then the context-menu event.
void rightClick(QWidget* widget, const QPoint& at) {
    QTest::mouseClick(widget, Qt::RightButton, {}, at);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at, widget->mapToGlobal(at));
    QApplication::sendEvent(widget, &menu);
}

// A window on files in a temporary folder, answering dialogs from a script.
struct Fixture {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    QString dataDir;
    std::unique_ptr<TMainFrm> frm;

    explicit Fixture(const QByteArray& lang = QByteArray(),
                     const QByteArray& settings = QByteArray()) {
        dataDir = dir.filePath("data") + "/";
        QDir().mkpath(dataDir);
        if (!lang.isNull())
            writeFile(langFile(), lang);
        writeFile(settingsFile(),
                  settings.isNull() ? "[DB]\nPath=" + dataDir.toUtf8() + "\n" : settings);
    }
    QString settingsFile() const { return dir.filePath("kelotari.INI"); }
    QString langFile() const { return dir.filePath("DefLang.lng"); }
    TMainFrm& open() {
        MainFrmEnv env;
        env.settingsFile = settingsFile();
        env.languageFile = langFile();
        env.dialogs = &dialogs;
        frm = std::make_unique<TMainFrm>(env);
        frm->show();
        return *frm;
    }
    void putPackets(int n) {
        MainState& s = frm->state();
        for (int r = 1; r <= n; ++r) {
            for (int f = 0; f < 9; ++f)
                s.table.setCell(kPlacement[static_cast<size_t>(f)], r, "v" + QByteArray::number(f));
            s.table.setCell(kFirstReadingCol, r, "12.5");
            s.table.setCell(kSamplesCol, r, "1");
        }
        s.PacketCount = n;
    }
    QString caption(const char* name) const {
        return frm->findChild<QToolButton*>(QLatin1String(name))->text();
    }
};

} // namespace

class TstMainWindow : public QObject {
    Q_OBJECT
private slots:
    void startsWithDefaults();
    void languageFileReplacesCaptions();
    void missingDataFolderIsReportedAndWindowStillOpens();
    void selectingCommentCellMarksUnsaved();
    void commentIsEditedAsBytes();
    void pastedCommentStaysOneLineInTheDataFile_data();
    void pastedCommentStaysOneLineInTheDataFile();
    void saveProposesDatedNameAndWritesFile();
    void saveDoesNothingWhenSaved();
    void overwriteRefusedLeavesEverything();
    void failedSaveIsNotASave();
    void quitWithSaveQuestion_data();
    void quitWithSaveQuestion();
    void quitStopsWhenSettingsCannotBeWritten();
    void closingByFrameDoesNotWriteSettings();
    void doubleClickLoadsDataFile();
    void doubleClickOnUnsavedTableSavesFirst();
    void loadErrorNamesTheErrorNumber();
    void deleteFileFromPanel();
    void namesThatAreNotUtf8LoadAndDeleteSeparately();
    void deleteRowFromPopup();
    void loadForgetsTheOldTablesSelection();
    void conversationDisablesCommandsAndQuitWaits();
    void filesBesideTheProgramOrInTheUsersFolder_data();
    void filesBesideTheProgramOrInTheUsersFolder();
    void ownMessagesComeFromTheLanguageFile();
    void dataFolderOutsideTheCodePageSurvivesQuit();
    void boxesShowTextAsTyped_data();
    void boxesShowTextAsTyped();
    void saveDialogNotesAreTranslated();
    void saveOnFullDiskKeepsTheOldFile_data();
    void saveOnFullDiskKeepsTheOldFile();
    void quitOnFullDiskKeepsTheSettingsFile();
    void strayCurrentCellSelectsNothing_data();
    void strayCurrentCellSelectsNothing();
    void commentEditingNeedsAClickOrAMove();
    void onlyRegularDataFilesAreListedAndOpened();
    void toolbarAndHeadingSizes();
};

void TstMainWindow::filesBesideTheProgramOrInTheUsersFolder_data() {
    QTest::addColumn<bool>("programFolderWritable");
    QTest::addColumn<bool>("userFolderWritable");
    QTest::addColumn<bool>("userCopies"); // per-user settings and language files exist
    QTest::newRow("writable program folder") << true << true << false;
    QTest::newRow("read-only program folder, writable user folder") << false << true << false;
    QTest::newRow("read-only program folder, no user folder can be made")
        << false << false << false;
    QTest::newRow("a stale per-user copy is read first and written back") << true << true << true;
}

void TstMainWindow::filesBesideTheProgramOrInTheUsersFolder() {
    QFETCH(bool, programFolderWritable);
    QFETCH(bool, userFolderWritable);
    QFETCH(bool, userCopies);
    QTemporaryDir dir;
    const QString data = dir.filePath("data") + "/";
    QDir().mkpath(data);
    const QString bin = dir.filePath("bin");
    const QString exe = bin + "/kelotari";
    const QString user = userFolderWritable ? dir.filePath("config/Kelotari") : bin + "/cfg";
    const QByteArray beside =
        "[DB]\r\nPath=" + data.toUtf8() + "\r\n[App]\r\nPort=COM2\r\n[Mine]\r\nkeep=1\r\n";
    const QByteArray besideLang = "[Toolbar]\nTB_quit=Lopeta\n";
    const QByteArray userIni = "[DB]\r\nPath=" + data.toUtf8() + "\r\n[App]\r\nPort=COM5\r\n";
    if (userCopies) {
        QDir().mkpath(user);
        writeFile(user + "/kelotari.INI", userIni);
        writeFile(user + "/DefLang.lng", "[Toolbar]\nTB_quit=Exit\n");
    }
    std::unique_ptr<ReadOnlyFolder> ro;
    if (programFolderWritable) {
        QDir().mkpath(bin);
        writeFile(bin + "/kelotari.INI", beside);
        writeFile(bin + "/DefLang.lng", besideLang);
    } else {
        ro = std::make_unique<ReadOnlyFolder>(
            bin, QMap<QString, QByteArray>{{"kelotari.INI", beside}, {"DefLang.lng", besideLang}});
        if (!ro->skipReason().isEmpty())
            QSKIP(qPrintable(ro->skipReason()));
    }
    ScriptedDialogs dialogs;
    const MainFrmEnv env = environmentFor(exe, user, &dialogs);
    QCOMPARE(env.settingsFile, bin + "/kelotari.INI");
    QCOMPARE(env.languageFile, userCopies ? user + "/DefLang.lng" : bin + "/DefLang.lng");
    TMainFrm w(env);
    w.show();

    // Start-up read the file where it is and wrote nothing.
    QCOMPARE(w.state().settings.PortName, userCopies ? "COM5" : "COM2");
    QCOMPARE(w.state().settings.DataPath, data);
    QCOMPARE(w.findChild<QToolButton*>("tyo_quit")->text(), userCopies ? "Exit" : "Lopeta");
    QCOMPARE(QFileInfo::exists(user), userCopies);
    QCOMPARE(readFile(bin + "/kelotari.INI"), beside);
    QCOMPARE(QDir(bin).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"DefLang.lng", "kelotari.INI"}));
    QVERIFY(dialogs.calls.isEmpty());

    w.state().settings.PortName = "/dev/ttyUSB4";
    w.tyo_quitClick();
    if (!programFolderWritable && !userFolderWritable) {
        QCOMPARE(dialogs.kinds(), QStringList{"error"});
        QCOMPARE(dialogs.calls[0].text, "Unable to write to " + bin + "/kelotari.INI.");
        QVERIFY(w.isVisible());
        return;
    }
    QVERIFY(dialogs.calls.isEmpty());
    QVERIFY(!w.isVisible());
    const QString written =
        (programFolderWritable && !userCopies) ? bin + "/kelotari.INI" : user + "/kelotari.INI";
    QVERIFY(readFile(written).contains("Port=/dev/ttyUSB4\r\n"));
    if (!userCopies)
        QVERIFY(readFile(written).contains("[Mine]\r\nkeep=1\r\n"));
    if (written != bin + "/kelotari.INI")
        QCOMPARE(readFile(bin + "/kelotari.INI"), beside);
    // The next start finds what Quit wrote.
    QCOMPARE(
        readSettings(ConfigLocation{env.settingsFile, env.settingsUserCopy}.readFrom()).PortName,
        QStringLiteral("/dev/ttyUSB4"));
}

void TstMainWindow::dataFolderOutsideTheCodePageSurvivesQuit() {
    // A Windows-1252 settings file; the new data folder's name has letters it cannot hold.
    Fixture fx(QByteArray(), "; M\xf6kki\r\n[DB]\r\nPath=/\r\n[Mine]\r\nName=J\xe4rvi\r\n");
    const QString folder = fx.dir.filePath(QString::fromUtf8("Łódź sahat")) + "/";
    QVERIFY(QDir().mkpath(folder));
    writeFile(folder + "a.DAT", "\x1a\r\n");
    {
        TMainFrm& w = fx.open();
        w.state().settings.DataPath = folder;
        w.tyo_quitClick();
        QVERIFY(!w.isVisible());
    }
    const QByteArray bytes = readFile(fx.settingsFile());
    QVERIFY(!bytes.contains('?'));
    QVERIFY(bytes.startsWith(QString::fromUtf8("; Mökki\r\n[DB]\r\nPath=").toUtf8()));
    QVERIFY(bytes.contains(QString::fromUtf8("[Mine]\r\nName=Järvi\r\n").toUtf8()));
    fx.dialogs.calls.clear();
    TMainFrm& again = fx.open();
    QVERIFY(fx.dialogs.calls.isEmpty()); // the folder opened
    QCOMPARE(again.state().settings.DataPath, folder);
    QCOMPARE(again.filePanel()->folder() + "/", folder);
}

void TstMainWindow::ownMessagesComeFromTheLanguageFile() {
    const QByteArray lang = "[Kelotari]\r\nCannotOpenFolder=Kansiota %1 ei voi avata\r\n"
                            "TooManyPackets=Tiedostossa %1 on yli %2 pakettia\r\n";
    Fixture fx(lang, "[DB]\nPath=/no/such/folder/\n");
    TMainFrm& w = fx.open();
    QCOMPARE(fx.dialogs.kinds(), QStringList{"error"});
    QCOMPARE(fx.dialogs.calls[0].text, QStringLiteral("Kansiota /no/such/folder/ ei voi avata."));
    QByteArray big;
    for (int i = 0; i < 50; ++i)
        big += "c\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n\xaf\r\n";
    // A "%2" in the file's name stays as it is.
    writeFile(fx.dataDir + "x%2.DAT", big + "\x1a\r\n");
    w.FileListBoxClick(fx.dataDir + "x%2.DAT");
    QCOMPARE(w.state().PacketCount, 49);
    QCOMPARE(fx.dialogs.calls.last().text,
             QStringLiteral("Tiedostossa x%2.DAT on yli 49 pakettia"));
}

namespace {

// Runs f on each modal box or dialog as it comes up, until f returns false; every 20 ms. After
// ten seconds whatever is open is closed, so a test that went wrong fails instead of hanging.
void onModals(std::function<bool(QWidget*)> f) {
    auto* t = new QTimer;
    auto* last = new QPointer<QWidget>;
    auto* started = new QElapsedTimer;
    started->start();
    QObject::connect(t, &QTimer::timeout, [t, f, last, started] {
        QWidget* m = QApplication::activeModalWidget();
        bool more = true;
        if (started->elapsed() > 10000) {
            if (m)
                m->close();
            more = m != nullptr;
        } else if (m && m->isVisible() && m != last->data()) {
            *last = m;
            more = f(m);
        }
        if (!more) {
            t->stop();
            t->deleteLater();
            delete last;
            delete started;
        }
    });
    t->start(20);
}

} // namespace

void TstMainWindow::boxesShowTextAsTyped_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("message") << "message";
    QTest::newRow("question") << "ask";
    QTest::newRow("last-resort box") << "error";
}

void TstMainWindow::boxesShowTextAsTyped() {
    QFETCH(QString, kind);
    QtDialogs dialogs;
    const QString text = QStringLiteral("<b>x</b> in <i>a&amp;b</i>.DAT");
    QString shown;
    int format = -1;
    int labelWidth = 0;
    onModals([&](QWidget* m) {
        auto* box = qobject_cast<QMessageBox*>(m);
        if (box) {
            const auto* label = box->findChild<QLabel*>("qt_msgbox_label");
            if (label) {
                shown = label->text();
                format = label->textFormat();
                labelWidth = label->sizeHint().width();
            }
        }
        m->close();
        return false;
    });
    if (kind == "message")
        dialogs.showMessage("Kelotari", text, Dialogs::Icon::None);
    else if (kind == "ask")
        QVERIFY(!dialogs.askYesNo("Confirm", text));
    else
        dialogs.lastResortError(text);
    QCOMPARE(shown, text);
    QCOMPARE(format, int(Qt::PlainText));
    // Drawn with its tags: as wide as the typed characters, not as the bold "x" alone.
    QVERIFY(labelWidth >= QFontMetrics(QApplication::font()).horizontalAdvance(text) * 9 / 10);
}

void TstMainWindow::saveDialogNotesAreTranslated() {
    QTemporaryDir dir;
    QtDialogs dialogs;
    ProgramTexts texts;
    texts.SaveFolderMissing = QStringLiteral("Kansiota %1 ei ole olemassa.");
    dialogs.setTexts(texts);
    const QString missing = dir.filePath("gone");
    QStringList notes;
    int step = 0;
    onModals([&](QWidget* m) {
        ++step;
        if (auto* fd = qobject_cast<QFileDialog*>(m)) {
            if (step == 1) {
                QTimer::singleShot(50, fd, [fd, missing] {
                    // Typed into the name field, as a user would.
                    if (auto* edit = fd->findChild<QLineEdit*>("fileNameEdit"))
                        edit->setText(missing + "/x.DAT");
                    QMetaObject::invokeMethod(fd, "accept");
                });
                return true;
            }
            fd->reject(); // second time round: cancel
            return false;
        }
        if (auto* box = qobject_cast<QMessageBox*>(m))
            notes << box->text();
        m->close();
        return step < 5;
    });
    const QString name =
        dialogs.chooseSaveFileName("Save", dir.filePath("x.DAT"), "Data files (*.dat)", "DAT");
    QVERIFY2(name.isEmpty(), qPrintable(name + " " + notes.join("|")));
    QCOMPARE(notes, QStringList{"Kansiota " + missing + " ei ole olemassa."});
}

void TstMainWindow::saveOnFullDiskKeepsTheOldFile_data() {
    QTest::addColumn<int>("packets");
    QTest::addColumn<bool>("existing");
    // 49 full packets stay under QSaveFile's 16 KiB buffer: the write fails only on flush.
    QTest::newRow("49 packets over an existing file") << 49 << true;
    QTest::newRow("49 packets, new file") << 49 << false;
    QTest::newRow("3 packets over an existing file") << 3 << true;
}

void TstMainWindow::saveOnFullDiskKeepsTheOldFile() {
    QFETCH(int, packets);
    QFETCH(bool, existing);
    Fixture fx;
    TMainFrm& w = fx.open();
    fx.putPackets(packets);
    MainState& s = w.state();
    for (int r = 1; r <= packets; ++r)
        for (int c = kFirstReadingCol; c <= kLastCol; ++c)
            s.table.setCell(c, r, "12.5");
    s.Unsaved = true;
    const QString target = fx.dataDir + "full.DAT";
    const QByteArray old(300, 'o');
    if (existing) {
        writeFile(target, old);
        fx.dialogs.yesNoAnswers.enqueue(true); // write anyway
    }
    const qint64 size = serializeDataFile(s.table, packets).size();
    const rlim_t limit = 256;
    QVERIFY(size > qint64(limit));
    fx.dialogs.saveNames.enqueue(target);
    {
        FileSizeLimit full(limit);
        QVERIFY(full.active());
        QVERIFY(!w.SaveAs_btnClick());
    }
    const QStringList expected =
        existing ? QStringList{"save", "ask", "message"} : QStringList{"save", "message"};
    QCOMPARE(fx.dialogs.kinds(), expected);
    QCOMPARE(fx.dialogs.calls.last().text, w.texts().SaveErrorMsg);
    QVERIFY(s.Unsaved);
    QCOMPARE(QFileInfo::exists(target), existing);
    if (existing)
        QCOMPARE(readFile(target), old);
    // No temporary file is left behind.
    QCOMPARE(QDir(fx.dataDir).entryList(QDir::Files | QDir::Hidden),
             existing ? QStringList{"full.DAT"} : QStringList{});
    // Quit afterwards still asks: the packets are not saved.
    fx.dialogs.yesNoAnswers.enqueue(false);
    w.tyo_quitClick();
    QVERIFY(fx.dialogs.kinds().endsWith("ask"));
}

void TstMainWindow::quitOnFullDiskKeepsTheSettingsFile() {
    const QByteArray settings = "; my notes\r\n[Mine]\r\nkeep=this line\r\n[App]\r\nPort=COM2\r\n";
    Fixture fx(QByteArray(), settings);
    TMainFrm& w = fx.open();
    w.state().settings.PortName = "/dev/ttyUSB3";
    w.state().Unsaved = true;
    {
        FileSizeLimit full(settings.size() + 8);
        QVERIFY(full.active());
        w.tyo_quitClick();
    }
    QCOMPARE(fx.dialogs.kinds(), QStringList{"error"}); // no save question
    QCOMPARE(fx.dialogs.calls[0].text, "Unable to write to " + fx.settingsFile() + ".");
    QVERIFY(w.isVisible());
    QCOMPARE(readFile(fx.settingsFile()), settings);
    QCOMPARE(QDir(fx.dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{"kelotari.INI"});
}

void TstMainWindow::startsWithDefaults() {
    Fixture fx(QByteArray(), QByteArray("[App]\nPort=COM3\n"));
    TMainFrm& w = fx.open();
    QCOMPARE(w.windowTitle(), QStringLiteral("Kelotari"));
    QCOMPARE(w.minimumSize(), QSize(640, 480));
    QCOMPARE(fx.caption("tyo_setup"), QStringLiteral("Setup"));
    QCOMPARE(fx.caption("Transfer_btn"), QStringLiteral("Transfer"));
    QCOMPARE(fx.caption("Clear_btn"), QStringLiteral("Clear"));
    QCOMPARE(fx.caption("SaveAs_btn"), QStringLiteral("Save"));
    QCOMPARE(fx.caption("tyo_quit"), QStringLiteral("Quit"));
    QCOMPARE(w.findChild<QGroupBox*>("packet_grp")->title(), QStringLiteral("Packets"));
    QCOMPARE(w.findChild<QGroupBox*>("files_grp")->title(), QStringLiteral("Files"));
    QCOMPARE(w.findChild<QAction*>("PrintAll")->text(), QStringLiteral("Print all"));
    QCOMPARE(w.findChild<QAction*>("WDeletefile")->text(), QStringLiteral("Delete"));

    const QStringList expected = {"Packet", "Samples", "Date", "Time", "Wood type", "Temp.",
                                  "Lowest", "Highest", "AVG",  "s",    "Comment"};
    QHeaderView* header = w.grid()->horizontalHeader();
    QCOMPARE(w.grid()->model()->columnCount(), 41);
    QCOMPARE(w.grid()->model()->rowCount(), 49);
    for (int c = 0; c < 41; ++c) {
        const QString h = w.grid()->model()->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(h, c < 11 ? expected[c] : QStringLiteral("Data%1").arg(c - 10));
        QCOMPARE(header->sectionSize(c), c < 10 ? 80 : c == 10 ? 400 : 50);
    }
    // Settings: what the file holds, defaults for the rest.
    QCOMPARE(w.state().settings.PortName, QStringLiteral("COM3"));
    QCOMPARE(w.state().settings.PrinterName, QStringLiteral("None"));
    QCOMPARE(w.state().settings.DataPath, QDir::homePath() + "/");
    QCOMPARE(w.filePanel()->folder(), QDir::cleanPath(QDir::homePath()));
    QCOMPARE(w.state().SelRow, -1);
    QVERIFY(!w.state().Unsaved);
    QVERIFY(fx.dialogs.calls.isEmpty());
}

void TstMainWindow::languageFileReplacesCaptions() {
    QFile fi(QStringLiteral(KELOTARI_SOURCE_DIR "/lang/Suomi.lng"));
    QVERIFY(fi.open(QIODevice::ReadOnly));
    Fixture fx(fi.readAll() + "\n[Grid]\nGR_10=\n");
    TMainFrm& w = fx.open();
    QCOMPARE(fx.caption("Clear_btn"), QString::fromUtf8("Tyhjennä"));
    QCOMPARE(w.findChild<QGroupBox*>("packet_grp")->title(), QStringLiteral("Paketit"));
    QCOMPARE(w.grid()->model()->headerData(1, Qt::Horizontal).toString(),
             QString::fromUtf8("Näytteitä"));
    QCOMPARE(w.grid()->model()->headerData(11, Qt::Horizontal).toString(), QStringLiteral("Data1"));
    QCOMPARE(w.findChild<QAction*>("WDeletefile")->text(), QStringLiteral("Poista"));
    QCOMPARE(w.texts().AskSaveMsg,
             QStringLiteral("Paketteja ei ole tallennettu.\rTallennetaanko ne ?"));
    QCOMPARE(w.grid()->horizontalHeader()->sectionSize(10), 400);
}

void TstMainWindow::missingDataFolderIsReportedAndWindowStillOpens() {
    Fixture fx(QByteArray(), "[DB]\nPath=/no/such/folder/\n");
    TMainFrm& w = fx.open();
    QCOMPARE(fx.dialogs.kinds(), QStringList{"error"});
    QVERIFY(fx.dialogs.calls[0].text.contains("/no/such/folder/"));
    QVERIFY(fx.dialogs.calls[0].text.endsWith('.'));
    QCOMPARE(w.filePanel()->folder(), QDir::currentPath());
    QVERIFY(w.isVisible());
    // The panel shows (and has listed) the folder it stayed on.
    QVERIFY(w.filePanel()->folderList()->count() > 0);
    QCOMPARE(w.filePanel()->folderList()->currentItem()->data(Qt::UserRole).toString(),
             QDir::currentPath());
}

void TstMainWindow::selectingCommentCellMarksUnsaved() {
    Fixture fx;
    TMainFrm& w = fx.open();
    PacketGrid* g = w.grid();
    const QRect r = g->visualRect(g->model()->index(2, 3));
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, r.center());
    QCOMPARE(w.state().SelRow, 3);
    QVERIFY(!w.state().Unsaved);
    g->scrollTo(g->model()->index(0, 10));
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {},
                      g->visualRect(g->model()->index(0, 10)).center());
    QCOMPARE(w.state().SelRow, 1);
    QVERIFY(w.state().Unsaved); // also in an empty table
    // A right click does not move the selection.
    QTest::mouseClick(g->viewport(), Qt::RightButton, {},
                      g->visualRect(g->model()->index(5, 10)).center());
    QCOMPARE(w.state().SelRow, 1);
}

void TstMainWindow::commentIsEditedAsBytes() {
    Fixture fx;
    TMainFrm& w = fx.open();
    fx.putPackets(1);
    QAbstractItemModel* m = w.grid()->model();
    QVERIFY(!(m->flags(m->index(0, 9)) & Qt::ItemIsEditable));
    QVERIFY(m->setData(m->index(0, 10), QString::fromUtf8("mänty €"), Qt::EditRole));
    QCOMPARE(w.state().table.cell(10, 1), QByteArray("m\xe4nty \x80"));
    QVERIFY(!m->setData(m->index(0, 9), "x", Qt::EditRole));
}

void TstMainWindow::pastedCommentStaysOneLineInTheDataFile_data() {
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("LF") << QStringLiteral("dry\nkiln 2") << QByteArray("dry kiln 2");
    QTest::newRow("CR LF") << QStringLiteral("dry\r\nkiln 2") << QByteArray("dry  kiln 2");
    QTest::newRow("lone CR") << QStringLiteral("dry\rkiln 2") << QByteArray("dry kiln 2");
    QTest::newRow("data-end byte") << QStringLiteral("dry\x1Akiln 2") << QByteArray("dry kiln 2");
    QTest::newRow("a tab stays") << QStringLiteral("dry\tkiln 2") << QByteArray("dry\tkiln 2");
}

// A line break pasted into the comment editor would split the comment's line in the data
// file, and the next load would shift every field of every packet after it.
void TstMainWindow::pastedCommentStaysOneLineInTheDataFile() {
    QFETCH(QString, pasted);
    QFETCH(QByteArray, stored);
    Fixture fx;
    TMainFrm& w = fx.open();
    fx.putPackets(2);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    PacketGrid* grid = w.grid();
    const QModelIndex comment = grid->model()->index(0, kCommentCol);
    grid->scrollTo(comment);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(comment).center());
    QTest::keyClick(grid, Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY(editor);
    editor->insert(pasted); // what a paste does
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the editor commits from a queued call
    QCOMPARE(w.state().table.cell(kCommentCol, 1), stored);

    const QString target = fx.dataDir + "pasted.DAT";
    fx.dialogs.saveNames.enqueue(target);
    QVERIFY(w.SaveAs_btnClick());
    w.state().table.ClearTable();
    w.ImportdatafileClick(target);
    QVERIFY(fx.dialogs.callsOf("message").isEmpty());
    QCOMPARE(w.state().PacketCount, 2);
    QCOMPARE(w.state().table.cell(kCommentCol, 1).trimmed(), stored);
    QCOMPARE(w.state().table.cell(kSamplesCol, 2), QByteArray("1"));
    QCOMPARE(w.state().table.cell(kFirstReadingCol, 2), QByteArray("12.5"));
}

void TstMainWindow::saveProposesDatedNameAndWritesFile() {
    Fixture fx;
    TMainFrm& w = fx.open();
    fx.putPackets(3);
    w.state().Unsaved = true;
    const QString target = fx.dataDir + "kiln.DAT";
    fx.dialogs.saveNames.enqueue(target);
    QVERIFY(w.SaveAs_btnClick());
    const auto save = fx.dialogs.callsOf("save");
    QCOMPARE(save.size(), 1);
    QCOMPARE(save[0].title, QStringLiteral("Save"));
    QCOMPARE(save[0].text, fx.dataDir + QDate::currentDate().toString("ddMMyy") + ".DAT");
    QCOMPARE(readFile(target), serializeDataFile(w.state().table, 3));
    QVERIFY(!w.state().Unsaved);
    QVERIFY(w.filePanel()->fileList()->findItems("kiln.DAT", Qt::MatchExactly).size() == 1);
}

void TstMainWindow::saveDoesNothingWhenSaved() {
    Fixture fx;
    TMainFrm& w = fx.open();
    fx.putPackets(1);
    QVERIFY(w.SaveAs_btnClick());
    QVERIFY(fx.dialogs.calls.isEmpty());
}

void TstMainWindow::overwriteRefusedLeavesEverything() {
    Fixture fx;
    TMainFrm& w = fx.open();
    fx.putPackets(2);
    w.state().Unsaved = true;
    const QString target = fx.dataDir + "old.DAT";
    writeFile(target, "old contents");
    fx.dialogs.saveNames.enqueue(target);
    fx.dialogs.yesNoAnswers.enqueue(false);
    QVERIFY(!w.SaveAs_btnClick());
    QCOMPARE(fx.dialogs.kinds(), (QStringList{"save", "ask"}));
    QCOMPARE(fx.dialogs.calls[1].text, QStringLiteral("File already exist!\rWrite anyway ?"));
    QCOMPARE(readFile(target), QByteArray("old contents"));
    QVERIFY(w.state().Unsaved);
    QCOMPARE(w.state().PacketCount, 2);
}

void TstMainWindow::failedSaveIsNotASave() {
    Fixture fx;
    TMainFrm& w = fx.open();
    fx.putPackets(1);
    w.state().Unsaved = true;
    fx.dialogs.saveNames.enqueue(fx.dataDir + "no-such-folder/x.DAT");
    QVERIFY(!w.SaveAs_btnClick());
    QCOMPARE(fx.dialogs.kinds(), (QStringList{"save", "message"}));
    QCOMPARE(fx.dialogs.calls[1].text,
             QStringLiteral("Some file I/O error occurred during saving file."));
    QVERIFY(w.state().Unsaved);
}

void TstMainWindow::quitWithSaveQuestion_data() {
    QTest::addColumn<bool>("unsaved");
    QTest::addColumn<QList<bool>>("answers"); // save question, then overwrite question
    QTest::addColumn<QString>("saveName");    // empty: the save dialog is cancelled
    QTest::addColumn<bool>("ends");
    QTest::addColumn<bool>("saved");
    QTest::newRow("nothing unsaved: no question") << false << QList<bool>{} << "" << true << false;
    QTest::newRow("No: ends without saving") << true << QList<bool>{false} << "" << true << false;
    QTest::newRow("Yes and saved: ends") << true << QList<bool>{true} << "q.DAT" << true << true;
    QTest::newRow("Yes, dialog cancelled: stays")
        << true << QList<bool>{true} << "" << false << false;
    QTest::newRow("Yes, overwrite refused: stays")
        << true << QList<bool>{true, false} << "exists.DAT" << false << false;
}

void TstMainWindow::quitWithSaveQuestion() {
    QFETCH(bool, unsaved);
    QFETCH(QList<bool>, answers);
    QFETCH(QString, saveName);
    QFETCH(bool, ends);
    QFETCH(bool, saved);
    Fixture fx;
    TMainFrm& w = fx.open();
    writeFile(fx.dataDir + "exists.DAT", "keep");
    fx.putPackets(2);
    w.state().Unsaved = unsaved;
    w.state().settings.PortName = "/dev/ttyUSB7";
    for (bool a : answers)
        fx.dialogs.yesNoAnswers.enqueue(a);
    if (!saveName.isEmpty())
        fx.dialogs.saveNames.enqueue(fx.dataDir + saveName);

    w.findChild<QToolButton*>("tyo_quit")->click();

    QCOMPARE(!w.isVisible(), ends);
    // Settings are written first, whatever follows.
    QVERIFY(readFile(fx.settingsFile()).contains("Port=/dev/ttyUSB7"));
    QCOMPARE(fx.dialogs.callsOf("ask").isEmpty(), !unsaved);
    if (unsaved)
        QCOMPARE(fx.dialogs.calls[0].text, w.texts().AskSaveMsg);
    QCOMPARE(QFileInfo::exists(fx.dataDir + "q.DAT"), saved);
    QCOMPARE(readFile(fx.dataDir + "exists.DAT"), QByteArray("keep"));
}

void TstMainWindow::quitStopsWhenSettingsCannotBeWritten() {
    Fixture fx;
    MainFrmEnv env;
    env.settingsFile = fx.dir.filePath("gone/kelotari.INI");
    env.languageFile = fx.langFile();
    env.dialogs = &fx.dialogs;
    TMainFrm w(env);
    w.show();
    w.state().Unsaved = true;
    w.tyo_quitClick();
    QCOMPARE(fx.dialogs.kinds(), QStringList{"error"});
    QCOMPARE(fx.dialogs.calls[0].text, "Unable to write to " + env.settingsFile + ".");
    QVERIFY(w.isVisible());
}

void TstMainWindow::closingByFrameDoesNotWriteSettings() {
    Fixture fx;
    TMainFrm& w = fx.open();
    const QByteArray before = readFile(fx.settingsFile());
    w.state().settings.PortName = "COM7";
    fx.putPackets(1);
    w.state().Unsaved = true;
    fx.dialogs.yesNoAnswers.enqueue(true); // Yes, then the save dialog is cancelled
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    fx.dialogs.yesNoAnswers.enqueue(false);
    QVERIFY(w.close());
    QCOMPARE(readFile(fx.settingsFile()), before);
}

void TstMainWindow::doubleClickLoadsDataFile() {
    Fixture fx;
    TMainFrm& w = fx.open();
    fx.putPackets(3);
    const QByteArray bytes = serializeDataFile(w.state().table, 3);
    w.state().table.ClearTable();
    w.state().PacketCount = 0;
    writeFile(fx.dataDir + "a.dat", bytes);
    writeFile(fx.dataDir + "notes.txt", "x");
    w.filePanel()->refreshFiles();
    QCOMPARE(w.filePanel()->fileList()->count(), 1);
    QListWidget* list = w.filePanel()->fileList();
    const QPoint at = list->visualItemRect(list->item(0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);  // a real double click starts
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at); // with a press
    QCOMPARE(w.state().PacketCount, 3);
    QCOMPARE(w.state().table.cell(kSamplesCol, 3), QByteArray("1"));
    QVERIFY(fx.dialogs.calls.isEmpty());
}

void TstMainWindow::doubleClickOnUnsavedTableSavesFirst() {
    Fixture fx;
    TMainFrm& w = fx.open();
    writeFile(fx.dataDir + "b.DAT", "\x1a\r\n");
    fx.putPackets(2);
    w.state().Unsaved = true;
    fx.dialogs.yesNoAnswers.enqueue(true);
    fx.dialogs.saveNames.enqueue(fx.dataDir + "saved.DAT");
    w.FileListBoxClick(fx.dataDir + "b.DAT");
    QCOMPARE(w.state().PacketCount, 2); // not loaded
    QVERIFY(QFileInfo::exists(fx.dataDir + "saved.DAT"));
    w.FileListBoxClick(fx.dataDir + "b.DAT");
    QCOMPARE(w.state().PacketCount, 0); // the second double click loads
}

void TstMainWindow::loadErrorNamesTheErrorNumber() {
    Fixture fx;
    TMainFrm& w = fx.open();
    fx.putPackets(2);
    w.FileListBoxClick(fx.dataDir + "deleted-meanwhile.DAT");
    QCOMPARE(w.state().PacketCount, 2); // nothing was loaded, nothing lost
    QCOMPARE(w.state().table.cell(kSamplesCol, 2), QByteArray("1"));
    QCOMPARE(fx.dialogs.kinds(), QStringList{"message"});
    QCOMPARE(fx.dialogs.calls[0].text,
             QStringLiteral("Some file I/O error occurred during loading file. ERR:2"));
    QCOMPARE(fx.dialogs.calls[0].title, QStringLiteral("Kelotari"));
    // Too many packets: the first 49 are shown and the user is told.
    QByteArray big;
    for (int i = 0; i < 60; ++i)
        big += "c\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n\xaf\r\n";
    writeFile(fx.dataDir + "big.DAT", big + "\x1a\r\n");
    w.FileListBoxClick(fx.dataDir + "big.DAT");
    QCOMPARE(w.state().PacketCount, 49);
    QVERIFY(fx.dialogs.calls.last().text.contains("49"));
}

void TstMainWindow::deleteFileFromPanel() {
    Fixture fx;
    TMainFrm& w = fx.open();
    writeFile(fx.dataDir + "x.dat", "\x1a\r\n");
    writeFile(fx.dataDir + "y.DAT", "\x1a\r\n");
    w.filePanel()->refreshFiles();
    QVERIFY(w.filePanel()->selectFile("x.dat"));
    w.findChild<QAction*>("WDeletefile")->trigger();
    QVERIFY(!QFileInfo::exists(fx.dataDir + "x.dat"));
    QCOMPARE(w.filePanel()->fileList()->count(), 1);
    QVERIFY(fx.dialogs.calls.isEmpty());
}

namespace {

// The names in a folder as bytes (Qt's own listing cannot carry names that are not UTF-8).
QList<QByteArray> namesIn(const QByteArray& folder) {
    QList<QByteArray> out;
    if (DIR* d = ::opendir(folder.constData())) {
        while (const dirent* e = ::readdir(d))
            if (e->d_name[0] != '.')
                out << QByteArray(e->d_name);
        ::closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

bool writeBytes(const QByteArray& path, const QByteArray& content) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, content.constData(), size_t(content.size())) == content.size();
    return ::close(fd) == 0 && ok;
}

} // namespace

// Two Latin-1 names that are not UTF-8: each shows with its own byte marked, loads its own
// packets, is overwritten and deleted by its own bytes, and never stands in for the other.
void TstMainWindow::namesThatAreNotUtf8LoadAndDeleteSeparately() {
    Fixture fx;
    TMainFrm& w = fx.open();
    const QByteArray folder = QFile::encodeName(fx.dataDir);
    fx.putPackets(2);
    const QByteArray two = serializeDataFile(w.state().table, 2);
    const QByteArray one = serializeDataFile(w.state().table, 1);
    const QByteArray a = "lat1-\xE4.DAT";
    const QByteArray o = "lat1-\xF6.DAT";
    QVERIFY(writeBytes(folder + a, one));
    QVERIFY(writeBytes(folder + o, two));
    struct Cleanup { // QTemporaryDir cannot remove these names
        QByteArray folder;
        ~Cleanup() {
            for (const QByteArray& n : namesIn(folder))
                ::unlink((folder + n).constData());
        }
    } cleanup{folder};
    w.state().table.ClearTable();
    w.state().PacketCount = 0;
    w.filePanel()->refreshFiles();

    QListWidget* list = w.filePanel()->fileList();
    QCOMPARE(list->count(), 2);
    QStringList shown;
    for (int i = 0; i < list->count(); ++i)
        shown << list->item(i)->text();
    QCOMPARE(shown, (QStringList{QString::fromUtf8("lat1-\uFFFDE4.DAT"),
                                 QString::fromUtf8("lat1-\uFFFDF6.DAT")}));

    auto doubleClick = [&](int row) {
        const QPoint at = list->visualItemRect(list->item(row)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    };
    doubleClick(1);
    QCOMPARE(w.state().PacketCount, 2);
    doubleClick(0);
    QCOMPARE(w.state().PacketCount, 1);
    QCOMPARE(fx.dialogs.kinds(), QStringList()); // no load error

    // Saving over the selected one asks, then replaces that file and no other.
    list->setCurrentRow(1);
    QCOMPARE(encodeFileName(w.filePanel()->selectedFile()), folder + o);
    fx.dialogs.yesNoAnswers.enqueue(true);
    QVERIFY(w.WriteDataFile(w.filePanel()->selectedFile(), 1));
    QCOMPARE(fx.dialogs.kinds(), QStringList{"ask"});
    QCOMPARE(namesIn(folder), (QList<QByteArray>{a, o}));
    QFile check;
    QVERIFY(check.open(::open((folder + o).constData(), O_RDONLY | O_CLOEXEC), QIODevice::ReadOnly,
                       QFileDevice::AutoCloseHandle));
    QCOMPARE(check.readAll(), one);

    // Delete takes the selected one only.
    list->setCurrentRow(0);
    w.findChild<QAction*>("WDeletefile")->trigger();
    QCOMPARE(namesIn(folder), QList<QByteArray>{o});
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->text(), QString::fromUtf8("lat1-\uFFFDF6.DAT"));
    list->setCurrentRow(0);
    w.findChild<QAction*>("WDeletefile")->trigger();
    QCOMPARE(namesIn(folder), QList<QByteArray>());
    QCOMPARE(list->count(), 0);
}

void TstMainWindow::deleteRowFromPopup() {
    Fixture fx;
    TMainFrm& w = fx.open();
    fx.putPackets(3);
    w.state().table.setCell(kCommentCol, 2, "second");
    w.state().SelRow = 1;
    w.findChild<QAction*>("Delete1")->trigger();
    QCOMPARE(w.state().PacketCount, 2);
    QCOMPARE(w.state().table.cell(kCommentCol, 1), QByteArray("second"));
    QCOMPARE(w.grid()->model()->index(0, 10).data().toString(), QStringLiteral("second"));
    QCOMPARE(w.state().SelRow, -1);
}

// A row selected in one table is nobody's selection in the table a load puts in its place:
// Delete and Print selected right after the load act on nothing.
void TstMainWindow::loadForgetsTheOldTablesSelection() {
    Fixture fx;
    TMainFrm& w = fx.open();
    fx.putPackets(3);
    writeFile(fx.dataDir + "other.dat", serializeDataFile(w.state().table, 3));
    PacketGrid* g = w.grid();
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {},
                      g->visualRect(g->model()->index(1, kPacketCol)).center());
    QCOMPARE(w.state().SelRow, 2);
    w.ImportdatafileClick(fx.dataDir + "other.dat");
    QCOMPARE(w.state().PacketCount, 3);
    QCOMPARE(w.state().SelRow, -1);
    w.findChild<QAction*>("Delete1")->trigger();
    QCOMPARE(w.state().PacketCount, 3);
    QCOMPARE(w.state().table.cell(kSamplesCol, 3), QByteArray("1"));

    // A load that cannot even open its file leaves the table, and the selection in it, alone.
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {},
                      g->visualRect(g->model()->index(1, kPacketCol)).center());
    w.ImportdatafileClick(fx.dataDir + "missing.dat");
    QCOMPARE(w.state().SelRow, 2);
}

void TstMainWindow::conversationDisablesCommandsAndQuitWaits() {
    Fixture fx;
    TMainFrm& w = fx.open();
    int cancelled = 0;
    w.beginConversation([&] { ++cancelled; });
    for (const char* name : {"Transfer_btn", "Clear_btn", "tyo_setup", "SaveAs_btn"})
        QVERIFY(!w.findChild<QToolButton*>(name)->isEnabled());
    QVERIFY(w.findChild<QToolButton*>("tyo_quit")->isEnabled());
    QVERIFY(!w.findChild<QAction*>("Delete1")->isEnabled());
    w.findChild<QToolButton*>("tyo_quit")->click();
    QCOMPARE(cancelled, 1);
    QVERIFY(w.isVisible()); // waits for the conversation to unwind
    w.endConversation();
    QVERIFY(w.findChild<QToolButton*>("Transfer_btn")->isEnabled());
    QTRY_VERIFY(!w.isVisible()); // then Quit goes on
}

void TstMainWindow::strayCurrentCellSelectsNothing_data() {
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<bool>("popup");
    QTest::newRow("right click on a cell") << "right cell" << true;
    QTest::newRow("right click on the heading row") << "right heading" << true;
    QTest::newRow("Tab into the grid") << "tab" << false;
    QTest::newRow("left click on the heading row") << "left heading" << false;
}

// Right after a load nobody has selected a packet: whatever the grid makes current by itself
// is no selection, so Delete and Print selected do nothing and no histogram is drawn.
void TstMainWindow::strayCurrentCellSelectsNothing() {
    QFETCH(QString, gesture);
    QFETCH(bool, popup);
    Fixture fx;
    TMainFrm& w = fx.open();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    fx.putPackets(3);
    w.state().table.setCell(kCommentCol, 1, "first");
    w.state().table.setCell(kCommentCol, 2, "second");
    const QByteArray bytes = serializeDataFile(w.state().table, 3);
    w.state().table.ClearTable();
    w.state().PacketCount = 0;
    writeFile(fx.dataDir + "three.DAT", bytes);
    w.filePanel()->refreshFiles();
    w.filePanel()->fileList()->setFocus(Qt::MouseFocusReason); // where a double click leaves it
    w.FileListBoxClick(fx.dataDir + "three.DAT");
    QCOMPARE(w.state().PacketCount, 3);

    PacketGrid* g = w.grid();
    QHeaderView* header = g->horizontalHeader();
    auto* menu = w.findChild<QMenu*>("GridPopup");
    const QPoint cell = g->visualRect(g->model()->index(0, 0)).center();
    const QPoint heading(header->sectionViewportPosition(0) + 20, header->height() / 2);
    if (gesture == "right cell") {
        rightClick(g->viewport(), cell);
    } else if (gesture == "right heading") {
        rightClick(header->viewport(), heading);
    } else if (gesture == "left heading") {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, heading);
        g->setFocus(Qt::MouseFocusReason);
    } else {
        // Tab from the widget before the grid in the focus chain.
        QWidget* before = g->previousInFocusChain();
        while (!(before->focusPolicy() & Qt::TabFocus) || !before->isVisible())
            before = before->previousInFocusChain();
        before->setFocus(Qt::TabFocusReason);
        QTest::keyClick(before, Qt::Key_Tab);
    }
    QTRY_COMPARE(menu->isVisible(), popup);
    menu->hide();
    QVERIFY(g->hasFocus());
    QCOMPARE(w.state().SelRow, -1);
    QCOMPARE(w.chart()->bars(), Histogram());

    w.findChild<QAction*>("Delete1")->trigger();
    w.findChild<QAction*>("Printselected")->trigger();
    QCOMPARE(w.state().PacketCount, 3);
    QCOMPARE(w.state().table.cell(kCommentCol, 1).trimmed(), QByteArray("first"));
    QVERIFY(fx.dialogs.calls.isEmpty()); // nothing printed, nothing asked

    // A key that moves the current cell is the user's selection.
    QTest::keyClick(g, Qt::Key_Down);
    QVERIFY(w.state().SelRow >= 1);
    QCOMPARE(w.chart()->bars().counts[12], 1);
    w.findChild<QAction*>("Delete1")->trigger();
    QCOMPARE(w.state().PacketCount, 2);
}

// Typing edits a comment only after the user selected its cell; the focus coming back to the
// grid by the keyboard turns editing off until a click or a move of the current cell.
void TstMainWindow::commentEditingNeedsAClickOrAMove() {
    Fixture fx;
    TMainFrm& w = fx.open();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    fx.putPackets(2);
    PacketGrid* g = w.grid();
    auto type = [](const char* text) {
        for (const char* c = text; *c; ++c)
            QTest::keyClick(QApplication::focusWidget(), *c);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCoreApplication::processEvents(); // the editor commits from a queued call
    };
    auto comment = [&] { return w.state().table.cell(kCommentCol, 1); };
    auto awayAndBack = [&] {
        w.filePanel()->fileList()->setFocus(Qt::TabFocusReason);
        g->setFocus(Qt::BacktabFocusReason);
        QVERIFY(g->hasFocus());
    };
    const QModelIndex c1 = g->model()->index(0, kCommentCol);
    g->scrollTo(c1);
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->visualRect(c1).center());
    QVERIFY(w.state().Unsaved);
    type("ab");
    QCOMPARE(comment(), QByteArray("ab"));

    awayAndBack();
    QVERIFY(!g->commentEditing());
    type("x");
    QCOMPARE(comment(), QByteArray("ab"));
    QCOMPARE(QApplication::focusWidget(), g); // no editor was opened

    // A click on the current comment cell selects it again: editing is back on.
    w.state().Unsaved = false;
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->visualRect(c1).center());
    QVERIFY(w.state().Unsaved);
    QCOMPARE(QApplication::focusWidget(), g); // that click only selected
    type("cd");
    QCOMPARE(comment(), QByteArray("cd"));

    // Away and back, then a move of the current cell: off in column 9, on again in 10.
    awayAndBack();
    QTest::keyClick(g, Qt::Key_Left);
    QCOMPARE(w.state().SelRow, 1);
    QCOMPARE(w.chart()->bars().counts[12], 1);
    type("y");
    QCOMPARE(w.state().table.cell(9, 1), QByteArray("v8"));
    QTest::keyClick(g, Qt::Key_Right);
    type("ef");
    QCOMPARE(comment(), QByteArray("ef"));

    // Tab in the editor keeps the text and leaves the grid; it does not move to another cell.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_G);
    QVERIFY(QApplication::focusWidget() != g);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCoreApplication::processEvents();
    QCOMPARE(comment(), QByteArray("g"));
    QVERIFY(!g->isAncestorOf(QApplication::focusWidget()) && QApplication::focusWidget() != g);
    QCOMPARE(g->currentIndex(), c1);
}

// Only regular files belong in the file list: FIFOs, sockets and device nodes named *.dat are
// left out, and one opened by name gives the load error at once instead of blocking. Should an
// open block, a watchdog frees it by opening the FIFO for writing, and the test fails.
void TstMainWindow::onlyRegularDataFilesAreListedAndOpened() {
    Fixture fx;
    TMainFrm& w = fx.open();
    const QByteArray fifo = QFile::encodeName(fx.dataDir + "x.dat");
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(sock >= 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray sockPath = QFile::encodeName(fx.dataDir + "y.dat");
    QVERIFY(size_t(sockPath.size()) < sizeof(addr.sun_path));
    std::memcpy(addr.sun_path, sockPath.constData(), size_t(sockPath.size()));
    QCOMPARE(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    QVERIFY(QFile::link(fx.dataDir + "x.dat", fx.dataDir + "to-fifo.DAT"));
    QVERIFY(QDir().mkpath(fx.dataDir + "folder.dat"));
    writeFile(fx.dataDir + "z.DAT", "\x1a\r\n");
    writeFile(fx.dataDir + ".hidden.dat", "\x1a\r\n");
    QVERIFY(QFile::link(fx.dataDir + "z.DAT", fx.dataDir + "to-z.dat"));
    w.filePanel()->refreshFiles();
    QStringList listed;
    for (int i = 0; i < w.filePanel()->fileList()->count(); ++i)
        listed << w.filePanel()->fileList()->item(i)->text();
    QCOMPARE(listed, (QStringList{".hidden.dat", "to-z.dat", "z.DAT"}));

    fx.putPackets(2);
    FifoWatchdog watchdog(fifo);
    for (const char* name : {"x.dat", "y.dat", "to-fifo.DAT"})
        w.FileListBoxClick(fx.dataDir + name);
    const bool blocked = watchdog.stop();
    ::close(sock);
    QVERIFY2(!blocked, "opening a FIFO blocked");
    const QString refused =
        QStringLiteral("Some file I/O error occurred during loading file. ERR:%1").arg(ENXIO);
    QCOMPARE(fx.dialogs.kinds(), (QStringList{"message", "message", "message"}));
    for (const auto& call : fx.dialogs.calls)
        QCOMPARE(call.text, refused);
    QCOMPARE(w.state().PacketCount, 2); // the table is as it was
    QCOMPARE(w.state().table.cell(kSamplesCol, 2), QByteArray("1"));
}

// Toolbar 43 px high with buttons of at least 57 x 39; the heading row in the grid's own 13 px
// font.
void TstMainWindow::toolbarAndHeadingSizes() {
    Fixture fx;
    TMainFrm& w = fx.open();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* bar = w.findChild<QToolBar*>("Tyokalupalkki");
    QCOMPARE(bar->height(), 43);
    QCOMPARE(bar->geometry().top(), 0);
    QCOMPARE(bar->width(), w.width());
    QList<int> lefts;
    QList<int> widths;
    for (const char* name : {"tyo_setup", "Transfer_btn", "Clear_btn", "SaveAs_btn", "tyo_quit"}) {
        auto* b = w.findChild<QToolButton*>(name);
        // At least 57 x 39, wider where the caption needs it (the captions' own test).
        QVERIFY(b->width() >= 57);
        QCOMPARE(b->height(), 39);
        QVERIFY(!b->icon().isNull());
        QVERIFY(bar->rect().contains(b->geometry()));
        lefts << b->geometry().left();
        widths << b->width();
    }
    // Separators of 14, 14 and 8 px between Setup | Transfer Clear | Save | Quit.
    QCOMPARE(lefts[1] - lefts[0], widths[0] + 14);
    QCOMPARE(lefts[2] - lefts[1], widths[1]);
    QCOMPARE(lefts[3] - lefts[2], widths[2] + 14);
    QCOMPARE(lefts[4] - lefts[3], widths[3] + 8);
    QCOMPARE(w.findChild<QToolButton*>("Transfer_btn")->icon().cacheKey(),
             w.findChild<QToolButton*>("Clear_btn")->icon().cacheKey());

    const QFontInfo gridFont(w.grid()->font());
    const QFontInfo headingFont(w.grid()->horizontalHeader()->font());
    QCOMPARE(gridFont.pixelSize(), 13);
    QCOMPARE(headingFont.pixelSize(), 13);
    QCOMPARE(headingFont.family(), gridFont.family());
    QCOMPARE(w.grid()->rowHeight(0), 20);
}

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
