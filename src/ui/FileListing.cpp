#include "FileListing.h"

#include "files/FileNames.h"
#include "files/FolderScan.h"

namespace kelotari {

// Regular files only (links to them included): FIFOs, sockets and device nodes are no data
// files, and opening one could wait for ever. Each name is shown with the bytes that are not
// UTF-8 marked, so two names never look like one or act as one.
// The names and their display forms for l's bytes.
void nameListing(FileListing& l) {
    l.names.clear();
    l.names.reserve(qsizetype(l.raw.size()));
    for (const std::string& n : l.raw)
        l.names << decodeFileName(QByteArray::fromRawData(n.data(), qsizetype(n.size())));
    sortNames(l.names);
    l.shown.clear();
    l.shown.reserve(l.names.size());
    for (const QString& n : std::as_const(l.names))
        l.shown << displayFileName(n);
}

// A first reading names every file; a reading that follows changes takes the bytes alone, and
// only the files that came are named.
std::shared_ptr<FileListing> readListing(const QString& folder, bool named) {
    auto l = std::make_shared<FileListing>();
    l->folder = folder;
    l->raw = scanFolderBytes(folder, FolderEntries::DataFiles);
    if (named)
        nameListing(*l);
    return l;
}

} // namespace kelotari
