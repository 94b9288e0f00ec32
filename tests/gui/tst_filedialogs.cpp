// The program's file dialogs: listing a folder never opens its files, a kept dialog opens each
// time as a new one would, and odd folders (FIFOs, sockets, names that are not UTF-8, a folder
// removed while the dialog is open) list what they can without blocking.
#include "FastIconProvider.h"
#include "FifoWatchdog.h"
#include "QtDialogs.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFileSystemWatcher>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace kelotari;

namespace {

void writeFile(const QString& name, const QByteArray& bytes) {
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Records every open of a file in one folder (the kernel reports them, whoever opens).
class OpenRecorder {
public:
    explicit OpenRecorder(const QString& folder) {
        m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd >= 0)
            inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), IN_OPEN);
    }
    ~OpenRecorder() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool ok() const { return m_fd >= 0; }
    // The files (not folders) opened since the watch began, as raw names.
    QList<QByteArray> openedFiles() {
        QList<QByteArray> names;
        alignas(inotify_event) char buf[8192];
        for (;;) {
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n <= 0)
                break;
            for (ssize_t at = 0; at < n;) {
                const auto* ev = reinterpret_cast<const inotify_event*>(buf + at);
                if (ev->len > 0 && !(ev->mask & IN_ISDIR))
                    names << QByteArray(ev->name);
                at += ssize_t(sizeof(inotify_event)) + ev->len;
            }
        }
        return names;
    }

private:
    int m_fd = -1;
};

bool makeSocket(const QString& path) {
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray p = QFile::encodeName(path);
    if (sock < 0 || size_t(p.size()) >= sizeof addr.sun_path)
        return false;
    memcpy(addr.sun_path, p.constData(), size_t(p.size()));
    const bool ok = ::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(sock); // the socket file stays
    return ok;
}

QListView* listOf(QFileDialog* d) {
    return d->findChild<QListView*>(QStringLiteral("listView"));
}
QLineEdit* nameEditOf(QFileDialog* d) {
    return d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}
int listedRows(QFileDialog* d) {
    QListView* v = listOf(d);
    return v ? v->model()->rowCount(v->rootIndex()) : -1;
}
QStringList listedNames(QFileDialog* d) {
    QStringList names;
    QListView* v = listOf(d);
    for (int r = 0; v && r < v->model()->rowCount(v->rootIndex()); ++r)
        names << v->model()->index(r, 0, v->rootIndex()).data().toString();
    return names;
}

// Runs `step` on the file dialog once it is on screen (and, with rows > 0, once its list shows
// that many entries); any modal window still open after ten seconds is closed, so a test fails
// instead of waiting for ever.
void whenShown(std::function<void(QFileDialog*)> step, int rows = 0) {
    auto* t = new QTimer;
    auto* started = new QElapsedTimer;
    auto settle = std::make_shared<int>(0);
    started->start();
    QObject::connect(t, &QTimer::timeout, [t, started, settle, step, rows] {
        auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        const bool late = started->elapsed() > 10000;
        // Rows come in batches and are sorted just after: three more ticks once all are in.
        const bool ready = d && d->isVisible() && listedRows(d) >= rows;
        if (ready && rows > 0 && (*settle)++ < 3)
            return;
        if (late || ready) {
            t->stop();
            t->deleteLater();
            delete started;
            if (late) {
                if (QWidget* m = QApplication::activeModalWidget())
                    m->close();
                return;
            }
            step(d);
        }
    });
    t->start(10);
}

const QString kDataFilter = QStringLiteral("Data files (*.dat *.DAT)");

} // namespace

class TstFileDialogs : public QObject {
    Q_OBJECT
private slots:
    void providerNamesTypesWithoutOpening_data();
    void providerNamesTypesWithoutOpening();
    void filterSuffix_data();
    void filterSuffix();
    void dialogsListWithoutOpeningFiles_data();
    void dialogsListWithoutOpeningFiles();
    void keptSaveDialogOpensAsNew();
    void suffixFollowsTheSelectedFilter();
    void nameTypedWhileListingIsTheOneReturned();
    void nameNotUtf8IsLeftAloneAndTheTypedNameWritten();
    void folderRemovedWhileOpen();
    void dialogGoesWithItsParentWindow();
    void hiddenKeptDialogDoesNoFolderWork_data();
    void hiddenKeptDialogDoesNoFolderWork();
};

