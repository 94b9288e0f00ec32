// The port selector's list from a fixture sysfs tree laid out as the kernel lays it out:
// /sys/class/tty/<name> links into /sys/devices, "device" links to the hardware, "driver"
// to the driver bound to it.
#include "PortList.h"
#include "PortRegistry.h"
#include "Pty.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace kelotari;

namespace {

class SysTree {
public:
    SysTree() { QDir().mkpath(sys("class/tty")); }
    QString root() const { return m_dir.path() + "/sys"; }
    QString dev() const { return m_dir.path() + "/dev"; }

    // A tty under devicePath (relative to /sys/devices), with a driver when driver is set.
    void tty(const QString& name, const QString& devicePath, const QString& driver,
             const QString& type = QString()) {
        const QString hw = sys("devices/" + devicePath);
        const QString node = hw + "/tty/" + name;
        QDir().mkpath(node);
        link(sys("class/tty/" + name), node);
        if (!devicePath.startsWith("virtual")) {
            link(node + "/device", hw);
            if (!driver.isEmpty()) {
                QDir().mkpath(sys("bus/drivers/" + driver));
                link(hw + "/driver", sys("bus/drivers/" + driver));
            }
        }
        if (!type.isNull())
            write(node + "/type", type + "\n");
    }
    // A USB device folder with maker and model.
    void usbDevice(const QString& devicePath, const QString& maker, const QString& model) {
        const QString d = sys("devices/" + devicePath);
        QDir().mkpath(d);
        write(d + "/idVendor", "0403\n");
        write(d + "/manufacturer", maker + "\n");
        write(d + "/product", model + "\n");
    }

private:
    QString sys(const QString& rel) const { return root() + "/" + rel; }
    static void link(const QString& at, const QString& to) {
        if (QFileInfo(at).isSymLink())
            return; // two ttys on one device share its links
        QVERIFY(::symlink(QFile::encodeName(to).constData(), QFile::encodeName(at).constData()) ==
                0);
    }
    static void write(const QString& file, const QString& text) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
    }
    QTemporaryDir m_dir;
};

// A computer with two real UARTs (ttyS0, ttyS9), two the kernel registered without hardware
// (ttyS1 of type 0, ttyS2 without a type and without a device node), an FTDI adapter, an
// Arduino on cdc_acm, a device of lower-case name and a virtual console.
void buildComputer(SysTree& t) {
    t.tty("ttyS0", "pnp0/00:01", "serial", "4");
    t.tty("ttyS1", "platform/serial8250", "serial8250", "0");
    t.tty("ttyS2", "platform/serial8250", "serial8250");
    t.tty("ttyS9", "pci0000:00/0000:00:16.3", "serial", "4");
    const QString ftdi = "pci0000:00/0000:00:14.0/usb1/1-1";
    t.usbDevice(ftdi, "FTDI", "FT232R USB UART");
    t.tty("ttyUSB0", ftdi + "/1-1:1.0/ttyUSB0", "ftdi_sio");
    const QString arduino = "pci0000:00/0000:00:14.0/usb1/1-2";
    t.usbDevice(arduino, "Arduino (www.arduino.cc)", "Uno");
    t.tty("ttyACM0", arduino + "/1-2:1.0", "cdc_acm");
    t.tty("bt_serial0", "platform/bt", "hci_uart", "0x10");
    t.tty("tty0", "virtual/tty", QString());
    t.tty("ttyUSB7", "pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/ttyUSB7", QString()); // unbound
}

QStringList namesOf(const QList<SerialPortEntry>& list) {
    QStringList n;
    for (const SerialPortEntry& e : list)
        n << e.name;
    return n;
}

} // namespace

class TestPortList : public QObject {
    Q_OBJECT
private slots:
    void listsTheDevicesWithADriverBehindThem();
    void registeredPortsJoinAndTheListIsSortedWithoutCase();
    void noSysfsGivesAnEmptyList();
};

void TestPortList::listsTheDevicesWithADriverBehindThem() {
    SysTree t;
    buildComputer(t);
    const QList<SerialPortEntry> ports = systemSerialPorts(t.root(), t.dev());
    QMap<QString, QString> byName;
    for (const SerialPortEntry& e : ports)
        byName.insert(e.name, e.description);
    QCOMPARE(byName.keys(), (QStringList{"COM1", "COM10", "bt_serial0", "ttyACM0", "ttyUSB0"}));
    QCOMPARE(byName["COM1"], QStringLiteral("/dev/ttyS0"));
    QCOMPARE(byName["COM10"], QStringLiteral("/dev/ttyS9"));
    QCOMPARE(byName["ttyUSB0"], QStringLiteral("/dev/ttyUSB0, FTDI FT232R USB UART"));
    QCOMPARE(byName["ttyACM0"], QStringLiteral("/dev/ttyACM0, Arduino (www.arduino.cc) Uno"));
    QCOMPARE(byName["bt_serial0"], QStringLiteral("/dev/bt_serial0"));
}

void TestPortList::registeredPortsJoinAndTheListIsSortedWithoutCase() {
    SysTree t;
    buildComputer(t);
    QTemporaryDir runtime;
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    Pty pty;
    QVERIFY(!pty.path.isEmpty());
    const QString device = pty.path;
    const QString link = PortRegistration::make("meter-sim", device)->path(); // ended at once
    auto held = PortRegistration::make("meter-sim", device);
    QCOMPARE(held->path(), link);

    const QList<SerialPortEntry> ports = serialPortList(t.root(), t.dev());
    QCOMPARE(namesOf(ports),
             (QStringList{"bt_serial0", "COM1", "COM10", link, "ttyACM0", "ttyUSB0"}));
    QCOMPARE(ports[3].description, device); // sorted as "meter-sim"
    held.reset();
    pty.hangUp();

    if (saved.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", saved);
}

void TestPortList::noSysfsGivesAnEmptyList() {
    QTemporaryDir empty;
    QCOMPARE(systemSerialPorts(empty.filePath("sys"), empty.filePath("dev")).size(), 0);
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(empty.path()));
    QCOMPARE(serialPortList(empty.filePath("sys"), empty.filePath("dev")).size(), 0);
    if (saved.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", saved);
}

QTEST_GUILESS_MAIN(TestPortList)
#include "tst_portlist.moc"
