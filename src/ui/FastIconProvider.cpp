#include "FastIconProvider.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStyle>

namespace kelotari {

namespace {

QIcon standard(QStyle::StandardPixmap which) {
    return QApplication::style()->standardIcon(which);
}

QString tr(const char* text) {
    return QCoreApplication::translate("QAbstractFileIconProvider", text);
}

// The files this program writes and reads, and a few a data folder also tends to hold.
const QHash<QString, const char*>& knownTypes() {
    static const QHash<QString, const char*> types{
        {QStringLiteral("dat"), "Data file"},
        {QStringLiteral("cal"), "Calibration certificate"},
        {QStringLiteral("pdf"), "PDF document"},
        {QStringLiteral("csv"), "CSV document"},
        {QStringLiteral("xlsx"), "Excel workbook"},
        {QStringLiteral("xls"), "Excel workbook"},
        {QStringLiteral("ini"), "Settings file"},
        {QStringLiteral("lng"), "Language file"},
        {QStringLiteral("txt"), "Text document"},
        {QStringLiteral("log"), "Log file"},
        {QStringLiteral("zip"), "ZIP archive"},
        {QStringLiteral("png"), "PNG image"},
        {QStringLiteral("jpg"), "JPEG image"},
        {QStringLiteral("jpeg"), "JPEG image"},
    };
    return types;
}

} // namespace

FastIconProvider::FastIconProvider()
    : m_file(standard(QStyle::SP_FileIcon)), m_fileLink(standard(QStyle::SP_FileLinkIcon)),
      m_folder(standard(QStyle::SP_DirIcon)), m_folderLink(standard(QStyle::SP_DirLinkIcon)),
      m_drive(standard(QStyle::SP_DriveHDIcon)), m_computer(standard(QStyle::SP_ComputerIcon)),
      m_desktop(standard(QStyle::SP_DesktopIcon)), m_trash(standard(QStyle::SP_TrashIcon)),
      m_network(standard(QStyle::SP_DriveNetIcon)) {
    // Folders look alike: no reading of a folder's own icon settings.
    setOptions(DontUseCustomDirectoryIcons);
}

QIcon FastIconProvider::icon(IconType type) const {
    switch (type) {
    case Computer:
        return m_computer;
    case Desktop:
        return m_desktop;
    case Trashcan:
        return m_trash;
    case Network:
        return m_network;
    case Drive:
        return m_drive;
    case Folder:
        return m_folder;
    case File:
        break;
    }
    return m_file;
}

// Only what the listing has already read about the entry (QFileInfo keeps it), and its name:
// no open, no read, no further stat.
QIcon FastIconProvider::icon(const QFileInfo& info) const {
    if (info.isRoot())
        return m_drive;
    if (info.isDir())
        return info.isSymLink() ? m_folderLink : m_folder;
    return info.isSymLink() ? m_fileLink : m_file;
}

QString FastIconProvider::type(const QFileInfo& info) const {
    if (info.isRoot())
        return tr("Drive");
    if (info.isFile())
        return typeForFileName(info.fileName());
    if (info.isDir())
        return tr("Folder");
    if (info.isSymLink())
        return tr("Shortcut"); // a link to nothing
    // A FIFO, socket or device: listed, never opened.
    return tr("Special file");
}

QString FastIconProvider::typeForFileName(const QString& fileName) {
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || dot == fileName.size() - 1)
        return tr("File");
    const QString suffix = fileName.mid(dot + 1).toLower();
    const auto it = knownTypes().constFind(suffix);
    if (it != knownTypes().constEnd())
        return tr(it.value());
    return tr("%1 File").arg(fileName.mid(dot + 1).toUpper());
}

} // namespace kelotari