void TstFileDialogs::providerNamesTypesWithoutOpening_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("type");
    QTest::newRow("data file") << "081226.DAT"
                               << "file"
                               << "Data file";
    QTest::newRow("data file, lower case") << "081226.dat"
                                           << "file"
                                           << "Data file";
    QTest::newRow("certificate") << "1234.cal"
                                 << "file"
                                 << "Calibration certificate";
    QTest::newRow("PDF named like text") << "report.PDF"
                                         << "file"
                                         << "PDF document";
    QTest::newRow("unknown extension") << "notes.xyz"
                                       << "file"
                                       << "XYZ File";
    QTest::newRow("no extension") << "README"
                                  << "file"
                                  << "File";
    QTest::newRow("hidden, no extension") << ".profile"
                                          << "file"
                                          << "File";
    QTest::newRow("unreadable") << "locked.DAT"
                                << "unreadable"
                                << "Data file";
    QTest::newRow("FIFO named like a data file") << "pipe.DAT"
                                                 << "fifo"
                                                 << "Special file";
    QTest::newRow("socket") << "meter.sock"
                            << "socket"
                            << "Special file";
    QTest::newRow("folder named like a file") << "old.DAT"
                                              << "folder"
                                              << "Folder";
    QTest::newRow("link to a data file") << "link.DAT"
                                         << "link"
                                         << "Data file";
    QTest::newRow("link to nothing") << "gone.DAT"
                                     << "broken link"
                                     << "Shortcut";
}

// A FIFO would block an open for reading; an unreadable file would fail it; a data file would
// be read for its content type. The provider does none of that: the kernel sees no open.
void TstFileDialogs::providerNamesTypesWithoutOpening() {
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, type);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    const QByteArray raw = QFile::encodeName(path);
    if (kind == "file" || kind == "unreadable") {
        writeFile(path, "x             \r\n\xaf\r\n\x1a\r\n");
        if (kind == "unreadable")
            QCOMPARE(::chmod(raw.constData(), 0), 0);
    } else if (kind == "fifo") {
        QCOMPARE(::mkfifo(raw.constData(), 0600), 0);
    } else if (kind == "socket") {
        QVERIFY(makeSocket(path));
    } else if (kind == "folder") {
        QVERIFY(QDir().mkdir(path));
    } else if (kind == "link") {
        writeFile(dir.filePath("target.DAT"), "x");
        QVERIFY(QFile::link(dir.filePath("target.DAT"), path));
    } else {
        QVERIFY(QFile::link(dir.filePath("nowhere"), path));
    }

    QFileInfo info(path);
    info.stat(); // as a folder listing has it
    OpenRecorder opens(dir.path());
    QVERIFY(opens.ok());
    FifoWatchdog watchdog(kind == "fifo" ? raw : QByteArray());
    FastIconProvider provider;
    QCOMPARE(provider.type(info), type);
    const QIcon icon = provider.icon(info);
    QVERIFY(!icon.isNull());
    QVERIFY(!icon.pixmap(16, 16).isNull());
    QVERIFY(!watchdog.stop());
    QCOMPARE(opens.openedFiles(), QList<QByteArray>());
    // Every entry of a kind shares one icon: a listing makes no new pixmaps per file.
    QCOMPARE(provider.icon(QFileInfo(path)).cacheKey(), icon.cacheKey());
}

void TstFileDialogs::filterSuffix_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("one pattern") << "CSV (*.csv)"
                                 << "csv";
    QTest::newRow("workbook") << "Excel workbook (*.xlsx)"
                              << "xlsx";
    QTest::newRow("one extension in two cases") << "Data files (*.dat *.DAT)"
                                                << "dat";
    QTest::newRow("bare pattern") << "*.cal"
                                  << "cal";
    QTest::newRow("two extensions") << "Images (*.png *.jpg)"
                                    << "";
    QTest::newRow("anything") << "All files (*)"
                              << "";
    QTest::newRow("wildcard in the extension") << "Backups (*.da?)"
                                               << "";
    QTest::newRow("double extension") << "Archives (*.tar.gz)"
                                      << "tar.gz";
    QTest::newRow("parentheses in the description") << "Data (old) files (*.dat)"
                                                    << "dat";
}

void TstFileDialogs::filterSuffix() {
    QFETCH(QString, filter);
    QFETCH(QString, suffix);
    QCOMPARE(singleFilterSuffix(filter), suffix);
}

