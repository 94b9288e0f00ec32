#include "PortList.h"

#include "PortRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace kelotari {

namespace {

QString readAttribute(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.read(4096)).trimmed();
}

enum class Uart { Present, Absent, Unknown };

// The kernel registers ttyS0..ttyS31 whether or not a UART answers at the address; an absent
// one has type 0 (PORT_UNKNOWN).
Uart uartOf(const QString& sysEntry, const QString& devicePath) {
    const QString typeFile = sysEntry + QStringLiteral("/type");
    if (QFileInfo::exists(typeFile)) {
        bool ok = false;
        const int type = readAttribute(typeFile).toInt(&ok);
        return ok && type != PORT_UNKNOWN ? Uart::Present : Uart::Absent;
    }
    const int fd = ::open(QFile::encodeName(devicePath).constData(),
                          O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EACCES || errno == EBUSY ? Uart::Unknown : Uart::Absent;
    serial_struct ss{};
    const bool got = ::ioctl(fd, TIOCGSERIAL, &ss) == 0;
    ::close(fd);
    if (!got)
        return Uart::Unknown;
    return ss.type != PORT_UNKNOWN ? Uart::Present : Uart::Absent;
}

// Maker and model of the USB device a tty hangs off: the nearest folder above its device that
// carries idVendor, within the sysfs tree.
QString usbMakerAndModel(const QString& sysRoot, const QString& sysEntry) {
    const QString root = QFileInfo(sysRoot).canonicalFilePath();
    QString dir = QFileInfo(sysEntry + QStringLiteral("/device")).canonicalFilePath();
    for (int up = 0; up < 6 && !dir.isEmpty() && dir.startsWith(root) && dir != root; ++up) {
        if (QFileInfo::exists(dir + QStringLiteral("/idVendor"))) {
            const QString maker = readAttribute(dir + QStringLiteral("/manufacturer"));
            const QString model = readAttribute(dir + QStringLiteral("/product"));
            return (maker + QLatin1Char(' ') + model).trimmed();
        }
        dir = QFileInfo(dir).path();
    }
    return {};
}

} // namespace

QList<SerialPortEntry> systemSerialPorts(const QString& sysRoot, const QString& devRoot) {
    static const QRegularExpression ttyS(QStringLiteral("^ttyS(\\d+)$"));
    QList<SerialPortEntry> out;
    const QDir dir(sysRoot + QStringLiteral("/class/tty"));
    const QStringList names =
        dir.entryList(QDir::Dirs | QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& dev : names) {
        const QString entry = dir.filePath(dev);
        // Virtual terminals, the console and pseudo-terminals have no driver behind them.
        if (!QFileInfo::exists(entry + QStringLiteral("/device/driver")))
            continue;
        const QString devicePath = devRoot + QLatin1Char('/') + dev;
        SerialPortEntry e;
        e.description = QStringLiteral("/dev/") + dev;
        const QRegularExpressionMatch m = ttyS.match(dev);
        if (m.hasMatch()) {
            if (uartOf(entry, devicePath) == Uart::Absent)
                continue;
            bool ok = false;
            const int n = m.captured(1).toInt(&ok);
            if (!ok || n >= 1000000)
                continue;
            e.name = QStringLiteral("COM%1").arg(n + 1);
        } else {
            e.name = dev;
            const QString usb = usbMakerAndModel(sysRoot, entry);
            if (!usb.isEmpty())
                e.description += QStringLiteral(", ") + usb;
        }
        out << e;
    }
    return out;
}

QList<SerialPortEntry> serialPortList(const QString& sysRoot, const QString& devRoot) {
    QList<SerialPortEntry> out = systemSerialPorts(sysRoot, devRoot);
    for (const QString& path : registeredPorts())
        out << SerialPortEntry{path, QFile::symLinkTarget(path)}; // beside it, the terminal
    std::stable_sort(out.begin(), out.end(),
                     [](const SerialPortEntry& a, const SerialPortEntry& b) {
                         return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
                     });
    return out;
}

} // namespace kelotari
