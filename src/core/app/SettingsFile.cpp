#include "app/SettingsFile.h"

#include "ini/IniProfile.h"

#include <QDir>
#include <QFileInfo>

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
    for (const Key& k : kKeys)
        writeProfileString(fileName, QLatin1String(k.section), QLatin1String(k.key), s.*k.field);
}

QString settingsFileNameFor(const QString& executablePath) {
    const QFileInfo fi(executablePath);
    const QString name = fi.fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? name.left(dot) : name;
    return fi.absolutePath() + QLatin1Char('/') + base + QStringLiteral(".INI");
}

} // namespace kelotari