void TstFileDialogs::dialogsListWithoutOpeningFiles_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("data-file save") << "save";
    QTest::newRow("certificate load") << "open";
    QTest::newRow("folder chooser") << "folder";
}

// A folder of data files with a FIFO and a socket among them: the dialog lists it, sorted,
// through the program's provider, and closes; nothing in the folder was opened, and the FIFO
// never held the dialog up (the watchdog would have had to free it).
void TstFileDialogs::dialogsListWithoutOpeningFiles() {
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString folder = dir.filePath("data");
    // Written in an order of their own: the listing is sorted, folders first.
    QVERIFY(QDir().mkpath(folder + "/Sawmill B"));
    QVERIFY(QDir().mkpath(folder + "/Sawmill A"));
    QStringList expected{"Sawmill A", "Sawmill B"};
    for (int i = 0; i < 300; ++i) {
        const QString name = QStringLiteral("%1.DAT").arg((i * 7) % 300, 6, 10, QLatin1Char('0'));
        writeFile(folder + "/" + name, "x             \r\n\xaf\r\n\x1a\r\n");
    }
    for (int i = 0; i < 300; ++i)
        expected << QStringLiteral("%1.DAT").arg(i, 6, 10, QLatin1Char('0'));
    writeFile(folder + "/0001.cal", "certificate");
    const QByteArray fifo = QFile::encodeName(folder + "/pipe.DAT");
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    QVERIFY(makeSocket(folder + "/sock.DAT"));
    if (kind == "open")
        expected = QStringList{"Sawmill A", "Sawmill B", "0001.cal"};
    else if (kind == "folder")
        expected = QStringList{"Sawmill A", "Sawmill B"};

    OpenRecorder opens(folder);
    QVERIFY(opens.ok());
    FifoWatchdog watchdog(fifo);
    QtDialogs dialogs;
    QStringList shown;
    QString typeOfFirstFile;
    const QAbstractFileIconProvider* provider = nullptr;
    QString nameField;
    whenShown(
        [&](QFileDialog* d) {
            shown = listedNames(d);
            QListView* v = listOf(d);
            const QModelIndex first = v->model()->index(2, 2, v->rootIndex()); // Type column
            typeOfFirstFile = first.data().toString();
            provider = d->iconProvider();
            nameField = nameEditOf(d)->text();
            QTest::keyClick(d, Qt::Key_Escape);
        },
        int(expected.size()));
    QString chosen;
    if (kind == "save")
        chosen = dialogs.chooseSaveFileName("Save", folder + "/111226.DAT", kDataFilter, "DAT");
    else if (kind == "open")
        chosen = dialogs.chooseOpenFileName("Load", folder + "/*.cal", "cal (*.cal)");
    else
        chosen = dialogs.chooseFolder("Data folder", folder);
    QVERIFY(chosen.isEmpty()); // Escape cancels
    QVERIFY2(!watchdog.stop(), "the dialog waited on the FIFO");
    QCOMPARE(opens.openedFiles(), QList<QByteArray>());
    // FIFOs and sockets are no files to save to or load: the dialog leaves them out.
    if (shown != expected)
        qInfo() << shown.mid(0, 8);
    QCOMPARE(shown, expected);
    QCOMPARE(provider, &dialogs.iconProvider());
    if (kind == "save") {
        QCOMPARE(typeOfFirstFile, QStringLiteral("Data file"));
        QCOMPARE(nameField, QStringLiteral("111226.DAT"));
    } else if (kind == "open") {
        QCOMPARE(typeOfFirstFile, QStringLiteral("Calibration certificate"));
        QCOMPARE(nameField, QStringLiteral("*.cal")); // the pattern it was given
    } else {
        QCOMPARE(nameField, QString());
    }
}

