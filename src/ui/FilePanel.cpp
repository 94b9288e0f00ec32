#include "FilePanel.h"

#include "FileListing.h"
#include "Icons.h"
#include "base/Failure.h"
#include "files/FileNames.h"
#include "files/FolderScan.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QScrollBar>
#include <QShowEvent>
#include <QStorageInfo>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace kelotari {

namespace {

// The longest the first reading waits for the file list's first paint.
constexpr int kHoldMs = 50;

} // namespace

FilePanel::~FilePanel() {
    const std::lock_guard<std::mutex> lock(m_relay->mutex);
    m_relay->panel = nullptr;
}

FilePanel::FilePanel(QWidget* parent)
    : QWidget(parent), m_relay(std::make_shared<FileListingRelay>()), m_folderIcon(icons::folder()),
      m_openFolderIcon(icons::openFolder()) {
    m_relay->panel = this;
    m_drives = new QComboBox(this);
    m_drives->setObjectName(QStringLiteral("DriveComboBox"));
    m_dirs = new QListWidget(this);
    m_dirs->setObjectName(QStringLiteral("DirectoryListBox"));
    m_dirs->setUniformItemSizes(true);
    m_files = new QListWidget(this);
    m_files->setObjectName(QStringLiteral("FileListBox"));
    m_files->setUniformItemSizes(true);
    m_files->setSelectionMode(QAbstractItemView::SingleSelection);
    m_files->viewport()->installEventFilter(this);

    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(2);
    lay->addWidget(m_drives);
    lay->addWidget(m_dirs, 1);
    lay->addWidget(m_files, 1);

    // The process's current folder until told otherwise. It is listed only if the panel is
    // shown before another folder is set: the window points the panel at the data folder
    // before it shows, and listing a folder about to be left is wasted work.
    m_folder = QDir::currentPath();

    connect(m_drives, QOverload<int>::of(&QComboBox::activated), this, [this](int i) {
        const QString root = m_drives->itemData(i).toString();
        try {
            setFolder(root);
        } catch (const Failure&) {
            listDrives(); // the volume went away: show where we still are
        }
    });
    connect(m_dirs, &QListWidget::itemActivated, this, &FilePanel::onFolderActivated);
    connect(m_files, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        emit fileActivated(QDir(m_folder).filePath(nameOf(item)));
    });

    // A burst of changes (a copy of many files, a sync) is taken in one look.
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    // The first change of a burst also puts the watch away until the look: a program writing
    // a file every few milliseconds would otherwise wake the panel for each of them. The look
    // watches again before it reads, so nothing done in between is missed.
    connect(&m_watch, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (!m_settle.isActive())
            m_settle.start();
        if (!m_watch.directories().isEmpty())
            m_watch.removePaths(m_watch.directories());
    });
    connect(&m_settle, &QTimer::timeout, this, &FilePanel::followFolder);
}

void FilePanel::setFolder(const QString& folder) {
    // Looked at by its bytes: a folder whose name is not UTF-8 is a folder all the same.
    const QString absolute = folder.startsWith(QLatin1Char('/'))
                                 ? folder
                                 : QDir::currentPath() + QLatin1Char('/') + folder;
    const QByteArray path = encodeFileName(absolute);
    struct stat st {};
    if (folder.isEmpty() || ::stat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        ::access(path.constData(), R_OK | X_OK) != 0)
        throw Failure(QStringLiteral("Cannot open the folder %1").arg(displayFileName(folder)));
    m_folder = QDir::cleanPath(absolute);
    listAll();
}

void FilePanel::listAll() {
    m_listed = true;
    if (!m_painted && !m_listingHeld) {
        m_listingHeld = true;
        QTimer::singleShot(kHoldMs, this, &FilePanel::startHeldListing);
    }
    listDrives();
    listFolders();
    // A file of the same name in another folder is another file: nothing stays selected.
    m_files->clear();
    m_names.clear();
    m_present.clear();
    watchFolder();
    if (!m_listingHeld)
        startListing(false);
}

bool FilePanel::eventFilter(QObject* watched, QEvent* event) {
    if (!m_painted && event->type() == QEvent::Paint && watched == m_files->viewport()) {
        m_painted = true;
        if (m_listingHeld) // right after this paint
            QTimer::singleShot(0, this, &FilePanel::startHeldListing);
    }
    return QWidget::eventFilter(watched, event);
}

void FilePanel::startHeldListing() {
    if (!m_listingHeld)
        return;
    m_listingHeld = false;
    // Of the folder shown now: its subfolders (a pass over all its entries) and its files.
    listSubfolders();
    startListing(false);
}

void FilePanel::showEvent(QShowEvent* event) {
    if (!m_listed)
        listAll();
    QWidget::showEvent(event);
}

