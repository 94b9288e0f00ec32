#pragma once
// Reading a folder for the file panel, fast enough for folders of thousands of data files or
// hundreds of subfolders: one pass over the directory, a status call only for links (and on
// file systems that do not report the type), names sorted without regard to case.
#include <QByteArray>
#include <QStringList>

#include <string>
#include <vector>

namespace kelotari {

enum class FolderEntries {
    DataFiles, // regular files (or links to one) named *.dat in any case, hidden ones included
    Folders,   // subfolders (or links to one), hidden ones included, without "." and ".."
};

// The names in `folder` of the given kind, as decodeFileName gives them (bytes that are not
// UTF-8 kept); empty when it cannot be read. `folder` may hold such bytes too.
QStringList scanFolder(const QString& folder, FolderEntries kind);

// The same names as the file system's bytes, in the order the folder gives them: the cheap
// form for telling what changed between two readings. `readable` (when given) tells whether the
// folder could be read.
std::vector<std::string> scanFolderBytes(const QString& folder, FolderEntries kind,
                                         bool* readable = nullptr);

// The order the lists show names in: without regard to case; names that differ only in case in
// a fixed order among them.
bool listedBefore(const QString& a, const QString& b);
void sortNames(QStringList& names);

} // namespace kelotari
