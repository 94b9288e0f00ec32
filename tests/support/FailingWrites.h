#pragma once
// Ways to make a file write fail in a test, without special rights.
//
// WritesAsUnprivileged: for its scope, file access of this thread is checked as an ordinary
// user (fsuid 65534), so a folder without write permission refuses the write even when the
// tests run as root. It does nothing when the tests already run unprivileged.
// FileSizeLimit (a full disk, as the program sees it) comes from WriteLimit.h.
#include "WriteLimit.h"

#include <QFile>
#include <QString>

#include <sys/fsuid.h>
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

} // namespace kelotari
