#pragma once
// The file panel: drive selector (mounted volumes), folder list and the list of data files
// (*.dat, any case, hidden files included), chained so each choice re-lists the next. The file
// list follows its folder: files that another program adds, removes or renames show up by
// themselves (where the file system reports changes), and each refresh changes only the rows
// whose files came or went.
#include <QByteArray>
#include <QFileSystemWatcher>
#include <QIcon>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class QComboBox;
class QListWidget;
class QListWidgetItem;

namespace kelotari {

struct FileListing;
struct FileListingRelay;

class FilePanel : public QWidget {
    Q_OBJECT
public:
    explicit FilePanel(QWidget* parent = nullptr);
    ~FilePanel() override;

    // Shows a folder; throws Failure when it does not exist or cannot be read, leaving the
    // panel on the folder it showed before.
    void setFolder(const QString& folder);
    QString folder() const { return m_folder; }

    // Full name (folder included) of the selected file, or empty when none is selected. The
    // name keeps the file system's bytes (see files/FileNames.h): open, delete and overwrite
    // it through encodeFileName, show it through displayFileName.
    QString selectedFile() const;
    bool selectFile(const QString& fileName);
    // Re-reads the names in the folder shown and updates the list by the difference; the
    // selected file stays selected while it exists.
    void refreshFiles();
    // How long the list waits after a change in the folder before it looks (changes coming in
    // that time are taken together): this long for a small folder, up to twice as long for one
    // of thousands of files, where each look costs more.
    static constexpr int kSettleMs = 400;

    QComboBox* driveBox() const { return m_drives; }
    QListWidget* folderList() const { return m_dirs; }
    QListWidget* fileList() const { return m_files; }

signals:
    void fileActivated(const QString& fileName);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void listAll();
    void listDrives();
    void listFolders();
    void listSubfolders();
    void onFolderActivated(QListWidgetItem* item);
    QString nameOf(const QListWidgetItem* item) const;
    int rowNamed(const QString& name) const;
    void watchFolder();
    void followFolder();
    void startListing(bool followUp);
    void startHeldListing();
    void takeListing(const FileListing& listing, int generation);
    bool applyListing(const FileListing& listing);
    void rebuildFiles(const FileListing& listing);
    bool leaveVanishedFolder();

    QComboBox* m_drives;
    QListWidget* m_dirs;
    QListWidget* m_files;
    QString m_folder;
    bool m_listed = false;
    // Row i of the file list shows m_names[i] (the name as the file system has it); m_present
    // holds the same names as bytes, each with the stamp of the last reading that had it, to
    // tell what changed.
    QStringList m_names;
    std::unordered_map<std::string, unsigned> m_present;
    unsigned m_stamp = 0;
    QFileSystemWatcher m_watch;
    unsigned long long m_watchedDevice = 0;
    unsigned long long m_watchedInode = 0;
    QTimer m_settle; // started by the first change of a burst; the list looks when it fires
    // A folder is read off the GUI thread; a result that a newer reading (or another folder)
    // has overtaken is dropped.
    std::shared_ptr<FileListingRelay> m_relay;
    int m_generation = 0;
    // Until the file list is first painted, the first reading of a folder (its files and its
    // subfolders) waits for that paint (or a short while, for a panel not on screen): reading
    // and filling a folder of thousands of files never delays the window's first appearance.
    bool m_painted = false;
    bool m_listingHeld = false;
    // Made once and shared by every item of the folder list.
    QIcon m_folderIcon;
    QIcon m_openFolderIcon;
};

} // namespace kelotari
