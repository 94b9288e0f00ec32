#include "QtDialogs.h"

#include "FastIconProvider.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFileSystemWatcher>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeView>

#include <sys/stat.h>

namespace kelotari {

namespace {

// A file dialog kept for one purpose. Being a class of its own, it is never swapped for the
// desktop's native dialog (Qt offers those to plain QFileDialogs only); the option says the same
// for anyone reading the flags. The program's own widget dialog is wanted everywhere: it lists
// through our icon provider (no reading of the folder's files), it can be kept and shown again,
// and it looks and behaves the same on every desktop.
class KeptFileDialog : public QFileDialog {
    Q_OBJECT
public:
    KeptFileDialog(QWidget* parent, const QString& folder, FastIconProvider* icons)
        : QFileDialog(parent, QString(), folder) {
        setOption(QFileDialog::DontUseNativeDialog, true);
        setIconProvider(icons);
        // Every row of the detail view is one line of text beside an icon of one size: said
        // so, the view lays out a folder of many files without measuring each row's text.
        if (auto* details = findChild<QTreeView*>(QStringLiteral("treeView")))
            details->setUniformRowHeights(true);
        // A filter that names one extension brings it along as the suffix added to a name
        // typed without one; other filters go back to the caller's suffix.
        connect(this, &QFileDialog::filterSelected, this, [this](const QString& filter) {
            const QString own = singleFilterSuffix(filter);
            const bool ownDiffers =
                !own.isEmpty() && own.compare(callerSuffix, Qt::CaseInsensitive);
            setDefaultSuffix(ownDiffers ? own : callerSuffix);
        });

        // The dialog follows its folder itself, and only while it is on screen: the model's
        // own watch would go on re-reading and re-sorting a folder of thousands of files for
        // every file another program writes there, shown or not.
        if (QFileSystemModel* model = listing())
            model->setOption(QFileSystemModel::DontWatchForChanges, true);
        m_reread.setSingleShot(true);
        m_reread.setInterval(300);
        connect(&m_watch, &QFileSystemWatcher::directoryChanged, this, [this] {
            if (!m_reread.isActive())
                m_reread.start();
        });
        connect(&m_reread, &QTimer::timeout, this, &KeptFileDialog::reread);
        connect(this, &QFileDialog::directoryEntered, this, [this](const QString& dir) {
            if (isVisible())
                follow(dir);
        });
    }

    // Back to the state of a new dialog with these filters: the first filter selected, its
    // suffix, nothing selected in the list.
    void resetFilters(const QString& suffix) {
        callerSuffix = suffix;
        setDefaultSuffix(suffix);
        const QString first = nameFilters().value(0);
        // Selecting a filter re-filters and re-sorts the whole listing: only when it changed.
        if (!first.isEmpty() && selectedNameFilter() != first)
            selectNameFilter(first);
    }

    // Opens where a new dialog given this path would: the path itself when it is a folder, else
    // the folder it names a file in, when that exists. A folder it listed before is read again
    // only when it changed since (what the dialog knows of it is shown at once, and brought up
    // to date as the reading comes in); from now until it is put away, the dialog follows it.
    void goTo(const QString& path) {
        const QFileInfo info(QDir::current(), path);
        if (info.isDir())
            setDirectory(info.absoluteFilePath());
        else if (QFileInfo(info.absolutePath()).isDir())
            setDirectory(info.absolutePath());
        const QString dir = directory().absolutePath();
        const auto listed = m_listed.constFind(dir);
        if (listed == m_listed.cend())
            m_listed.insert(dir, stampOf(dir)); // never listed before: the model reads it now
        else if (*listed != stampOf(dir))
            reread();
        follow(dir);
    }

    // Put away until the next opening: nothing watches or reads its folder while it is hidden.
    void rest() {
        if (m_reread.isActive()) {
            // A change came in that the list has not taken yet: read again on the next opening.
            m_listed.insert(directory().absolutePath(), DirStamp{});
            m_reread.stop();
        }
        if (!m_watch.directories().isEmpty())
            m_watch.removePaths(m_watch.directories());
    }