void FilePanel::listDrives() {
    m_drives->clear();
    const QString current = QStorageInfo(m_folder).rootPath();
    int sel = -1;
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
        if (!v.isValid() || !v.isReady())
            continue;
        const QString label = v.displayName() == v.rootPath()
                                  ? v.rootPath()
                                  : QStringLiteral("%1 [%2]").arg(v.rootPath(), v.displayName());
        m_drives->addItem(label, v.rootPath());
        if (v.rootPath() == current)
            sel = m_drives->count() - 1;
    }
    if (sel < 0) {
        m_drives->addItem(current, current);
        sel = m_drives->count() - 1;
    }
    m_drives->setCurrentIndex(sel);
}

void FilePanel::listFolders() {
    m_dirs->clear();
    // The path from the root down to the folder shown, then its subfolders.
    QStringList chain;
    QDir d(m_folder);
    chain.prepend(d.absolutePath());
    while (d.cdUp())
        chain.prepend(d.absolutePath());
    int depth = 0;
    for (const QString& p : chain) {
        const QString name = QFileInfo(p).fileName().isEmpty() ? p : QFileInfo(p).fileName();
        auto* item = new QListWidgetItem(
            QString(depth * 2, QLatin1Char(' ')) + displayFileName(name), m_dirs);
        item->setData(Qt::UserRole, p);
        item->setIcon(p == chain.last() ? m_openFolderIcon : m_folderIcon);
        ++depth;
    }
    m_dirs->setCurrentRow(m_dirs->count() - 1);
    if (!m_listingHeld)
        listSubfolders();
}

// The subfolders of the folder shown, below the path to it.
void FilePanel::listSubfolders() {
    const int depth = m_dirs->count();
    const QStringList subs = scanFolder(m_folder, FolderEntries::Folders);
    for (const QString& s : subs) {
        auto* item =
            new QListWidgetItem(QString(depth * 2, QLatin1Char(' ')) + displayFileName(s), m_dirs);
        item->setData(Qt::UserRole, QDir(m_folder).filePath(s));
        item->setIcon(m_folderIcon);
    }
}

void FilePanel::onFolderActivated(QListWidgetItem* item) {
    const QString path = item->data(Qt::UserRole).toString();
    try {
        setFolder(path);
    } catch (const Failure&) {
        listFolders(); // it vanished or is not readable: stay where we are
    }
}

QString FilePanel::nameOf(const QListWidgetItem* item) const {
    return m_names.value(m_files->row(item));
}

int FilePanel::rowNamed(const QString& name) const {
    const auto at = std::lower_bound(m_names.cbegin(), m_names.cend(), name, listedBefore);
    return at != m_names.cend() && *at == name ? int(at - m_names.cbegin()) : -1;
}

