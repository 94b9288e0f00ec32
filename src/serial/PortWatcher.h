#pragma once
// Tells when the serial port list may have changed: watches the folders the list is read
// from (the by-id links, the device nodes, the registered ports) through the system's file
// change notification, and reports a burst of changes once, a short while after it began.
// Nothing runs while nothing changes.
#include <QObject>
#include <QStringList>

class QFileSystemWatcher;
class QTimer;

namespace kelotari {

class PortWatcher : public QObject {
    Q_OBJECT
public:
    explicit PortWatcher(QObject* parent = nullptr);

    // The folders of the running system: /dev/serial/by-id, /dev and the registered ports.
    static QStringList systemFolders();

    // Which folders to watch. A folder that does not exist yet is waited for through its
    // nearest existing parent, so a by-id folder made by the first adapter is seen.
    void setFolders(const QStringList& folders);
    QStringList folders() const { return m_folders; }
    // How long a burst may last before it is reported (250 ms unless set).
    void setSettleMs(int ms);

    void start();
    void stop();
    bool active() const { return m_active; }
    // The paths watched now (the folders or their nearest existing parents).
    QStringList watchedPaths() const;

signals:
    void portsChanged();

private:
    void arm();
    void changed();

    QStringList m_folders;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_settle = nullptr;
    bool m_active = false;
};

} // namespace kelotari
