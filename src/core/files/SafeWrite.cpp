#include "files/SafeWrite.h"

#include "files/FileNames.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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
    QByteArray path = encodeFileName(fileName);
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
            return decodeFileName(path);
        }
        if (S_ISREG(st.st_mode))
            return decodeFileName(path);
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

namespace {

// The permission bits a new file gets: 0666 less the process's umask.
mode_t newFileMode() {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return 0666 & ~mask;
}

bool writeAll(int fd, const QByteArray& content, int* err) {
    const char* p = content.constData();
    qsizetype left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(std::min<qsizetype>(left, 1 << 20)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *err = n < 0 ? errno : EIO;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

} // namespace

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
    const QByteArray path = encodeFileName(target);

    // The temporary file sits beside the target, so the rename stays on one file system. Its
    // name is cut short so that a target of the longest name the folder takes still gets one.
    QByteArray tmp =
        folderOf(path) + "/." + path.mid(path.lastIndexOf('/') + 1).left(200) + ".XXXXXX";
    const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0)
        return failure(QStringLiteral("%1: %2").arg(target, systemText(errno)));
    auto failed = [&](int err) {
        ::close(fd);
        ::unlink(tmp.constData()); // the target stays as it was
        return failure(QStringLiteral("%1: %2").arg(target, systemText(err)));
    };
    // The file keeps its permissions; a new one gets what the umask leaves.
    struct stat old {};
    const mode_t mode = ::stat(path.constData(), &old) == 0 ? (old.st_mode & 07777) : newFileMode();
    int err = 0;
    if (!writeAll(fd, content, &err))
        return failed(err);
    if (::fchmod(fd, mode) != 0)
        return failed(errno);
    // On the disk before it takes the old file's place: a crash leaves one or the other.
    if (::fsync(fd) != 0)
        return failed(errno);
    if (::close(fd) != 0) {
        err = errno;
        ::unlink(tmp.constData());
        return failure(QStringLiteral("%1: %2").arg(target, systemText(err)));
    }
    // The name may have been changed into something else meanwhile: look once more just
    // before the rename, which replaces whatever is then at the target.
    if (writeTarget(fileName, &why) != target) {
        ::unlink(tmp.constData());
        return failure(
            why.isEmpty() ? QStringLiteral("%1 changed while it was written").arg(fileName) : why);
    }
    if (::rename(tmp.constData(), path.constData()) != 0) {
        err = errno;
        ::unlink(tmp.constData());
        return failure(QStringLiteral("%1: %2").arg(target, systemText(err)));
    }
    return {true, {}};
}

} // namespace kelotari
