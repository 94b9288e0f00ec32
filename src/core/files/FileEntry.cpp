#include "files/FileEntry.h"

#include "base/Dialogs.h"
#include "files/FileNames.h"

#include <sys/stat.h>
#include <unistd.h>

namespace kelotari {

bool nameExists(const QString& fileName) {
    if (fileName.isEmpty())
        return false;
    struct stat st {};
    return ::lstat(encodeFileName(fileName).constData(), &st) == 0;
}

bool confirmOverwrite(Dialogs& dialogs, const QString& fileName, const QString& question) {
    return !nameExists(fileName) || dialogs.askYesNo(QStringLiteral("Confirm"), question);
}

bool removeFileEntry(const QString& fileName) {
    if (fileName.isEmpty())
        return false;
    return ::unlink(encodeFileName(fileName).constData()) == 0;
}

} // namespace kelotari
