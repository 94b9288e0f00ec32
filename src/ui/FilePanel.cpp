#include "FilePanel.h"

#include "FolderScan.h"
#include "Icons.h"
#include "base/Failure.h"
#include "files/FileNames.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QShowEvent>
#include <QStorageInfo>
#include <QVBoxLayout>

#include <sys/stat.h>
#include <unistd.h>

namespace kelotari {

FilePanel::FilePanel(QWidget* parent)
    : QWidget(parent), m_folderIcon(icons::folder()), m_openFolderIcon(icons::openFolder()) {
    m_drives = new QComboBox(this);
    m_drives->setObjectName(QStringLiteral("DriveComboBox"));
    m_dirs = new QListWidget(this);
    m_dirs->setObjectName(QStringLiteral("DirectoryListBox"));
    m_dirs->setUniformItemSizes(true);
    m_files = new QListWidget(this);
    m_files->setObjectName(QStringLiteral("FileListBox"));
    m_files->setUniformItemSizes(true);
    m_files->setSelectionMode(QAbstractItemView::SingleSelection);

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
    listDrives();
    listFolders();
    refreshFiles();
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

QString FilePanel::nameOf(const QListWidgetItem* item) {
    return item->data(Qt::UserRole).toString();
}

QListWidgetItem* FilePanel::itemNamed(const QString& name) const {
    for (int i = 0; i < m_files->count(); ++i)
        if (nameOf(m_files->item(i)) == name)
            return m_files->item(i);
    return nullptr;
}

void FilePanel::refreshFiles() {
    const QString selected = m_files->currentItem() ? nameOf(m_files->currentItem()) : QString();
    m_files->clear();
    // Regular files only (links to them included): FIFOs, sockets and device nodes are no
    // data files, and opening one could wait for ever. Each item keeps the name as the file
    // system has it and shows it with the bytes that are not UTF-8 marked, so two names
    // never look like one or act as one.
    for (const QString& name : scanFolder(m_folder, FolderEntries::DataFiles)) {
        auto* item = new QListWidgetItem(displayFileName(name), m_files);
        item->setData(Qt::UserRole, name);
    }
    if (!selected.isEmpty()) {
        if (QListWidgetItem* found = itemNamed(selected))
            m_files->setCurrentItem(found);
    }
}

QString FilePanel::selectedFile() const {
    const QListWidgetItem* item = m_files->currentItem();
    if (!item || !item->isSelected())
        return QString();
    return QDir(m_folder).filePath(nameOf(item));
}

bool FilePanel::selectFile(const QString& fileName) {
    QListWidgetItem* found = itemNamed(QFileInfo(fileName).fileName());
    if (!found)
        return false;
    m_files->setCurrentItem(found);
    found->setSelected(true);
    return true;
}

} // namespace kelotari
