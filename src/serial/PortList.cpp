#include "PortList.h"

#include "PortRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
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

// A device's own strings are the device's to choose: shown on one line, without control or
// direction-changing characters, and not longer than a port box can sensibly show.
QString printable(const QString& text) {
    QString out;
    for (const QChar c : text) {
        const bool control =
            c.category() == QChar::Other_Control || c.category() == QChar::Other_Format;
        out += control ? QChar(QLatin1Char(' ')) : c;
    }
    out = out.simplified();
    if (out.size() > 120)
        out = out.left(119) + QChar(0x2026);
    return out;
}

struct UsbIdentity {
    QString maker, model, serial;
    QString makerAndModel() const { return (maker + QLatin1Char(' ') + model).trimmed(); }
};

// Maker, model and serial number of the USB device a tty hangs off: the nearest folder above
// its device that carries idVendor, within the sysfs tree.
UsbIdentity usbIdentity(const QString& sysRoot, const QString& sysEntry) {
    const QString root = QFileInfo(sysRoot).canonicalFilePath();
    QString dir = QFileInfo(sysEntry + QStringLiteral("/device")).canonicalFilePath();
    for (int up = 0; up < 6 && !dir.isEmpty() && dir.startsWith(root) && dir != root; ++up) {
        if (QFileInfo::exists(dir + QStringLiteral("/idVendor")))
            return {readAttribute(dir + QStringLiteral("/manufacturer")),
                    readAttribute(dir + QStringLiteral("/product")),
                    readAttribute(dir + QStringLiteral("/serial"))};
        dir = QFileInfo(dir).path();
    }
    return {};
}

// udev's name for an adapter, "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", read back as
// "FTDI FT232R USB UART A50285BI": for a device whose sysfs strings cannot be read.
QString identityFromLinkName(const QString& link) {
    static const QRegularExpression bus(QStringLiteral("^[a-z]+-"));
    static const QRegularExpression iface(QStringLiteral("-if[0-9a-fA-F]+(-port\\d+)?$"));
    QString s = link;
    s.remove(bus);
    s.remove(iface);
    s.replace(QLatin1Char('_'), QLatin1Char(' '));
    return s.simplified();
}

// Kernel tty name -> the by-id link that points at it now. A link whose device has gone (a
// stale link left behind) is left out; when several point at one device, the first by name.
QMap<QString, QString> byIdLinks(const QString& byIdRoot, const QString& devRoot) {
    QMap<QString, QString> out;
    const QDir dir(byIdRoot);
    for (const QString& name :
         dir.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString link = dir.filePath(name);
        char target[4096];
        const ssize_t n = ::readlink(QFile::encodeName(link).constData(), target, sizeof target);
        if (n <= 0 || n == static_cast<ssize_t>(sizeof target))
            continue;
        const QString dev = QFileInfo(QFile::decodeName(QByteArray(target, int(n)))).fileName();
        // The link must still lead to the node of that name in devRoot.
        if (dev.isEmpty() || !QFileInfo::exists(link) ||
            QFileInfo(link).canonicalFilePath() !=
                QFileInfo(devRoot + QLatin1Char('/') + dev).canonicalFilePath())
            continue;
        if (!out.contains(dev))
            out.insert(dev, link);
    }
    return out;
}

} // namespace

QString serialByIdFolder(const QString& devRoot) {
    return devRoot + QStringLiteral("/serial/by-id");
}

QList<SerialPortEntry> systemSerialPorts(const QString& sysRoot, const QString& devRoot,
                                         const QString& byIdRoot) {
    static const QRegularExpression ttyS(QStringLiteral("^ttyS(\\d+)$"));
    QList<SerialPortEntry> out;
    const QDir dir(sysRoot + QStringLiteral("/class/tty"));
    const QStringList names =
        dir.entryList(QDir::Dirs | QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    if (names.isEmpty())
        return out;
    const QMap<QString, QString> stable =
        byIdLinks(byIdRoot.isEmpty() ? serialByIdFolder(devRoot) : byIdRoot, devRoot);
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
            // Built-in UARTs keep their COM names, whatever links udev gives them.
            if (uartOf(entry, devicePath) == Uart::Absent)
                continue;
            bool ok = false;
            const int n = m.captured(1).toInt(&ok);
            if (!ok || n >= 1000000)
                continue;
            e.name = QStringLiteral("COM%1").arg(n + 1);
        } else if (const auto link = stable.constFind(dev); link != stable.cend()) {
            const UsbIdentity usb = usbIdentity(sysRoot, entry);
            e.name = link.value();
            e.deviceNode = e.description;
            e.displayName = printable(usb.makerAndModel() + QLatin1Char(' ') + usb.serial);
            if (e.displayName.isEmpty())
                e.displayName = printable(identityFromLinkName(QFileInfo(link.value()).fileName()));
        } else {
            e.name = dev;
            const QString usb = printable(usbIdentity(sysRoot, entry).makerAndModel());
            if (!usb.isEmpty())
                e.description += QStringLiteral(", ") + usb;
        }
        out << e;
    }
    return out;
}

QString shownPortName(const SerialPortEntry& port) {
    if (!port.displayName.isEmpty())
        return port.displayName;
    if (port.name.startsWith(QLatin1Char('/')))
        return QFileInfo(port.name).fileName();
    return port.name;
}

QString stablePortName(const QList<SerialPortEntry>& ports, const QString& stored) {
    if (stored.isEmpty())
        return stored;
    const QString node =
        stored.startsWith(QLatin1Char('/')) ? stored : QStringLiteral("/dev/") + stored;
    for (const SerialPortEntry& e : ports) {
        if (e.name == stored)
            return stored;
    }
    for (const SerialPortEntry& e : ports) {
        if (!e.deviceNode.isEmpty() && e.deviceNode == node)
            return e.name;
    }
    return stored;
}

QList<SerialPortEntry> serialPortList(const QString& sysRoot, const QString& devRoot) {
    QList<SerialPortEntry> out = systemSerialPorts(sysRoot, devRoot);
    for (const QString& path : registeredPorts())
        out << SerialPortEntry{path, QFile::symLinkTarget(path)}; // beside it, the terminal
    std::stable_sort(out.begin(), out.end(),
                     [](const SerialPortEntry& a, const SerialPortEntry& b) {
                         return shownPortName(a).compare(shownPortName(b), Qt::CaseInsensitive) < 0;
                     });
    return out;
}

} // namespace kelotari
