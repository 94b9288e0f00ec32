#pragma once
// Ports that a simulated meter has registered, the counterpart of the virtual COM ports that
// show up among a system's ports: each is a symbolic link to the simulator's pseudo-terminal
// in the per-user runtime folder. The link's path is the port name to use.
#include <QString>
#include <QStringList>

namespace kelotari {

// $XDG_RUNTIME_DIR/kelotari/ports, or <temp>/runtime-<user>/kelotari/ports without it.
QString registeredPortsFolder();

// Creates or replaces the link <folder>/<name> to devicePath and returns its path.
// Throws Failure when the folder or the link cannot be made.
QString registerPort(const QString& name, const QString& devicePath);

// Removes <folder>/<name> if it still points to devicePath (a later simulator may have taken
// the name over).
void unregisterPort(const QString& name, const QString& devicePath);

// Paths of the registered links whose device still exists, sorted.
QStringList registeredPorts();

} // namespace kelotari
