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

// A file kept beside the program (settings, language), with a per-user copy that stands in
// for it where the program's folder cannot be written.
struct ConfigLocation {
    QString besideProgram;
    QString perUserCopy; // empty: no per-user copy

    // The per-user copy when it exists, else the file beside the program.
    QString readFrom() const;
    // Where a write goes: back to readFrom() when that can be written, else the per-user copy
    // (its folder made when the write happens). Empty when neither can be written.
    QString writeTo() const;
};

// Quit's write: the file read once, the five keys changed in order, the result written once,
// every other line kept byte for byte. On failure the file on disk stays as it was and
// Failure("Unable to write to <file>") is thrown.
void writeSettings(const QString& fileName, const Settings& settings);
// The same with the existing lines taken from readFrom and the result written to writeTo.
void writeSettings(const QString& readFrom, const QString& writeTo, const Settings& settings);
// Written where the location rules say; when neither place can be written the failure names
// the file beside the program.
void writeSettings(const ConfigLocation& where, const Settings& settings);

// The executable's path with its extension replaced by ".INI" (appended when it has none).
QString settingsFileNameFor(const QString& executablePath);

} // namespace kelotari
