#pragma once
// The serial ports of this computer, as the port selector lists them: the devices under
// /sys/class/tty that have a driver behind them (a ttyS port only when its UART is there),
// and the ports a simulated meter has registered.
#include <QList>
#include <QString>

namespace kelotari {

struct SerialPortEntry {
    QString name;        // what is selected and stored: COM1, ttyUSB0, or a registered path
    QString description; // shown beside it: device path, a USB adapter's maker and model
};

// The devices found under sysRoot/class/tty (sysRoot is "/sys" on a running system; a test
// gives a folder of its own). ttySn is named COM<n+1> and listed only when its UART type is
// known (sysfs "type", else TIOCGSERIAL on devRoot/ttySn). Empty when nothing can be read.
QList<SerialPortEntry> systemSerialPorts(const QString& sysRoot = QStringLiteral("/sys"),
                                         const QString& devRoot = QStringLiteral("/dev"));

// systemSerialPorts plus the registered ports, sorted by name without regard to case.
QList<SerialPortEntry> serialPortList(const QString& sysRoot = QStringLiteral("/sys"),
                                      const QString& devRoot = QStringLiteral("/dev"));

} // namespace kelotari
