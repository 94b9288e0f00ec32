#include "files/FolderScan.h"

#include "files/FileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <vector>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#endif

namespace kelotari {

namespace {

bool isDataFileName(const char* name, size_t len) {
    return len >= 4 && strncasecmp(name + len - 4, ".dat", 4) == 0;
}

} // namespace

// Case-insensitive order; names that differ only in case keep a fixed order among them.
void sortNames(QStringList& names) {
    std::vector<std::pair<QString, QString>> keyed;
    keyed.reserve(static_cast<size_t>(names.size()));
    for (QString& n : names)
        keyed.emplace_back(n.toCaseFolded(), std::move(n));
    std::sort(keyed.begin(), keyed.end());
    names.clear();
    names.reserve(qsizetype(keyed.size()));
    for (auto& k : keyed)
        names << std::move(k.second);
}

bool listedBefore(const QString& a, const QString& b) {
    const QString fa = a.toCaseFolded();
    const QString fb = b.toCaseFolded();
    return fa < fb || (fa == fb && a < b);
}

std::vector<std::string> scanFolderBytes(const QString& folder, FolderEntries kind,
                                         bool* readable) {
    std::vector<std::string> names;
#ifdef Q_OS_UNIX
    DIR* dir = ::opendir(encodeFileName(folder).constData());
    if (readable)
        *readable = dir != nullptr;
    if (!dir)
        return names;
    while (const dirent* e = ::readdir(dir)) {
        const char* name = e->d_name;
        const size_t len = std::strlen(name);
        if (kind == FolderEntries::DataFiles && !isDataFileName(name, len))
            continue;
        if (kind == FolderEntries::Folders &&
            (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0))
            continue;
        unsigned char type = e->d_type;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            struct stat st {};
            if (::fstatat(::dirfd(dir), name, &st, 0) != 0)
                continue; // a broken link
            type = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : DT_UNKNOWN;
        }
        if (type == (kind == FolderEntries::DataFiles ? DT_REG : DT_DIR))
            names.emplace_back(name, len);
    }
    ::closedir(dir);
#else
    QDir d(folder);
    if (readable)
        *readable = d.isReadable();
    QStringList found;
    if (kind == FolderEntries::DataFiles) {
        d.setNameFilters({QStringLiteral("*.dat")});
        for (const QFileInfo& fi : d.entryInfoList(QDir::Files | QDir::Hidden))
            if (fi.isFile())
                found << fi.fileName();
    } else {
        found = d.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    }
    for (const QString& n : found)
        names.push_back(encodeFileName(n).toStdString());
#endif
    return names;
}

QStringList scanFolder(const QString& folder, FolderEntries kind) {
    QStringList names;
    const std::vector<std::string> raw = scanFolderBytes(folder, kind);
    names.reserve(qsizetype(raw.size()));
    for (const std::string& n : raw)
        names << decodeFileName(QByteArray::fromRawData(n.data(), qsizetype(n.size())));
    sortNames(names);
    return names;
}

} // namespace kelotari
