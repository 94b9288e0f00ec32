// Adapters by their stable names: the port list over a fixture tree of sysfs, device nodes
// and udev's by-id links, the adapter found again after a replug into another socket, a
// device name stored by an older version led to the stable name, and a stored stable name
// opened through its link.
#include "ComPort.h"
#include "PortFixture.h"
#include "PortList.h"
#include "Pty.h"

#include <QtTest>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace kelotari;

namespace {

const QString kFtdiLink = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
const QString kProlificLink = "usb-Prolific_Technology_Inc._USB-Serial_Controller_D-if00-port0";
const QString kArduinoLink = "usb-Arduino__www.arduino.cc__0043_75633313133351F0E1A1-if00";
const QString kSocket1 = "pci0000:00/0000:00:14.0/usb1/1-1";
const QString kSocket2 = "pci0000:00/0000:00:14.0/usb1/1-2";
const QString kSocket3 = "pci0000:00/0000:00:14.0/usb1/1-3";
const QString kSocket4 = "pci0000:00/0000:00:14.0/usb1/1-4";
const QString kAcmeLink = "usb-Acme_Serial-if00-port0";

QMap<QString, SerialPortEntry> byName(const QList<SerialPortEntry>& list) {
    QMap<QString, SerialPortEntry> out;
    for (const SerialPortEntry& e : list)
        out.insert(e.name, e);
    return out;
}

} // namespace

class TestPortIdentity : public QObject {
    Q_OBJECT
private slots:
    void adaptersAreListedByTheirStableNames();
    void theAdapterIsFoundAgainAfterAReplug();
    void storedNamesLeadToTheStableName_data();
    void storedNamesLeadToTheStableName();
    void aStoredStableNameOpensThroughItsLink();
};

