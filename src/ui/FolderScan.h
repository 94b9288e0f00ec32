#pragma once
// Reading a folder for the file panel, fast enough for folders of thousands of data files or
// hundreds of subfolders: one pass over the directory, a status call only for links (and on
// file systems that do not report the type), names sorted without regard to case.
#include <QStringList>

namespace kelotari {

enum class FolderEntries {
    DataFiles, // regular files (or links to one) named *.dat in any case, hidden ones included
    Folders,   // subfolders (or links to one), hidden ones included, without "." and ".."
};

// The names in `folder` of the given kind, as decodeFileName gives them (bytes that are not
// UTF-8 kept); empty when it cannot be read. `folder` may hold such bytes too.
QStringList scanFolder(const QString& folder, FolderEntries kind);

} // namespace kelotari
