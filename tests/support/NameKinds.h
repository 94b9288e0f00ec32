#pragma once
// The kinds of name a save path may meet, made in a test folder, and the folder as a save
// leaves it, described so that the same description fits every kind of file written.
#include "files/FileNames.h"

#include <QByteArray>
#include <QDir>
#include <QStringList>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelotari {

// What a save path may be given: the rows of every overwrite table.
inline const QStringList kNameKinds = {
    QStringLiteral("missing"),        QStringLiteral("regular"),
    QStringLiteral("link to a file"), QStringLiteral("link to nothing"),
    QStringLiteral("link loop"),      QStringLiteral("not UTF-8"),
    QStringLiteral("folder"),         QStringLiteral("FIFO"),
};

// The content every existing file starts with; anything else counts as written.
inline const QByteArray kOldContent = QByteArrayLiteral("old\n");

// Makes a name of the given kind in `dir`, ending in `suffix` (".DAT", ".xlsx" ...), and
// returns it as the program would hold it (bytes that are not UTF-8 kept). Links lead to
// "target" + suffix in the same folder. Empty when the kind could not be made.
inline QString makeNameOfKind(const QString& dir, const QString& kind, const QString& suffix) {
    const QByteArray d = encodeFileName(dir) + '/';
    const QByteArray sfx = suffix.toUtf8();
    const QByteArray name =
        (kind == QLatin1String("not UTF-8") ? QByteArray("lat1-\xE4") : QByteArray("name")) + sfx;
    const QByteArray target = "target" + sfx;
    // By the bytes: QFile would write a name that is not UTF-8 under another name.
    auto writeOld = [](const QByteArray& path) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        const bool written =
            ::write(fd, kOldContent.constData(), size_t(kOldContent.size())) == kOldContent.size();
        return ::close(fd) == 0 && written;
    };
    bool ok = true;
    if (kind == QLatin1String("regular") || kind == QLatin1String("not UTF-8")) {
        ok = writeOld(d + name);
    } else if (kind == QLatin1String("link to a file")) {
        ok = writeOld(d + target) && ::symlink(target.constData(), (d + name).constData()) == 0;
    } else if (kind == QLatin1String("link to nothing")) {
        ok = ::symlink(target.constData(), (d + name).constData()) == 0;
    } else if (kind == QLatin1String("link loop")) {
        ok = ::symlink(target.constData(), (d + name).constData()) == 0 &&
             ::symlink(name.constData(), (d + target).constData()) == 0;
    } else if (kind == QLatin1String("folder")) {
        ok = ::mkdir((d + name).constData(), 0700) == 0;
    } else if (kind == QLatin1String("FIFO")) {
        ok = ::mkfifo((d + name).constData(), 0600) == 0;
    }
    return ok ? decodeFileName(d + name) : QString();
}

// Every entry of `dir`, sorted: "NAME: old" or "NAME: written" for a regular file (by its
// content), "NAME -> WHERE" for a link, "NAME: folder", "NAME: FIFO", "NAME: other". Names
// are shown with displayFileName. Hidden entries count too (a temporary file left behind).
inline QStringList describeFolder(const QString& dir) {
    QStringList out;
    const QByteArray d = encodeFileName(dir) + '/';
    DIR* handle = ::opendir(d.constData());
    if (!handle)
        return {QStringLiteral("<unreadable>")};
    while (const dirent* e = ::readdir(handle)) {
        const QByteArray n(e->d_name);
        if (n == "." || n == "..")
            continue;
        const QString shown = displayFileName(decodeFileName(n));
        struct stat st {};
        if (::lstat((d + n).constData(), &st) != 0) {
            out << shown + QStringLiteral(": gone");
        } else if (S_ISLNK(st.st_mode)) {
            char to[4096];
            const ssize_t len = ::readlink((d + n).constData(), to, sizeof to);
            out << shown + QStringLiteral(" -> ") +
                       displayFileName(decodeFileName(QByteArray(to, len > 0 ? int(len) : 0)));
        } else if (S_ISREG(st.st_mode)) {
            QByteArray content(64, '\0');
            const int fd = ::open((d + n).constData(), O_RDONLY | O_CLOEXEC);
            const ssize_t got = fd >= 0 ? ::read(fd, content.data(), size_t(content.size())) : -1;
            if (fd >= 0)
                ::close(fd);
            const bool old = got >= 0 && content.left(int(got)) == kOldContent;
            out << shown + (old ? QStringLiteral(": old") : QStringLiteral(": written"));
        } else if (S_ISDIR(st.st_mode)) {
            out << shown + QStringLiteral(": folder");
        } else if (S_ISFIFO(st.st_mode)) {
            out << shown + QStringLiteral(": FIFO");
        } else {
            out << shown + QStringLiteral(": other");
        }
    }
    ::closedir(handle);
    out.sort();
    return out;
}

// How the folder looks with a name of `kind` made in it, and after a save to that name went
// ahead (no question, or Yes): the data file's Save is the rule every save path follows. "%"
// stands for the extension.
inline QStringList folderBeforeSave(const QString& kind, const QString& suffix) {
    QStringList out;
    if (kind == QLatin1String("regular"))
        out = {"name%: old"};
    else if (kind == QLatin1String("link to a file"))
        out = {"name% -> target%", "target%: old"};
    else if (kind == QLatin1String("link to nothing"))
        out = {"name% -> target%"};
    else if (kind == QLatin1String("link loop"))
        out = {"name% -> target%", "target% -> name%"};
    else if (kind == QLatin1String("not UTF-8"))
        out = {QStringLiteral("lat1-\uFFFDE4%: old")};
    else if (kind == QLatin1String("folder"))
        out = {"name%: folder"};
    else if (kind == QLatin1String("FIFO"))
        out = {"name%: FIFO"};
    return out.replaceInStrings(QStringLiteral("%"), suffix);
}
// A link is written through (its file replaced or made), a folder, a FIFO or a link loop is
// refused with the path's failure message and left as it was.
inline bool saveFails(const QString& kind) {
    return kind == QLatin1String("link loop") || kind == QLatin1String("folder") ||
           kind == QLatin1String("FIFO");
}
inline QStringList folderAfterSave(const QString& kind, const QString& suffix) {
    if (saveFails(kind))
        return folderBeforeSave(kind, suffix);
    QStringList out;
    if (kind == QLatin1String("link to a file") || kind == QLatin1String("link to nothing"))
        out = {"name% -> target%", "target%: written"};
    else if (kind == QLatin1String("not UTF-8"))
        out = {QStringLiteral("lat1-\uFFFDE4%: written")};
    else
        out = {"name%: written"};
    return out.replaceInStrings(QStringLiteral("%"), suffix);
}

} // namespace kelotari