// The second Save shows the same dialog object, set up as a new one: its own title, folder,
// proposed name, first filter and suffix, whatever the user left in it the first time.
void TstFileDialogs::keptSaveDialogOpensAsNew() {
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath("a")));
    QVERIFY(QDir().mkpath(dir.filePath("b")));
    writeFile(dir.filePath("b/old.DAT"), "x");
    QtDialogs dialogs;
    QPointer<QFileDialog> first;
    whenShown([&](QFileDialog* d) {
        first = d;
        QCOMPARE(d->windowTitle(), QStringLiteral("Save"));
        QCOMPARE(QDir(d->directory()).absolutePath(), dir.filePath("a"));
        QCOMPARE(nameEditOf(d)->text(), QStringLiteral("101226.DAT"));
        QCOMPARE(d->defaultSuffix(), QStringLiteral("DAT"));
        QVERIFY(d->testOption(QFileDialog::DontConfirmOverwrite));
        QCOMPARE(d->acceptMode(), QFileDialog::AcceptSave);
        QVERIFY(d->testOption(QFileDialog::DontUseNativeDialog));
        // The user goes elsewhere and types something, then cancels.
        d->setDirectory(dir.filePath("b"));
        nameEditOf(d)->setText("left over");
        d->reject();
    });
    QVERIFY(dialogs.chooseSaveFileName("Save", dir.filePath("a/101226.DAT"), kDataFilter, "DAT")
                .isEmpty());
    QVERIFY(first);

    QFileDialog* second = nullptr;
    QString title, folder, name;
    whenShown([&](QFileDialog* d) {
        second = d;
        title = d->windowTitle();
        folder = QDir(d->directory()).absolutePath();
        name = nameEditOf(d)->text();
        QTest::keyClick(nameEditOf(d), Qt::Key_Return);
    });
    const QString chosen =
        dialogs.chooseSaveFileName("Tallenna", dir.filePath("a/111226.DAT"), kDataFilter, "DAT");
    QCOMPARE(second, first.data());
    QCOMPARE(title, QStringLiteral("Tallenna"));
    QCOMPARE(folder, dir.filePath("a"));
    QCOMPARE(name, QStringLiteral("111226.DAT"));
    QCOMPARE(chosen, dir.filePath("a/111226.DAT"));
    QCOMPARE(dialogs.keptFileDialog("save", kDataFilter), first.data());

    // Another purpose has a dialog of its own.
    whenShown([&](QFileDialog* d) {
        second = d;
        d->reject();
    });
    dialogs.chooseSaveFileName("Print", dir.filePath("a/r.pdf"), "PDF files (*.pdf *.PDF)", "pdf");
    QVERIFY(second != first.data());
}

// Several filters: the user picks the second and types a bare name; the name gets that
// filter's extension and the caller learns the filter. The next opening starts again from
// the first filter and its suffix.
void TstFileDialogs::suffixFollowsTheSelectedFilter() {
    QTemporaryDir dir;
    const QString filters = QStringLiteral("Excel workbook (*.xlsx);;CSV (*.csv)");
    QtDialogs dialogs;
    auto pick = [&](int filterIndex, const QString& typed) {
        whenShown([filterIndex, typed](QFileDialog* d) {
            auto* combo = d->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            QVERIFY(combo);
            QCOMPARE(combo->currentIndex(), 0);
            QCOMPARE(d->defaultSuffix(), QStringLiteral("xlsx"));
            if (filterIndex != combo->currentIndex()) {
                combo->setCurrentIndex(filterIndex);
                emit combo->textActivated(combo->currentText()); // as a user's choice does
                emit combo->activated(filterIndex);
            }
            nameEditOf(d)->setText(typed);
            QTest::keyClick(nameEditOf(d), Qt::Key_Return);
        });
    };
    QString selected;
    pick(1, "report");
    QString chosen =
        dialogs.chooseSaveFileName("Export", dir.filePath("x.xlsx"), filters, "xlsx", &selected);
    QCOMPARE(chosen, dir.filePath("report.csv"));
    QCOMPARE(selected, QStringLiteral("CSV (*.csv)"));

    pick(0, "summary");
    chosen =
        dialogs.chooseSaveFileName("Export", dir.filePath("x.xlsx"), filters, "xlsx", &selected);
    QCOMPARE(chosen, dir.filePath("summary.xlsx"));
    QCOMPARE(selected, QStringLiteral("Excel workbook (*.xlsx)"));
}

