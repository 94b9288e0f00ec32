#include "files/SafeWrite.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace kelotari {

namespace {

// The folder part of a path in bytes ("." for a bare name).
QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    if (slash == 0)
        return "/";
    return path.left(slash);
}

QString kindOf(mode_t mode) {
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("not a regular file");
}

QString systemText(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

} // namespace

QString writeTarget(const QString& fileName, QString* why) {
    auto refuse = [&](const QString& reason) {
        if (why)
            *why = reason;
        return QString();
    };
    if (fileName.isEmpty())
        return refuse(QStringLiteral("No file name"));

    // The links are followed one by one, so that what lies at their end is looked at itself
    // and never written through: renaming over a link to a device would replace the device.
    QByteArray path = QFile::encodeName(fileName);
    for (int hops = 0;; ++hops) {
        if (hops > 40) // the system's own limit on links in a row
            return refuse(QStringLiteral("%1: %2").arg(fileName, systemText(ELOOP)));
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0) {
            const int err = errno;
            if (err != ENOENT)
                return refuse(QStringLiteral("%1: %2").arg(fileName, systemText(err)));
            // Nothing there yet: it can be made when its folder exists.
            struct stat dir {};
            const QByteArray folder = folderOf(path);
            if (::stat(folder.constData(), &dir) != 0)
                return refuse(QStringLiteral("%1: %2").arg(fileName, systemText(errno)));
            if (!S_ISDIR(dir.st_mode))
                return refuse(QStringLiteral("%1: %2").arg(fileName, systemText(ENOTDIR)));
            return QFile::decodeName(path);
        }
        if (S_ISREG(st.st_mode))
            return QFile::decodeName(path);
        if (!S_ISLNK(st.st_mode))
            return refuse(QStringLiteral("%1 is %2").arg(fileName, kindOf(st.st_mode)));
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(path.constData(), buf, sizeof buf);
        if (n < 0 || n >= static_cast<ssize_t>(sizeof buf))
            return refuse(
                QStringLiteral("%1: %2").arg(fileName, systemText(n < 0 ? errno : ENAMETOOLONG)));
        QByteArray next(buf, n);
        if (next.isEmpty())
            return refuse(QStringLiteral("%1: %2").arg(fileName, systemText(ENOENT)));
        if (!next.startsWith('/'))
            next = folderOf(path) + '/' + next;
        path = next;
    }
}

WriteOutcome writeFileSafely(const QString& fileName, const QByteArray& content) {
    auto failure = [](const QString& why) {
        WriteOutcome r;
        r.error = why;
        return r;
    };
    QString why;
    const QString target = writeTarget(fileName, &why);
    if (target.isEmpty())
        return failure(why);

    QSaveFile out(target);
    // No direct-write fallback: writing in place is what loses the old file.
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly))
        return failure(out.errorString());
    auto failed = [&out, &failure] {
        const QString why = out.errorString();
        out.cancelWriting(); // the temporary file goes, the target stays as it was
        return failure(why);
    };
    if (out.write(content) != content.size() || out.error() != QFileDevice::NoError)
        return failed();
    // QSaveFile::commit() can report success after writing out its buffer failed (a full
    // disk): flush first and look at the device's error before the rename.
    if (!out.flush() || out.error() != QFileDevice::NoError)
        return failed();
    // The name may have been changed into something else meanwhile: look once more just
    // before the rename, which replaces whatever is then at the target.
    if (writeTarget(fileName, &why) != target) {
        out.cancelWriting();
        return failure(
            why.isEmpty() ? QStringLiteral("%1 changed while it was written").arg(fileName) : why);
    }
    if (!out.commit())
        return failure(out.errorString());
    return {true, {}};
}

} // namespace kelotari
