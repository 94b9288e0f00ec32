#pragma once
// Test helpers that make file writes fail for real, without root:
// FileSizeLimit lowers RLIMIT_FSIZE for its scope, with SIGXFSZ ignored so that a write past
// the limit fails with EFBIG instead of ending the process (a full disk, as a program sees it);
// ReadOnlyFolder makes a folder this process cannot write to (mode 0555, or for root, whom
// modes do not stop, a tmpfs mounted read-only), or says why it could not.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QString>

#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

namespace kelotari {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        m_ok = getrlimit(RLIMIT_FSIZE, &m_old) == 0;
        rlimit r = m_old;
        r.rlim_cur = bytes;
        m_ok = m_ok && setrlimit(RLIMIT_FSIZE, &r) == 0;
    }
    ~FileSizeLimit() {
        if (m_ok)
            setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool active() const { return m_ok; }

private:
    rlimit m_old{};
    void (*m_handler)(int) = SIG_DFL;
    bool m_ok = false;
};

class ReadOnlyFolder {
public:
    // Creates path (if needed) holding files (relative name -> bytes), then makes it read-only.
    ReadOnlyFolder(const QString& path, const QMap<QString, QByteArray>& files) : m_path(path) {
        QDir().mkpath(path);
        if (geteuid() == 0) {
            const QByteArray p = QFile::encodeName(path);
            if (::mount("tmpfs", p.constData(), "tmpfs", 0, "size=1m") != 0) {
                m_skip = QStringLiteral("running as root and a tmpfs cannot be mounted here");
                return;
            }
            m_mounted = true;
            put(files);
            if (::mount(nullptr, p.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
                m_skip = QStringLiteral("running as root and the tmpfs cannot be made read-only");
                return;
            }
        } else {
            put(files);
            QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
            m_chmodded = true;
        }
        QFile probe(QDir(path).filePath(QStringLiteral(".probe")));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            m_skip = QStringLiteral("the folder stays writable for this process");
        }
    }
    ~ReadOnlyFolder() {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH);
        if (m_chmodded)
            QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
    // Empty when the folder is read-only; else why not (for QSKIP).
    QString skipReason() const { return m_skip; }

private:
    void put(const QMap<QString, QByteArray>& files) {
        for (auto it = files.begin(); it != files.end(); ++it) {
            const QString name = QDir(m_path).filePath(it.key());
            QDir().mkpath(QFileInfo(name).absolutePath());
            QFile f(name);
            if (f.open(QIODevice::WriteOnly))
                f.write(it.value());
        }
    }
    QString m_path;
    QString m_skip;
    bool m_mounted = false;
    bool m_chmodded = false;
};

} // namespace kelotari
