#pragma once
// Icons and type names for the file dialogs, from what a directory listing already knows: the
// entry's kind (file, folder, link) and its name. Qt's own provider opens every file of a folder
// to guess its content type, on the GUI thread, each time a dialog lists the folder: seconds
// for a folder of years of data files, and a hang on a file that blocks when opened. This one
// never touches the file system, so a dialog lists a folder as fast as the folder can be read.
#include <QAbstractFileIconProvider>
#include <QIcon>

namespace kelotari {

class FastIconProvider : public QAbstractFileIconProvider {
public:
    FastIconProvider();

    QIcon icon(IconType type) const override;
    QIcon icon(const QFileInfo& info) const override;
    QString type(const QFileInfo& info) const override;

    // The type name for a file of this name (extension only, case ignored).
    static QString typeForFileName(const QString& fileName);

private:
    // Made once: every entry shares one of these, so listing 10,000 files makes no pixmaps.
    QIcon m_file;
    QIcon m_fileLink;
    QIcon m_folder;
    QIcon m_folderLink;
    QIcon m_drive;
    QIcon m_computer;
    QIcon m_desktop;
    QIcon m_trash;
    QIcon m_network;
};

} // namespace kelotari
