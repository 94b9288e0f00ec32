#pragma once
// The settings file beside the executable: data folder, default file name, language name,
// serial port and printer, read at start and written by Quit.
#include "app/MainState.h"

#include <QString>

namespace kelotari {

// Defaults when the file, section or key is missing. The data folder default is the user's
// home folder followed by "/" (a prefix of file names, used as stored).
Settings defaultSettings();

// Reads the five keys; a missing or unreadable file yields the defaults, silently.
Settings readSettings(const QString& fileName);

// Writes the five keys in order, keeping every other line of the file. Throws
// Failure("Unable to write to <fileName>") at the first key that cannot be written.
void writeSettings(const QString& fileName, const Settings& settings);

// The executable's path with its extension replaced by ".INI" (appended when it has none).
QString settingsFileNameFor(const QString& executablePath);

} // namespace kelotari
