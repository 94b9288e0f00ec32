#pragma once
// The file panel: drive selector (mounted volumes), folder list and the list of data files
// (*.dat, any case, hidden files included), chained so each choice re-lists the next.
#include <QIcon>
#include <QWidget>

class QComboBox;
class QListWidget;
class QListWidgetItem;

namespace kelotari {

class FilePanel : public QWidget {
    Q_OBJECT
public:
    explicit FilePanel(QWidget* parent = nullptr);

    // Shows a folder; throws Failure when it does not exist or cannot be read, leaving the
    // panel on the folder it showed before.
    void setFolder(const QString& folder);
    QString folder() const { return m_folder; }

    // Full name (folder included) of the selected file, or empty when none is selected. The
    // name keeps the file system's bytes (see files/FileNames.h): open, delete and overwrite
    // it through encodeFileName, show it through displayFileName.
    QString selectedFile() const;
    bool selectFile(const QString& fileName);
    // Re-reads the names in the folder shown.
    void refreshFiles();

    QComboBox* driveBox() const { return m_drives; }
    QListWidget* folderList() const { return m_dirs; }
    QListWidget* fileList() const { return m_files; }

signals:
    void fileActivated(const QString& fileName);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void listAll();
    void listDrives();
    void listFolders();
    void onFolderActivated(QListWidgetItem* item);
    static QString nameOf(const QListWidgetItem* item);
    QListWidgetItem* itemNamed(const QString& name) const;

    QComboBox* m_drives;
    QListWidget* m_dirs;
    QListWidget* m_files;
    QString m_folder;
    bool m_listed = false;
    // Made once and shared by every item of the folder list.
    QIcon m_folderIcon;
    QIcon m_openFolderIcon;
};

} // namespace kelotari