// A big folder is still being listed when the user starts typing: the keys reach the name
// field, Return accepts, and the name returned is the one typed.
void TstFileDialogs::nameTypedWhileListingIsTheOneReturned() {
    QTemporaryDir dir;
    for (int i = 0; i < 5000; ++i)
        writeFile(dir.filePath(QStringLiteral("%1.DAT").arg(i, 6, 10, QLatin1Char('0'))), "x");
    QtDialogs dialogs;
    int rowsWhenTyping = -1;
    whenShown([&](QFileDialog* d) {
        rowsWhenTyping = listedRows(d);
        QLineEdit* edit = nameEditOf(d);
        edit->selectAll();
        QTest::keyClicks(edit, "Koivu 1");
        QTest::keyClick(edit, Qt::Key_Return);
    });
    const QString chosen =
        dialogs.chooseSaveFileName("Save", dir.filePath("111226.DAT"), kDataFilter, "DAT");
    QCOMPARE(chosen, dir.filePath("Koivu 1.DAT"));
    qInfo("rows listed when the name was typed: %d of 5000", rowsWhenTyping);
}

// A name in another encoding (Latin-1 bytes) beside a plain one. Qt cannot name such a file,
// so the dialog leaves it out and lists the rest; the user types the name in UTF-8, that is
// the name returned and written, and the odd file is left as it was.
void TstFileDialogs::nameNotUtf8IsLeftAloneAndTheTypedNameWritten() {
    QTemporaryDir dir;
    const QByteArray odd = QFile::encodeName(dir.path()) + "/caf\xe9.DAT";
    const int fd = ::open(odd.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, "old", 3), ssize_t(3));
    ::close(fd);
    writeFile(dir.filePath("plain.DAT"), "x");
    QtDialogs dialogs;
    QStringList shown;
    whenShown(
        [&](QFileDialog* d) {
            shown = listedNames(d);
            QLineEdit* edit = nameEditOf(d);
            edit->selectAll();
            QTest::keyClicks(edit, "caf");
            edit->insert(QString::fromUtf8("\xc3\xa9")); // a key the test's keyboard lacks
            QTest::keyClick(edit, Qt::Key_Return);
        },
        1);
    const QString chosen =
        dialogs.chooseSaveFileName("Save", dir.filePath("111226.DAT"), kDataFilter, "DAT");
    const QString typed = dir.filePath(QString::fromUtf8("caf\xc3\xa9.DAT"));
    QCOMPARE(chosen, typed);
    QVERIFY(shown.contains("plain.DAT"));
    writeFile(chosen, "new");
    QCOMPARE(QFile::encodeName(chosen), QFile::encodeName(dir.path()) + "/caf\xc3\xa9.DAT");
    QFile written(chosen);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), QByteArray("new"));
    char buf[8] = {};
    const int back = ::open(odd.constData(), O_RDONLY);
    QVERIFY(back >= 0);
    QCOMPARE(::read(back, buf, sizeof buf), ssize_t(3));
    ::close(back);
    ::unlink(odd.constData()); // QTemporaryDir cannot name it
    QCOMPARE(QByteArray(buf), QByteArray("old"));
}

// The folder goes away while the dialog shows it (an unplugged stick, a dropped network
// share): the dialog stays, accepting gives the folder-missing note and the dialog again,
// and Escape then cancels.
void TstFileDialogs::folderRemovedWhileOpen() {
    QTemporaryDir dir;
    const QString folder = dir.filePath("stick");
    QVERIFY(QDir().mkpath(folder));
    for (int i = 0; i < 50; ++i)
        writeFile(folder + QStringLiteral("/%1.DAT").arg(i), "x");
    QtDialogs dialogs;
    ProgramTexts texts;
    texts.SaveFolderMissing = QStringLiteral("Folder %1 is missing.");
    dialogs.setTexts(texts);
    QStringList notes;
    int fileDialogs = 0;
    std::function<void()> next;
    next = [&] {
        auto* t = new QTimer;
        t->setSingleShot(true);
        QObject::connect(t, &QTimer::timeout, [&, t] {
            t->deleteLater();
            QWidget* m = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(m)) {
                notes << box->text();
                box->accept();
            } else if (auto* d = qobject_cast<QFileDialog*>(m); d && d->isVisible()) {
                if (fileDialogs == 0 && listedRows(d) < 50)
                    return next(); // not listed yet: look again
                ++fileDialogs;
                if (fileDialogs == 1) {
                    QVERIFY(QDir(folder).removeRecursively());
                    nameEditOf(d)->setText("kept.DAT");
                    QTest::keyClick(nameEditOf(d), Qt::Key_Return);
                } else {
                    QTest::keyClick(d, Qt::Key_Escape);
                    return;
                }
            }
            if (fileDialogs < 2 && notes.size() < 3)
                next();
        });
        t->start(30);
    };
    next();
    const QString chosen =
        dialogs.chooseSaveFileName("Save", folder + "/111226.DAT", kDataFilter, "DAT");
    QVERIFY(chosen.isEmpty());
    QCOMPARE(notes, QStringList{"Folder " + folder + " is missing."});
    QCOMPARE(fileDialogs, 2);
}

