#pragma once
// Ways to make a file write fail in a test, without special rights.
//
// WritesAsUnprivileged: for its scope, file access of this thread is checked as an ordinary
// user (fsuid 65534), so a folder without write permission refuses the write even when the
// tests run as root. It does nothing when the tests already run unprivileged.
//
// FileSizeLimit: lowers RLIMIT_FSIZE with SIGXFSZ ignored, so a write past the limit fails with
// EFBIG (a full disk, as the program sees it) instead of killing the process.
#include <QFile>
#include <QString>

#include <csignal>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <unistd.h>

namespace kelotari {

class WritesAsUnprivileged {
public:
    WritesAsUnprivileged() {
        if (geteuid() != 0)
            return;
        setfsgid(65534);
        setfsuid(65534);
        m_active = true;
    }
    ~WritesAsUnprivileged() {
        if (m_active) {
            setfsuid(0);
            setfsgid(0);
        }
    }
    WritesAsUnprivileged(const WritesAsUnprivileged&) = delete;
    WritesAsUnprivileged& operator=(const WritesAsUnprivileged&) = delete;

    // True when writes are now checked as an ordinary user (false: setfsuid was refused).
    bool effective() const {
        if (!m_active)
            return geteuid() != 0;
        return setfsuid(static_cast<uid_t>(-1)) == 65534;
    }

    // Permissions that let the ordinary user look into a folder but not write to it.
    static bool makeReadOnlyFolder(const QString& path, const QString& parent) {
        return QFile::setPermissions(parent, QFile::ReadOwner | QFile::WriteOwner |
                                                 QFile::ExeOwner | QFile::ReadOther |
                                                 QFile::ExeOther) &&
               QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther |
                                               QFile::ExeOther);
    }

private:
    bool m_active = false;
};

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit lowered = m_old;
        lowered.rlim_cur = bytes;
        m_ok = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool ok() const { return m_ok; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = SIG_DFL;
    bool m_ok = false;
};

} // namespace kelotari