void FilePanel::watchFolder() {
    struct stat st {};
    const QByteArray path = encodeFileName(m_folder);
    if (::stat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return;
    // The folder's parent is watched too: the folder itself may be moved away and its name
    // given to another folder or a link, which only the parent sees.
    QStringList wanted{m_folder};
    const QString parent = QFileInfo(m_folder).absolutePath();
    if (parent != m_folder)
        wanted << parent;
    QStringList watched = m_watch.directories();
    watched.sort();
    wanted.sort();
    // The same name may come to stand for another folder: the watch follows the name.
    if (watched == wanted && m_watchedDevice == st.st_dev && m_watchedInode == st.st_ino)
        return;
    if (!watched.isEmpty())
        m_watch.removePaths(watched);
    m_watchedDevice = st.st_dev;
    m_watchedInode = st.st_ino;
    // The watcher takes names as UTF-8 text: a folder whose name is not UTF-8 is not watched
    // (its list is refreshed by the program's own saves and deletes, and by browsing). Where the
    // file system reports no changes (some network mounts) the same holds.
    if (QFile::encodeName(m_folder) == path)
        m_watch.addPaths(wanted);
}

void FilePanel::followFolder() {
    if (leaveVanishedFolder())
        return;
    watchFolder();
    startListing(true);
}

void FilePanel::startListing(bool followUp) {
    const int generation = ++m_generation;
    const QString folder = m_folder;
    std::thread([relay = m_relay, folder, generation, followUp] {
        const std::shared_ptr<FileListing> listing = readListing(folder, !followUp);
        const std::lock_guard<std::mutex> lock(relay->mutex);
        if (FilePanel* panel = relay->panel) {
            // Delivered on the panel's thread; dropped with the panel if it goes first.
            QMetaObject::invokeMethod(
                panel,
                [panel, listing, generation, followUp] {
                    if (generation != panel->m_generation)
                        return;
                    // One more look once it has settled: in a long burst the system may
                    // drop change reports.
                    if (panel->applyListing(*listing) && followUp)
                        panel->m_settle.start();
                },
                Qt::QueuedConnection);
        }
    }).detach();
}

bool FilePanel::leaveVanishedFolder() {
    struct stat st {};
    if (::stat(encodeFileName(m_folder).constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return false;
    // The folder is gone (or is no folder now): show the nearest one above it that can be shown.
    QString up = m_folder;
    for (;;) {
        const QString parent = QFileInfo(up).absolutePath();
        if (parent == up)
            break;
        up = parent;
        try {
            setFolder(up);
            return true;
        } catch (const Failure&) {
        }
    }
    ++m_generation;
    m_present.clear();
    rebuildFiles(FileListing{});
    return true;
}

void FilePanel::refreshFiles() {
    if (leaveVanishedFolder())
        return;
    ++m_generation; // what a reading under way would bring is older than this
    applyListing(*readListing(m_folder, false));
}

// Changes only the rows of files that came or went since the last reading. True when any did.
bool FilePanel::applyListing(const FileListing& listing) {
    if (listing.folder != m_folder)
        return false;
    // Each name listed before is stamped when this reading has it; the ones left unstamped
    // are gone.
    ++m_stamp;
    std::vector<const std::string*> added;
    size_t kept = 0;
    for (const std::string& n : listing.raw) {
        const auto at = m_present.find(n);
        if (at == m_present.end()) {
            added.push_back(&n);
        } else {
            at->second = m_stamp;
            ++kept;
        }
    }
    std::vector<std::string> removed;
    if (kept < m_present.size()) {
        for (auto at = m_present.begin(); at != m_present.end();) {
            if (at->second != m_stamp) {
                removed.push_back(at->first);
                at = m_present.erase(at);
            } else {
                ++at;
            }
        }
    }
    if (added.empty() && removed.empty())
        return false;
    for (const std::string* a : added)
        m_present.emplace(*a, m_stamp);
    m_settle.setInterval(kSettleMs + int(std::min<size_t>(m_present.size() / 25, kSettleMs)));
    // Many changes at once (the first listing, a folder emptied or filled): one new list is
    // cheaper than row by row.
    if (m_names.isEmpty() || added.size() + removed.size() > 64 + size_t(m_names.size()) / 4) {
        if (!listing.names.isEmpty() || listing.raw.empty()) {
            rebuildFiles(listing);
        } else {
            FileListing named = listing;
            nameListing(named);
            rebuildFiles(named);
        }
        return true;
    }
    const QListWidgetItem* current = m_files->currentItem();
    for (const std::string& r : removed) {
        const int row =
            rowNamed(decodeFileName(QByteArray::fromRawData(r.data(), qsizetype(r.size()))));
        if (row < 0)
            continue;
        QListWidgetItem* item = m_files->takeItem(row);
        m_names.removeAt(row);
        if (item == current) {
            // The list would move the selection to a neighbour, which the user did not choose
            // (and a Delete would then remove).
            m_files->setCurrentItem(nullptr);
            m_files->clearSelection();
            current = nullptr;
        }
        delete item;
    }
    for (const std::string* a : added) {
        const QString name =
            decodeFileName(QByteArray::fromRawData(a->data(), qsizetype(a->size())));
        const int row = int(std::lower_bound(m_names.cbegin(), m_names.cend(), name, listedBefore) -
                            m_names.cbegin());
        m_files->insertItem(row, displayFileName(name));
        m_names.insert(row, name);
    }
    return true;
}

// The whole list anew, in one insertion; the current file and the scroll position stay where
// they were while that file exists.
void FilePanel::rebuildFiles(const FileListing& listing) {
    const QListWidgetItem* current = m_files->currentItem();
    const QString currentName = current ? nameOf(current) : QString();
    const bool wasSelected = current && current->isSelected();
    const int scrolled = m_files->verticalScrollBar()->value();

    m_files->clear();
    m_names = listing.names;
    m_files->addItems(listing.shown);

    const int row = currentName.isEmpty() ? -1 : rowNamed(currentName);
    if (row >= 0) {
        m_files->setCurrentRow(row, wasSelected ? QItemSelectionModel::ClearAndSelect
                                                : QItemSelectionModel::NoUpdate);
        m_files->verticalScrollBar()->setValue(scrolled);
    }
}

QString FilePanel::selectedFile() const {
    const QListWidgetItem* item = m_files->currentItem();
    if (!item || !item->isSelected())
        return QString();
    return QDir(m_folder).filePath(nameOf(item));
}

bool FilePanel::selectFile(const QString& fileName) {
    const int row = rowNamed(QFileInfo(fileName).fileName());
    QListWidgetItem* found = row >= 0 ? m_files->item(row) : nullptr;
    if (!found)
        return false;
    m_files->setCurrentItem(found);
    found->setSelected(true);
    return true;
}

} // namespace kelotari
