#pragma once
// A folder's data files as the file panel reads them, off the GUI thread: made without touching
// any widget.
#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kelotari {

class FilePanel;

// A folder's data files as read: the bytes in byte order (to tell what changed), and the names
// in the order shown with their display forms. Made without touching any widget.
struct FileListing {
    QString folder;
    std::vector<std::string> raw;
    QStringList names; // empty when the reading took the bytes alone
    QStringList shown;
};

// What a reading thread reports back to; the panel unhooks itself when it goes.
struct FileListingRelay {
    std::mutex mutex;
    FilePanel* panel = nullptr;
};

// The names and their display forms for the listing's bytes.
void nameListing(FileListing& l);

// A first reading names every file; a reading that follows changes takes the bytes alone, and
// only the files that came are named.
std::shared_ptr<FileListing> readListing(const QString& folder, bool named);

} // namespace kelotari
