#pragma once
// A fixture tree of serial devices laid out as the kernel and udev lay them out: sys/class/tty
// links into sys/devices, "device" to the hardware, "driver" to the bound driver; dev holds
// the device nodes (plain files here) and dev/serial/by-id the links udev makes for adapters.
// Plugging and unplugging an adapter changes all three as the system does.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

namespace kelotari {

class PortTree {
public:
    PortTree() { ok = m_dir.isValid() && QDir().mkpath(sys("class/tty")) && QDir().mkpath(dev()); }
    bool ok = false; // false once any step of building the tree failed

    QString path() const { return m_dir.path(); }
    QString root() const { return m_dir.path() + "/sys"; }
    QString dev() const { return m_dir.path() + "/dev"; }
    QString byId() const { return dev() + "/serial/by-id"; }
    QString byIdLink(const QString& name) const { return byId() + "/" + name; }

    // A tty under devicePath (relative to sys/devices), with a driver when driver is set, and
    // its device node.
    void tty(const QString& name, const QString& devicePath, const QString& driver,
             const QString& type = QString()) {
        const QString hw = sys("devices/" + devicePath);
        const QString node = hw + "/tty/" + name;
        step(QDir().mkpath(node));
        link(sys("class/tty/" + name), node);
        if (!devicePath.startsWith("virtual")) {
            link(node + "/device", hw);
            if (!driver.isEmpty()) {
                step(QDir().mkpath(sys("bus/drivers/" + driver)));
                link(hw + "/driver", sys("bus/drivers/" + driver));
            }
        }
        if (!type.isNull())
            write(node + "/type", type + "\n");
        write(dev() + "/" + name, QString());
    }
    // A USB device folder with maker, model and (when given) serial number.
    void usbDevice(const QString& devicePath, const QString& maker, const QString& model,
                   const QString& serial = QString()) {
        const QString d = sys("devices/" + devicePath);
        step(QDir().mkpath(d));
        write(d + "/idVendor", "0403\n");
        write(d + "/manufacturer", maker + "\n");
        write(d + "/product", model + "\n");
        if (!serial.isEmpty())
            write(d + "/serial", serial + "\n");
    }
    // An adapter plugged into the USB socket usbPath: its device, its tty on a serial driver
    // and udev's by-id link to it.
    void plugAdapter(const QString& usbPath, const QString& ttyName, const QString& maker,
                     const QString& model, const QString& serial, const QString& byIdName,
                     const QString& driver = "ftdi_sio") {
        usbDevice(usbPath, maker, model, serial);
        tty(ttyName, usbPath + "/" + QFileInfo(usbPath).fileName() + ":1.0/" + ttyName, driver);
        pointById(byIdName, ttyName);
    }
    // The adapter on ttyName pulled out: its tty, its node and its device folder go.
    void unplug(const QString& ttyName, const QString& byIdName = QString()) {
        const QString cls = sys("class/tty/" + ttyName);
        QString usb = QFileInfo(cls + "/device").canonicalFilePath();
        while (!usb.isEmpty() && usb.startsWith(root()) && !QFileInfo::exists(usb + "/idVendor"))
            usb = QFileInfo(usb).path();
        step(QFile::remove(cls));
        step(QFile::remove(dev() + "/" + ttyName));
        if (usb.startsWith(root() + "/devices/"))
            QDir(usb).removeRecursively();
        if (!byIdName.isEmpty())
            step(QFile::remove(byIdLink(byIdName)));
    }
    // Creates or replaces (in one step, as udev does) the by-id link byIdName -> ../../ttyName.
    void pointById(const QString& byIdName, const QString& ttyName) {
        step(QDir().mkpath(byId()));
        const QString at = byIdLink(byIdName);
        const QString tmp = at + ".tmp";
        QFile::remove(tmp);
        step(::symlink(QFile::encodeName("../../" + ttyName).constData(),
                       QFile::encodeName(tmp).constData()) == 0);
        step(::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(at).constData()) == 0);
    }

private:
    QString sys(const QString& rel) const { return root() + "/" + rel; }
    void step(bool done) { ok = ok && done; }
    void link(const QString& at, const QString& to) {
        if (QFileInfo(at).isSymLink())
            return; // two ttys on one device share its links
        step(::symlink(QFile::encodeName(to).constData(), QFile::encodeName(at).constData()) == 0);
    }
    void write(const QString& file, const QString& text) {
        QFile f(file);
        step(f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) == text.toUtf8().size());
    }
    QTemporaryDir m_dir;
};

} // namespace kelotari
