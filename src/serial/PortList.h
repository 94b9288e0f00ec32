#pragma once
// The serial ports of this computer, as the port selector lists them: the devices under
// /sys/class/tty that have a driver behind them (a ttyS port only when its UART is there),
// and the ports a simulated meter has registered. A USB or ACM adapter that udev has given a
// stable link in /dev/serial/by-id is listed by that link, so the stored port still finds
// the adapter when it comes back under another ttyUSBn.
#include <QList>
#include <QString>

namespace kelotari {

struct SerialPortEntry {
    QString name;        // what is selected and stored: COM1, ttyUSB0, a by-id or registered path
    QString description; // shown beside it: device path, a USB adapter's maker and model
    // What the box shows instead of name when set: an adapter's maker, model and serial number.
    QString displayName = {};
    // The device node behind the entry now (/dev/ttyUSB1), empty when it is the name itself.
    QString deviceNode = {};
};

// The devices found under sysRoot/class/tty (sysRoot is "/sys" on a running system; a test
// gives a folder of its own). ttySn is named COM<n+1> and listed only when its UART type is
// known (sysfs "type", else TIOCGSERIAL on devRoot/ttySn). Any other device with a link in
// byIdRoot (devRoot/serial/by-id when empty) whose target still exists is named by that
// link; the rest by their kernel name. Empty when nothing can be read.
QList<SerialPortEntry> systemSerialPorts(const QString& sysRoot = QStringLiteral("/sys"),
                                         const QString& devRoot = QStringLiteral("/dev"),
                                         const QString& byIdRoot = QString());

// The by-id folder systemSerialPorts reads for devRoot: devRoot/serial/by-id.
QString serialByIdFolder(const QString& devRoot = QStringLiteral("/dev"));

// The name to select for a stored port: when stored names a device node (ttyUSB0, or
// /dev/ttyUSB0) that an entry of ports lists under a stable name, that entry's name;
// otherwise stored unchanged.
QString stablePortName(const QList<SerialPortEntry>& ports, const QString& stored);

// What a port is shown as: its displayName, a path's last part (a registered port's
// registration name), or else its name.
QString shownPortName(const SerialPortEntry& port);

// systemSerialPorts plus the registered ports, sorted by what they are shown as, without
// regard to case.
QList<SerialPortEntry> serialPortList(const QString& sysRoot = QStringLiteral("/sys"),
                                      const QString& devRoot = QStringLiteral("/dev"));

} // namespace kelotari
