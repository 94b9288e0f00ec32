#include "PortRegistry.h"

#include "base/Failure.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace kelotari {

namespace {

QString systemText(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

QByteArray bytes(const QString& path) {
    return QFile::encodeName(path);
}

// The private folder used when the session has no runtime folder.
QString privateRuntimeFolder() {
    QString user;
    if (const passwd* pw = ::getpwuid(::geteuid()))
        user = QString::fromLocal8Bit(pw->pw_name);
    else
        user = QString::number(::geteuid());
    return QDir::tempPath() + QStringLiteral("/runtime-") + user;
}

QString runtimeFolder() {
    const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return xdg.isEmpty() ? privateRuntimeFolder() : xdg;
}

// A folder only its user may change: a real folder (no link), owned by this user, with no
// write permission for the group or others. Empty when it is sound, else why not.
QString folderProblem(const QString& path) {
    struct stat st {};
    if (::lstat(bytes(path).constData(), &st) != 0)
        return QStringLiteral("%1: %2").arg(path, systemText(errno));
    if (!S_ISDIR(st.st_mode))
        return QStringLiteral("%1 is not a folder").arg(path);
    if (st.st_uid != ::geteuid())
        return QStringLiteral("%1 belongs to another user (uid %2)").arg(path).arg(st.st_uid);
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return QStringLiteral("%1 may be written by other users (mode %2)")
            .arg(path)
            .arg(st.st_mode & 07777, 4, 8, QLatin1Char('0'));
    return {};
}

// Makes the folder when missing (mode 0700, whatever the umask) and checks it.
QString makeOrCheck(const QString& path, bool create) {
    if (create && ::mkdir(bytes(path).constData(), 0700) == 0)
        ::chmod(bytes(path).constData(), 0700);
    return folderProblem(path);
}

bool isPseudoTerminal(const struct stat& st) {
    // The kernel's pseudo-terminal slaves: majors 136 to 143.
    return S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

QString ownerPath(const QString& folder, const QString& name) {
    return folder + QStringLiteral("/.") + name + QStringLiteral(".owner");
}

QString linkTarget(const QString& link) {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(bytes(link).constData(), buf, sizeof buf);
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof buf))
        return {};
    return QFile::decodeName(QByteArray(buf, n));
}

struct OwnerRecord {
    QString device;
    quint64 rdev = 0;
};

// "pid\ndevice\nrdev\n": the process id is for people looking at the folder; the lock is
// what tells whether the owner lives.
QByteArray recordText(const QString& device, dev_t rdev) {
    return QByteArray::number(qint64(::getpid())) + '\n' + bytes(device) + '\n' +
           QByteArray::number(quint64(rdev)) + '\n';
}

bool parseRecord(const QByteArray& text, OwnerRecord* out) {
    const QList<QByteArray> lines = text.split('\n');
    if (lines.size() < 3)
        return false;
    bool ok = false;
    out->device = QFile::decodeName(lines[1]);
    out->rdev = lines[2].toULongLong(&ok);
    return ok && out->device.startsWith(QLatin1Char('/'));
}

enum class Owner { Alive, Gone, Unknown };

// Opens the owner record without following a link or waiting on a FIFO and tells whether
// its owner still holds it. Gone leaves the record locked in *lockedFd, so that its removal
// cannot race a new owner.
Owner ownerState(const QString& path, OwnerRecord* record, int* lockedFd) {
    *lockedFd = -1;
    const int fd = ::open(bytes(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Owner::Unknown;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        st.st_size > 4096) {
        ::close(fd);
        return Owner::Unknown;
    }
    char buf[4097];
    const ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
    if (n <= 0 || !parseRecord(QByteArray(buf, n), record)) {
        ::close(fd);
        return Owner::Unknown;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK ? Owner::Alive : Owner::Unknown;
    }
    // Still the record under that name (a new owner renames its own into place)?
    struct stat now {};
    if (::lstat(bytes(path).constData(), &now) != 0 || now.st_ino != st.st_ino ||
        now.st_dev != st.st_dev) {
        ::close(fd);
        return Owner::Unknown;
    }
    *lockedFd = fd;
    return Owner::Gone;
}

// Removes the link and the owner record of a registration whose owner has gone.
void removeStale(const QString& link, const QString& owner, const OwnerRecord& record) {
    const QString target = linkTarget(link);
    if (target.isEmpty() || target == record.device)
        ::unlink(bytes(link).constData());
    ::unlink(bytes(owner).constData());
}

// The registration names in the folder (symbolic links, not hidden).
QStringList linkNames(const QString& folder) {
    QStringList out;
    DIR* d = ::opendir(bytes(folder).constData());
    if (!d)
        return out;
    while (const dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        if (e->d_type != DT_LNK && e->d_type != DT_UNKNOWN)
            continue;
        out << QFile::decodeName(e->d_name);
    }
    ::closedir(d);
    return out;
}

// Clears out the registrations whose owners have gone, and owner records left without a link.
void sweep(const QString& folder) {
    DIR* d = ::opendir(bytes(folder).constData());
    if (!d)
        return;
    QStringList owners;
    while (const dirent* e = ::readdir(d)) {
        const QByteArray n(e->d_name);
        if (n.startsWith('.') && n.endsWith(".owner") && n.size() > 7)
            owners << QFile::decodeName(n.mid(1, n.size() - 7));
    }
    ::closedir(d);
    for (const QString& name : owners) {
        const QString owner = ownerPath(folder, name);
        OwnerRecord record;
        int fd = -1;
        if (ownerState(owner, &record, &fd) == Owner::Gone) {
            removeStale(folder + QLatin1Char('/') + name, owner, record);
            ::close(fd);
        }
    }
}

} // namespace

QString registeredPortsFolder() {
    return runtimeFolder() + QStringLiteral("/kelotari/ports");
}

QString checkedPortsFolder(bool create, QString* problem) {
    auto refuse = [&](const QString& why) {
        if (problem)
            *problem = why;
        return QString();
    };
    const bool haveXdg = !qEnvironmentVariable("XDG_RUNTIME_DIR").isEmpty();
    const QString base = runtimeFolder();
    // The session's runtime folder is the system's to make; the private one is ours.
    QString why = makeOrCheck(base, create && !haveXdg);
    if (why.isEmpty())
        why = makeOrCheck(base + QStringLiteral("/kelotari"), create);
    if (why.isEmpty())
        why = makeOrCheck(registeredPortsFolder(), create);
    if (!why.isEmpty())
        return refuse(why);
    return registeredPortsFolder();
}

std::unique_ptr<PortRegistration> PortRegistration::make(const QString& name,
                                                         const QString& devicePath) {
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')) || name.contains(QLatin1Char('/')))
        throw Failure(QStringLiteral("Cannot register \"%1\": not a plain name").arg(name));
    QString problem;
    const QString folder = checkedPortsFolder(true, &problem);
    if (folder.isEmpty())
        throw Failure(QStringLiteral("Cannot register %1: %2").arg(name, problem));
    sweep(folder);
    std::unique_ptr<PortRegistration> r(new PortRegistration);
    r->m_folder = folder;
    r->m_name = name;
    r->m_link = folder + QLatin1Char('/') + name;
    r->publish(devicePath);
    return r;
}

void PortRegistration::publish(const QString& devicePath) {
    struct stat dev {};
    if (::stat(bytes(devicePath).constData(), &dev) != 0 || !isPseudoTerminal(dev))
        throw Failure(QStringLiteral("Cannot register %1: %2 is not a pseudo-terminal")
                          .arg(m_link, devicePath));
    auto fail = [this](const QString& what, int err) {
        throw Failure(
            QStringLiteral("Cannot register %1: %2: %3").arg(m_link, what, systemText(err)));
    };
    // The owner record first, locked before it gets its name, so that nobody sees it unheld.
    const QString owner = ownerPath(m_folder, m_name);
    const QString tmpOwner = owner + QStringLiteral(".%1").arg(::getpid());
    ::unlink(bytes(tmpOwner).constData());
    const int fd = ::open(bytes(tmpOwner).constData(),
                          O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        fail(tmpOwner, errno);
    const QByteArray text = recordText(devicePath, dev.st_rdev);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        ::write(fd, text.constData(), size_t(text.size())) != text.size() ||
        ::rename(bytes(tmpOwner).constData(), bytes(owner).constData()) != 0) {
        const int err = errno;
        ::close(fd);
        ::unlink(bytes(tmpOwner).constData());
        fail(owner, err);
    }
    if (m_ownerFd >= 0)
        ::close(m_ownerFd);
    m_ownerFd = fd;
    m_device = devicePath;
    // The link is replaced in one step, so a program opening the name never finds it missing.
    const QByteArray link = bytes(m_link);
    const QByteArray tmp = link + ".new";
    ::unlink(tmp.constData());
    if (::symlink(bytes(devicePath).constData(), tmp.constData()) < 0 ||
        ::rename(tmp.constData(), link.constData()) < 0) {
        const int err = errno;
        ::unlink(tmp.constData());
        fail(m_link, err);
    }
}

void PortRegistration::moveTo(const QString& devicePath) {
    publish(devicePath);
}

void PortRegistration::end() {
    if (m_ownerFd < 0)
        return;
    // Only what is still ours: a later simulator may have taken the name over.
    const QString owner = ownerPath(m_folder, m_name);
    struct stat mine {};
    struct stat there {};
    const bool stillOurs = ::fstat(m_ownerFd, &mine) == 0 &&
                           ::lstat(bytes(owner).constData(), &there) == 0 &&
                           mine.st_ino == there.st_ino && mine.st_dev == there.st_dev;
    if (stillOurs) {
        if (linkTarget(m_link) == m_device)
            ::unlink(bytes(m_link).constData());
        ::unlink(bytes(owner).constData());
    }
    ::close(m_ownerFd);
    m_ownerFd = -1;
}

PortRegistration::~PortRegistration() {
    end();
}

QStringList registeredPorts(QString* problem) {
    QStringList out;
    const QString folder = checkedPortsFolder(false, problem);
    if (folder.isEmpty())
        return out;
    for (const QString& name : linkNames(folder)) {
        const QString link = folder + QLatin1Char('/') + name;
        const QString owner = ownerPath(folder, name);
        OwnerRecord record;
        int fd = -1;
        switch (ownerState(owner, &record, &fd)) {
        case Owner::Gone:
            removeStale(link, owner, record);
            ::close(fd);
            continue;
        case Owner::Unknown: // no record of ours: not a registration, and not ours to remove
            continue;
        case Owner::Alive:
            break;
        }
        // The link still leads to the terminal its owner registered.
        struct stat st {};
        if (linkTarget(link) != record.device || ::stat(bytes(link).constData(), &st) != 0 ||
            !isPseudoTerminal(st) || quint64(st.st_rdev) != record.rdev)
            continue;
        out << link;
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace kelotari
