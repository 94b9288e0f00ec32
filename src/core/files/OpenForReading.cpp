#include "files/OpenForReading.h"

#include "files/FileNames.h"

#include <cerrno>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kelotari {

int openRegularFileForReading(QFile& file, const QString& fileName) {
#ifdef Q_OS_UNIX
    const QByteArray path = encodeFileName(fileName); // the bytes, also when not UTF-8
    // Look before opening: opening a FIFO waits for a writer, a device may act on the open.
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return errno ? errno : ENOENT;
    if (!S_ISREG(st.st_mode))
        return S_ISDIR(st.st_mode) ? EISDIR : ENXIO;
    // Non-blocking, in case the name was given to a FIFO in between; checked again once open.
    int fd = -1;
    do {
        fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return errno ? errno : EIO;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : ENXIO;
        ::close(fd);
        return err;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return EIO;
    }
    return 0;
#else
    errno = 0;
    file.setFileName(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return errno ? errno : ENOENT;
    return 0;
#endif
}

} // namespace kelotari