    QFileSystemModel* listing() const {
        return findChild<QFileSystemModel*>(QStringLiteral("qt_filesystem_model"));
    }
    // The name field as a new dialog for this path would have it.
    void setName(const QString& name) {
        if (!name.isEmpty()) {
            selectFile(name);
            return;
        }
        if (auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            edit->clear();
    }

    QString callerSuffix;

private:
    // What tells that a folder's entries changed: any entry made, removed or renamed changes
    // the folder's modification and change times.
    struct DirStamp {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 modified = -1;
        qint64 changed = -1;
        bool operator!=(const DirStamp& o) const {
            return device != o.device || inode != o.inode || modified != o.modified ||
                   changed != o.changed;
        }
    };
    static DirStamp stampOf(const QString& dir) {
        struct stat st {};
        if (::stat(QFile::encodeName(dir).constData(), &st) != 0)
            return DirStamp{};
        return DirStamp{quint64(st.st_dev), quint64(st.st_ino),
                        qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                        qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
    }

    void follow(const QString& dir) {
        if (m_watch.directories() == QStringList{dir})
            return;
        if (!m_watch.directories().isEmpty())
            m_watch.removePaths(m_watch.directories());
        m_watch.addPath(dir);
    }

    // Reads the folder shown again: leaving it (unseen by the dialog, whose history keeps no
    // such step) marks it for reading, and coming back reads it.
    void reread() {
        QFileSystemModel* model = listing();
        if (!model)
            return;
        const QString dir = directory().absolutePath();
        m_listed.insert(dir, stampOf(dir));
        {
            const QSignalBlocker quiet(model);
            model->setRootPath(QString());
        }
        setDirectory(dir);
    }

    QFileSystemWatcher m_watch{this};  // a child, so that the paths it watches can be looked at
    QTimer m_reread;                   // started by the first change of a burst
    QHash<QString, DirStamp> m_listed; // each folder listed, as it was when it was read
};

QString kindKey(int kind, const QString& filter) {
    return QString::number(kind) + QLatin1Char('\n') + filter;
}

} // namespace

QString boxText(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

QString singleFilterSuffix(const QString& filter) {
    // "Description (patterns)" or the bare patterns, as the dialog reads a filter.
    static const QRegularExpression described(QStringLiteral("^.*\\(([^()]*)\\)\\s*$"));
    const QRegularExpressionMatch m = described.match(filter);
    const QString patterns = m.hasMatch() ? m.captured(1) : filter;
    QString suffix;
    for (const QString& p : patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!p.startsWith(QLatin1String("*.")) || p.size() < 3)
            return QString();
        const QString ext = p.mid(2);
        if (ext.contains(QLatin1Char('*')) || ext.contains(QLatin1Char('?')) ||
            ext.contains(QLatin1Char('[')))
            return QString();
        if (suffix.isEmpty())
            suffix = ext;
        else if (suffix.compare(ext, Qt::CaseInsensitive) != 0)
            return QString();
    }
    return suffix;
}

QtDialogs::QtDialogs(QWidget* parent) : m_parent(parent) {}

QtDialogs::~QtDialogs() {
    for (const QPointer<QFileDialog>& d : std::as_const(m_fileDialogs))
        delete d.data();
}

void QtDialogs::setParent(QWidget* parent) {
    m_parent = parent;
    for (const QPointer<QFileDialog>& d : std::as_const(m_fileDialogs))
        if (d)
            d->setParent(parent, d->windowFlags());
}

QFileDialog* QtDialogs::keptFileDialog(const QString& kind, const QString& filter) const {
    static const QStringList kinds{QStringLiteral("save"), QStringLiteral("open"),
                                   QStringLiteral("folder")};
    return m_fileDialogs.value(kindKey(int(kinds.indexOf(kind)), filter)).data();
}

QFileDialog* QtDialogs::fileDialog(Kind kind, const QString& filter, const QString& startPath) {
    QPointer<QFileDialog>& kept = m_fileDialogs[kindKey(int(kind), filter)];
    if (kept)
        return kept;
    if (!m_icons)
        m_icons = std::make_unique<FastIconProvider>();
    // Made in the folder of its first use, so it does not first list another one.
    const QFileInfo start(QDir::current(), startPath);
    auto* dlg = new KeptFileDialog(
        m_parent, start.isDir() ? start.absoluteFilePath() : start.absolutePath(), m_icons.get());
    switch (kind) {
    case Kind::Save:
        dlg->setAcceptMode(QFileDialog::AcceptSave);
        dlg->setFileMode(QFileDialog::AnyFile);
        // The program asks its own overwrite question.
        dlg->setOption(QFileDialog::DontConfirmOverwrite, true);
        break;
    case Kind::Open:
        dlg->setFileMode(QFileDialog::ExistingFile);
        break;
    case Kind::Folder:
        dlg->setFileMode(QFileDialog::Directory);
        dlg->setOption(QFileDialog::ShowDirsOnly, true);
        break;
    }
    if (!filter.isEmpty())
        dlg->setNameFilter(filter);
    kept = dlg;
    return dlg;
}

bool QtDialogs::askYesNo(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Question, title, boxText(text), QMessageBox::Yes | QMessageBox::No,
                    m_parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void QtDialogs::showMessage(const QString& title, const QString& text, Icon icon) {
    QMessageBox::Icon i = QMessageBox::NoIcon;
    switch (icon) {
    case Icon::None:
        i = QMessageBox::NoIcon;
        break;
    case Icon::Information:
        i = QMessageBox::Information;
        break;
    case Icon::Warning:
        i = QMessageBox::Warning;
        break;
    case Icon::Error:
        i = QMessageBox::Critical;
        break;
    case Icon::Question:
        i = QMessageBox::Question;
        break;
    }
    QMessageBox box(i, title, boxText(text), QMessageBox::Ok, m_parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QString QtDialogs::chooseSaveFileName(const QString& title, const QString& proposed,
                                      const QString& filter, const QString& defaultSuffix,
                                      QString* selectedFilter) {
    auto* dlg = static_cast<KeptFileDialog*>(fileDialog(Kind::Save, filter, proposed));
    dlg->setWindowTitle(title);
    dlg->resetFilters(defaultSuffix);
    dlg->goTo(proposed);
    // A full name also takes the dialog to its folder, even one that does not exist (the
    // user then sees the folder-missing note on accepting).
    dlg->setName(proposed);
    const auto putAway = qScopeGuard([kept = QPointer<KeptFileDialog>(dlg)] {
        if (kept)
            kept->rest();
    });
    for (;;) {
        if (dlg->exec() != QDialog::Accepted || dlg->selectedFiles().isEmpty())
            return QString();
        const QString name = dlg->selectedFiles().constFirst();
        const QFileInfo fi(name);
        if (!fi.absoluteDir().exists()) {
            showMessage(title, m_texts.SaveFolderMissing.arg(fi.absolutePath()), Icon::Warning);
            continue;
        }
        if (fi.exists() && !fi.isWritable()) {
            showMessage(title, m_texts.SaveFolderReadOnly.arg(name), Icon::Warning);
            continue;
        }
        if (selectedFilter)
            *selectedFilter = dlg->selectedNameFilter();
        return name;
    }
}

QString QtDialogs::chooseOpenFileName(const QString& title, const QString& folder,
                                      const QString& filter) {
    auto* dlg = static_cast<KeptFileDialog*>(fileDialog(Kind::Open, filter, folder));
    dlg->setWindowTitle(title);
    dlg->resetFilters(QString());
    dlg->goTo(folder);
    // A path that is no folder proposes its last part as the name ("*.cal" lists those).
    const QFileInfo info(folder);
    dlg->setName(folder.isEmpty() || info.isDir() ? QString() : info.fileName());
    const auto putAway = qScopeGuard([kept = QPointer<KeptFileDialog>(dlg)] {
        if (kept)
            kept->rest();
    });
    if (dlg->exec() != QDialog::Accepted)
        return QString();
    return dlg->selectedFiles().value(0);
}

QString QtDialogs::chooseFolder(const QString& title, const QString& folder) {
    auto* dlg = static_cast<KeptFileDialog*>(fileDialog(Kind::Folder, QString(), folder));
    dlg->setWindowTitle(title);
    dlg->goTo(folder);
    dlg->setName(QString());
    const auto putAway = qScopeGuard([kept = QPointer<KeptFileDialog>(dlg)] {
        if (kept)
            kept->rest();
    });
    if (dlg->exec() != QDialog::Accepted)
        return QString();
    return dlg->selectedFiles().value(0);
}

void QtDialogs::lastResortError(const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Kelotari"), boxText(text),
                    QMessageBox::Ok, m_parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace kelotari

#include "QtDialogs.moc"
