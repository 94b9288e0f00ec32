#include "app/SettingsFile.h"

#include "base/Failure.h"
#include "ini/IniProfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kelotari {
namespace {

struct Key {
    const char* section;
    const char* key;
    QString Settings::*field;
};

const Key kKeys[] = {
    {"DB", "Path", &Settings::DataPath},        {"DB", "DefName", &Settings::DefName},
    {"Lang", "Set", &Settings::LangSet},        {"App", "Port", &Settings::PortName},
    {"App", "Printer", &Settings::PrinterName},
};

} // namespace

Settings defaultSettings() {
    Settings s;
    s.DataPath = QDir::homePath() + QLatin1Char('/');
    s.DefName = QStringLiteral("NoName.dat");
    s.LangSet = QStringLiteral("English");
    s.PortName = QStringLiteral("COM1");
    s.PrinterName = QStringLiteral("None");
    return s;
}

Settings readSettings(const QString& fileName) {
    const IniProfile ini = IniProfile::fromFile(fileName);
    const Settings def = defaultSettings();
    Settings s;
    for (const Key& k : kKeys)
        s.*k.field = ini.readString(QLatin1String(k.section), QLatin1String(k.key), def.*k.field);
    return s;
}

void writeSettings(const QString& fileName, const Settings& s) {
    writeSettings(fileName, fileName, s);
}

void writeSettings(const QString& readFrom, const QString& writeTo, const Settings& s) {
    IniProfile ini;
    try {
        ini = IniProfile::forRewrite(readFrom);
    } catch (const Failure&) {
        // Rewriting a file whose lines cannot be read would lose them; writing another file
        // loses nothing (the unreadable one stays as it is), so that goes ahead with our keys.
        if (QFileInfo(readFrom).absoluteFilePath() == QFileInfo(writeTo).absoluteFilePath())
            throw Failure(QStringLiteral("Unable to write to %1").arg(writeTo));
    }
    for (const Key& k : kKeys)
        ini.writeString(QLatin1String(k.section), QLatin1String(k.key), s.*k.field);
    // The writer replaces only a regular file (or a link's regular target); a folder, FIFO or
    // device under the name stays as it is and the write fails with the message below.
    if (QFileInfo(writeTo).absolutePath() != QFileInfo(readFrom).absolutePath())
        QDir().mkpath(QFileInfo(writeTo).absolutePath()); // a per-user copy made on first need
    ini.writeTo(writeTo);
}

namespace {

// Whether a file could be written (through a temporary file beside it and a rename): its folder,
// or the nearest folder above it that exists, takes new files, and the file, when there, is a
// writable regular file.
bool canWrite(const QString& fileName) {
    if (fileName.isEmpty())
        return false;
    const QFileInfo fi(fileName);
    if (fi.exists() && (!isRegularFile(fileName) || !fi.isWritable()))
        return false;
    QFileInfo dir(fi.absolutePath());
    while (!dir.exists()) {
        const QString up = dir.absolutePath();
        if (up == dir.absoluteFilePath())
            return false;
        dir = QFileInfo(up);
    }
    return dir.isDir() && dir.isWritable() && dir.isExecutable();
}

} // namespace

bool isRegularFile(const QString& fileName) {
    if (fileName.isEmpty())
        return false;
#ifdef Q_OS_UNIX
    struct stat st {};
    return ::stat(QFile::encodeName(fileName).constData(), &st) == 0 && S_ISREG(st.st_mode);
#else
    return QFileInfo(fileName).isFile();
#endif
}

bool isInstalledLayout(const QString& executablePath) {
    return QFileInfo::exists(QFileInfo(executablePath).absolutePath() + QLatin1Char('/') +
                             QLatin1String(kInstalledMarker));
}

QString userConfigFolder() {
    const QString app = QStringLiteral("/Kelotari");
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) // a relative one is to be ignored
        return QDir::cleanPath(xdg) + app;
    QString home = qEnvironmentVariable("HOME");
#ifdef Q_OS_UNIX
    if (home.isEmpty()) {
        if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir && *pw->pw_dir)
            home = QFile::decodeName(pw->pw_dir);
    }
#endif
    if (home.isEmpty())
        return QString();
    return QDir::cleanPath(home) + QStringLiteral("/.config") + app;
}

QString ConfigLocation::readFrom() const {
    if (isRegularFile(perUserCopy))
        return perUserCopy;
    if (installed && !shippedBeside)
        return QString();
    return besideProgram;
}

QString ConfigLocation::writeTo() const {
    if (installed)
        return perUserCopy;
    const QString read = readFrom();
    if (canWrite(read))
        return read;
    if (canWrite(perUserCopy))
        return perUserCopy;
    return QString();
}

void writeSettings(const ConfigLocation& where, const Settings& s) {
    const QString target = where.writeTo();
    // Neither place can be written: the message names the file the settings came from.
    if (target.isEmpty()) {
        const QString read = where.readFrom();
        throw Failure(QStringLiteral("Unable to write to %1")
                          .arg(read.isEmpty() ? where.besideProgram : read));
    }
    writeSettings(where.readFrom(), target, s);
}

QString settingsFileNameFor(const QString& executablePath) {
    const QFileInfo fi(executablePath);
    const QString name = fi.fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? name.left(dot) : name;
    return fi.absolutePath() + QLatin1Char('/') + base + QStringLiteral(".INI");
}

} // namespace kelotari
