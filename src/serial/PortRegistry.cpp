#include "PortRegistry.h"

#include "app/Failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <pwd.h>
#include <unistd.h>

namespace kelotari {

namespace {

QString runtimeFolder() {
    const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && QFileInfo(xdg).isDir())
        return xdg;
    QString user;
    if (const passwd* pw = ::getpwuid(::getuid()))
        user = QString::fromLocal8Bit(pw->pw_name);
    else
        user = QString::number(::getuid());
    return QDir::tempPath() + QStringLiteral("/runtime-") + user;
}

} // namespace

QString registeredPortsFolder() {
    return runtimeFolder() + QStringLiteral("/kelotari/ports");
}

QString registerPort(const QString& name, const QString& devicePath) {
    const QString folder = registeredPortsFolder();
    if (!QDir().mkpath(folder))
        throw Failure(QStringLiteral("Cannot create %1").arg(folder));
    QFile::setPermissions(runtimeFolder(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString link = folder + QLatin1Char('/') + name;
    const QByteArray linkBytes = QFile::encodeName(link);
    // Replaced in one step, so a program opening the name never finds it missing.
    const QByteArray tmp = linkBytes + ".new";
    ::unlink(tmp.constData());
    if (::symlink(QFile::encodeName(devicePath).constData(), tmp.constData()) < 0 ||
        ::rename(tmp.constData(), linkBytes.constData()) < 0) {
        const int err = errno;
        ::unlink(tmp.constData());
        throw Failure(QStringLiteral("Cannot register %1: %2")
                          .arg(link, QString::fromLocal8Bit(std::strerror(err))));
    }
    return link;
}

void unregisterPort(const QString& name, const QString& devicePath) {
    const QString link = registeredPortsFolder() + QLatin1Char('/') + name;
    if (QFile::symLinkTarget(link) == QFileInfo(devicePath).absoluteFilePath())
        QFile::remove(link);
}

QStringList registeredPorts() {
    QStringList out;
    const QDir dir(registeredPortsFolder());
    for (const QFileInfo& fi :
         dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        if (fi.isSymLink() && QFileInfo::exists(fi.symLinkTarget()))
            out << fi.absoluteFilePath();
    }
    return out;
}

} // namespace kelotari
