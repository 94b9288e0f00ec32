#include "FolderScan.h"

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

// Case-insensitive order; names that differ only in case keep a fixed order among them.
void sortNames(QStringList& names) {
    std::vector<std::pair<QString, QString>> keyed;
    keyed.reserve(static_cast<size_t>(names.size()));
    for (QString& n : names)
        keyed.emplace_back(n.toCaseFolded(), std::move(n));
    std::sort(keyed.begin(), keyed.end());
    names.clear();
    for (auto& k : keyed)
        names << std::move(k.second);
}

} // namespace

QStringList scanFolder(const QString& folder, FolderEntries kind) {
    QStringList names;
#ifdef Q_OS_UNIX
    DIR* dir = ::opendir(encodeFileName(folder).constData());
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
            names << decodeFileName(QByteArray::fromRawData(name, static_cast<int>(len)));
    }
    ::closedir(dir);
#else
    QDir d(folder);
    if (kind == FolderEntries::DataFiles) {
        d.setNameFilters({QStringLiteral("*.dat")});
        for (const QFileInfo& fi : d.entryInfoList(QDir::Files | QDir::Hidden))
            if (fi.isFile())
                names << fi.fileName();
    } else {
        names = d.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    }
#endif
    sortNames(names);
    return names;
}

} // namespace kelotari