// The kept dialogs are the parent window's children: when it goes, they go, and the next
// request builds a new one.
void TstFileDialogs::dialogGoesWithItsParentWindow() {
    QTemporaryDir dir;
    QtDialogs dialogs;
    auto parent = std::make_unique<QWidget>();
    dialogs.setParent(parent.get());
    whenShown([](QFileDialog* d) { d->reject(); });
    dialogs.chooseFolder("Data folder", dir.path());
    QPointer<QFileDialog> kept = dialogs.keptFileDialog("folder");
    QVERIFY(kept);
    QCOMPARE(kept->parentWidget(), parent.get());
    parent.reset();
    QVERIFY(!kept);
    QVERIFY(!dialogs.keptFileDialog("folder"));
    QString chosen;
    whenShown([](QFileDialog* d) { QTest::keyClick(nameEditOf(d), Qt::Key_Return); });
    chosen = dialogs.chooseFolder("Data folder", dir.path());
    QCOMPARE(QDir(chosen).absolutePath(), QDir(dir.path()).absolutePath());
}

void TstFileDialogs::hiddenKeptDialogDoesNoFolderWork_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("save") << "save";
    QTest::newRow("open") << "open";
}

// Put away, a kept dialog neither watches nor reads its folder whatever is written there; shown
// again it lists what was written meanwhile, and while shown it follows the folder.
void TstFileDialogs::hiddenKeptDialogDoesNoFolderWork() {
    QFETCH(QString, kind);
    QTemporaryDir dir;
    for (int i = 0; i < 50; ++i)
        writeFile(dir.filePath(QStringLiteral("%1.DAT").arg(i, 3, 10, QLatin1Char('0'))), "x");
    QtDialogs dialogs;
    auto open = [&] {
        if (kind == QLatin1String("save"))
            dialogs.chooseSaveFileName("Save", dir.filePath("new.DAT"), kDataFilter, "DAT");
        else
            dialogs.chooseOpenFileName("Open", dir.path(), kDataFilter);
    };
    QStringList watchedWhileShown;
    whenShown(
        [&](QFileDialog* d) {
            for (const QFileSystemWatcher* w : d->findChildren<QFileSystemWatcher*>())
                watchedWhileShown << w->directories();
            d->reject();
        },
        50);
    open();
    QCOMPARE(watchedWhileShown, QStringList{dir.path()});

    QFileDialog* kept = dialogs.keptFileDialog(kind, kDataFilter);
    QVERIFY(kept && !kept->isVisible());
    auto* model = kept->findChild<QFileSystemModel*>();
    QVERIFY(model);
    QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
    QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    QSignalSpy sorted(model, &QAbstractItemModel::layoutChanged);
    for (int i = 0; i < 10; ++i) {
        writeFile(dir.filePath(QStringLiteral("while hidden %1.DAT").arg(i)), "x");
        QTest::qWait(50);
    }
    QVERIFY(QFile::remove(dir.filePath("000.DAT")));
    QTest::qWait(1500);
    for (const QFileSystemWatcher* w : kept->findChildren<QFileSystemWatcher*>())
        QCOMPARE(w->directories(), QStringList{});
    QCOMPARE(loaded.count() + inserted.count() + removed.count() + changed.count() + sorted.count(),
             0);

    QStringList shownAgain;
    QStringList followed;
    whenShown(
        [&](QFileDialog* d) {
            shownAgain = listedNames(d);
            writeFile(dir.filePath("while shown.DAT"), "x");
            QTRY_VERIFY_WITH_TIMEOUT(listedNames(d).contains("while shown.DAT"), 5000);
            followed = listedNames(d);
            d->reject();
        },
        59);
    open();
    QVERIFY(shownAgain.contains("while hidden 9.DAT"));
    QVERIFY(!shownAgain.contains("000.DAT"));
    QCOMPARE(shownAgain.size(), 59);
    QCOMPARE(followed.size(), 60);
}

QTEST_MAIN(TstFileDialogs)
#include "tst_filedialogs.moc"
