#include "PortWatcher.h"

#include "PortList.h"
#include "PortRegistry.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

namespace kelotari {

namespace {

QString nearestExisting(QString path) {
    path = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!QFileInfo(path).isDir()) {
        const QString up = QFileInfo(path).path();
        if (up == path)
            return {};
        path = up;
    }
    return path;
}

} // namespace

PortWatcher::PortWatcher(QObject* parent)
    : QObject(parent), m_watcher(new QFileSystemWatcher(this)), m_settle(new QTimer(this)) {
    m_settle->setSingleShot(true);
    m_settle->setInterval(250);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { changed(); });
    connect(m_settle, &QTimer::timeout, this, [this] {
        if (!m_active)
            return;
        arm(); // a folder waited for may exist now, a watched one may have gone
        emit portsChanged();
    });
}

QStringList PortWatcher::systemFolders() {
    return {serialByIdFolder(), QStringLiteral("/dev"), registeredPortsFolder()};
}

void PortWatcher::setFolders(const QStringList& folders) {
    m_folders = folders;
    if (m_active)
        arm();
}

void PortWatcher::setSettleMs(int ms) {
    m_settle->setInterval(ms);
}

void PortWatcher::start() {
    m_active = true;
    arm();
}

void PortWatcher::stop() {
    m_active = false;
    m_settle->stop();
    const QStringList watched = m_watcher->directories();
    if (!watched.isEmpty())
        m_watcher->removePaths(watched);
}

QStringList PortWatcher::watchedPaths() const {
    return m_watcher->directories();
}

void PortWatcher::arm() {
    QStringList wanted;
    for (const QString& folder : m_folders) {
        const QString path = nearestExisting(folder);
        if (!path.isEmpty() && !wanted.contains(path))
            wanted << path;
    }
    const QStringList watched = m_watcher->directories();
    QStringList gone;
    for (const QString& path : watched) {
        if (!wanted.contains(path))
            gone << path;
    }
    if (!gone.isEmpty())
        m_watcher->removePaths(gone);
    QStringList added;
    for (const QString& path : wanted) {
        if (!watched.contains(path))
            added << path;
    }
    if (!added.isEmpty())
        m_watcher->addPaths(added);
}

void PortWatcher::changed() {
    // The first change of a burst starts the wait; the rest of the burst joins it, so a
    // stream of changes is still reported every settle interval rather than never.
    if (m_active && !m_settle->isActive())
        m_settle->start();
}

} // namespace kelotari
