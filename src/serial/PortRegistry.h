#pragma once
// Ports that a simulated meter has registered, the counterpart of the virtual COM ports that
// show up among a system's ports. A registration is a symbolic link <folder>/<name> to the
// simulator's pseudo-terminal and, beside it, an owner record .<name>.owner that names the
// terminal and that the simulator holds locked while it runs. A port is listed only while its
// owner holds the lock and the link still leads to the terminal the owner registered; a
// registration whose owner has gone (even killed outright) is removed by the next listing or
// registration. The folder must be the user's own: owned by the user and writable by nobody
// else at every level this program makes, or nothing in it is listed or registered.
#include <QString>
#include <QStringList>

#include <memory>

namespace kelotari {

// $XDG_RUNTIME_DIR/kelotari/ports, or <temp>/runtime-<user>/kelotari/ports without it
// (<temp>/runtime-<user> then made private, mode 0700). The path only; nothing is checked.
QString registeredPortsFolder();

// Checks the folder (and with create, makes what is missing, mode 0700). Returns its path, or
// an empty text with *problem saying why it may not be used.
QString checkedPortsFolder(bool create, QString* problem = nullptr);

// A registration its owner holds: made by register_, ended by the destructor or end().
class PortRegistration {
public:
    // Registers devicePath (a pseudo-terminal) as name; throws Failure saying why not.
    static std::unique_ptr<PortRegistration> make(const QString& name, const QString& devicePath);
    ~PortRegistration();
    PortRegistration(const PortRegistration&) = delete;
    PortRegistration& operator=(const PortRegistration&) = delete;

    // The link's path: the port name to use.
    const QString& path() const { return m_link; }
    // Moves the registration to another terminal (the simulator's line was hung up and made
    // anew). Throws Failure.
    void moveTo(const QString& devicePath);
    // Removes the link and the owner record, if they are still this registration's.
    void end();

private:
    PortRegistration() = default;
    void publish(const QString& devicePath);

    QString m_folder;
    QString m_name;
    QString m_link;
    QString m_device;
    int m_ownerFd = -1; // the locked owner record
};

// Paths of the sound registrations, sorted; stale ones are removed on the way. Empty, with
// *problem set, when the folder may not be trusted.
QStringList registeredPorts(QString* problem = nullptr);

} // namespace kelotari