// COM1 on a built-in UART (with a by-id link of its own, which it does not take), an FTDI
// adapter with maker, model and serial number in sysfs, an Arduino on cdc_acm whose sysfs
// strings cannot be read, an adapter udev has given no link, and a stale link whose device
// has gone.
void TestPortIdentity::adaptersAreListedByTheirStableNames() {
    PortTree t;
    t.tty("ttyS0", "pnp0/00:01", "serial", "4");
    t.pointById("pci-0000:00:16.3-serial", "ttyS0");
    t.plugAdapter(kSocket1, "ttyUSB0", "FTDI", "FT232R USB UART", "A50285BI", kFtdiLink);
    t.tty("ttyACM0", kSocket2 + "/1-2:1.0", "cdc_acm");
    t.pointById(kArduinoLink, "ttyACM0");
    t.usbDevice(kSocket3, "Silicon Labs", "CP2102");
    t.tty("ttyUSB1", kSocket3 + "/1-3:1.0/ttyUSB1", "cp210x");
    t.pointById(kProlificLink, "ttyUSB5"); // left behind by a device that has gone
    // A device whose strings carry line breaks, control and direction-changing characters
    // and go on and on.
    t.plugAdapter(kSocket4, "ttyUSB2", "Acme\nCorp\x1b[2J", "Serial\u202eLRT" + QString(200, 'x'),
                  "S1", kAcmeLink, "ch341");
    QVERIFY(t.ok);

    const QMap<QString, SerialPortEntry> ports = byName(systemSerialPorts(t.root(), t.dev()));
    QCOMPARE(ports.keys(), (QStringList{t.byIdLink(kAcmeLink), t.byIdLink(kArduinoLink),
                                        t.byIdLink(kFtdiLink), "COM1", "ttyUSB1"}));
    const QString acme = ports[t.byIdLink(kAcmeLink)].displayName;
    QCOMPARE(acme.size(), 120);
    QVERIFY2(acme.startsWith("Acme Corp [2J Serial LRTxxx"), qPrintable(acme));
    QCOMPARE(acme.back(), QChar(0x2026));
    const SerialPortEntry ftdi = ports[t.byIdLink(kFtdiLink)];
    QCOMPARE(ftdi.displayName, QStringLiteral("FTDI FT232R USB UART A50285BI"));
    QCOMPARE(ftdi.deviceNode, QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(ftdi.description, QStringLiteral("/dev/ttyUSB0"));
    const SerialPortEntry arduino = ports[t.byIdLink(kArduinoLink)];
    QCOMPARE(arduino.displayName,
             QStringLiteral("Arduino www.arduino.cc 0043 75633313133351F0E1A1"));
    QCOMPARE(arduino.deviceNode, QStringLiteral("/dev/ttyACM0"));
    QCOMPARE(ports["COM1"].description, QStringLiteral("/dev/ttyS0"));
    QCOMPARE(ports["COM1"].displayName, QString());
    QCOMPARE(ports["ttyUSB1"].description, QStringLiteral("/dev/ttyUSB1, Silicon Labs CP2102"));
    QCOMPARE(ports["ttyUSB1"].deviceNode, QString());

    // The by-id folder can be given on its own; one that does not exist leaves kernel names.
    const QMap<QString, SerialPortEntry> plain =
        byName(systemSerialPorts(t.root(), t.dev(), t.path() + "/no-by-id"));
    QCOMPARE(plain.keys(), (QStringList{"COM1", "ttyACM0", "ttyUSB0", "ttyUSB1", "ttyUSB2"}));
    QCOMPARE(plain["ttyUSB0"].description, QStringLiteral("/dev/ttyUSB0, FTDI FT232R USB UART"));
}

// The meter's FTDI adapter on ttyUSB0 is pulled out; a second adapter plugged meanwhile takes
// ttyUSB0, and the meter's adapter comes back in another socket as ttyUSB1. Its stable name
// is the same, and leads to the new device.
void TestPortIdentity::theAdapterIsFoundAgainAfterAReplug() {
    PortTree t;
    t.plugAdapter(kSocket1, "ttyUSB0", "FTDI", "FT232R USB UART", "A50285BI", kFtdiLink);
    QVERIFY(t.ok);
    const QString stored = t.byIdLink(kFtdiLink);
    QCOMPARE(byName(systemSerialPorts(t.root(), t.dev()))[stored].deviceNode, "/dev/ttyUSB0");

    t.unplug("ttyUSB0", kFtdiLink);
    QVERIFY(t.ok);
    QVERIFY(!byName(systemSerialPorts(t.root(), t.dev())).contains(stored));

    t.plugAdapter(kSocket2, "ttyUSB0", "Prolific Technology Inc.", "USB-Serial Controller D", "",
                  kProlificLink, "pl2303");
    t.plugAdapter(kSocket3, "ttyUSB1", "FTDI", "FT232R USB UART", "A50285BI", kFtdiLink);
    QVERIFY(t.ok);
    const QList<SerialPortEntry> list = systemSerialPorts(t.root(), t.dev());
    const QMap<QString, SerialPortEntry> ports = byName(list);
    QCOMPARE(ports.size(), 2);
    QCOMPARE(ports[stored].deviceNode, QStringLiteral("/dev/ttyUSB1"));
    QCOMPARE(ports[stored].displayName, QStringLiteral("FTDI FT232R USB UART A50285BI"));
    QCOMPARE(ports[t.byIdLink(kProlificLink)].deviceNode, QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(stablePortName(list, stored), stored);
    QCOMPARE(stablePortName(list, "ttyUSB1"), stored);
}

void TestPortIdentity::storedNamesLeadToTheStableName_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("offered"); // "<ftdi>" for the FTDI adapter's stable name
    QTest::newRow("older device name") << "ttyUSB0"
                                       << "<ftdi>";
    QTest::newRow("older device path") << "/dev/ttyUSB0"
                                       << "<ftdi>";
    QTest::newRow("the stable name") << "<ftdi>"
                                     << "<ftdi>";
    QTest::newRow("a built-in UART") << "COM1"
                                     << "COM1";
    QTest::newRow("an adapter without a link") << "ttyUSB1"
                                               << "ttyUSB1";
    QTest::newRow("a device that is not there") << "ttyUSB7"
                                                << "ttyUSB7";
    QTest::newRow("other letter case is another device") << "TTYUSB0"
                                                         << "TTYUSB0";
    QTest::newRow("nothing stored") << ""
                                    << "";
}

void TestPortIdentity::storedNamesLeadToTheStableName() {
    QFETCH(QString, stored);
    QFETCH(QString, offered);
    PortTree t;
    t.tty("ttyS0", "pnp0/00:01", "serial", "4");
    t.plugAdapter(kSocket1, "ttyUSB0", "FTDI", "FT232R USB UART", "A50285BI", kFtdiLink);
    t.tty("ttyUSB1", kSocket3 + "/1-3:1.0/ttyUSB1", "cp210x");
    QVERIFY(t.ok);
    stored.replace("<ftdi>", t.byIdLink(kFtdiLink));
    offered.replace("<ftdi>", t.byIdLink(kFtdiLink));
    QCOMPARE(stablePortName(systemSerialPorts(t.root(), t.dev()), stored), offered);
}

// The stored name is the link; the port opens the device it points at now, and after the
// link is pointed at another device, that one.
void TestPortIdentity::aStoredStableNameOpensThroughItsLink() {
    Pty first, second;
    QVERIFY(!first.path.isEmpty() && !second.path.isEmpty());
    QTemporaryDir dir;
    const QString link = dir.filePath("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    QVERIFY(QFile::link(first.path, link));

    TComPort port;
    port.setPort(link);
    port.OpenPort();
    QCOMPARE(port.SendText("V\r"), 2);
    port.ClosePort();
    QCOMPARE(first.receivedWithin(), QByteArray("V\r"));

    QVERIFY(QFile::remove(link) && QFile::link(second.path, link)); // the replug
    port.OpenPort();
    QCOMPARE(port.SendText("W\r"), 2);
    port.ClosePort();
    QCOMPARE(second.receivedWithin(), QByteArray("W\r"));
    QCOMPARE(first.receivedWithin(), QByteArray());
}

QTEST_GUILESS_MAIN(TestPortIdentity)
#include "tst_portidentity.moc"
