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
// for it.
//
// Portable layout (the program unpacked in a folder of its own, as the build folder's bin/):
// the files beside the program are read and written there; the per-user copy is used where
// it exists, or where the program's folder cannot be written.
//
// Installed layout (the install rules put kInstalledMarker beside the executable): the shipped
// files beside the program (the language files) are read-only defaults, a file the package
// does not ship (the settings) is not read there at all, and every write goes to the per-user
// copy, for root as for anyone: one user's settings never become another's (not even through a
// settings file an older version, run as root, left beside the program), and the package
// manager keeps owning every file in the program's folder.
//
// Whatever the layout, a name that is not a regular file (folder, FIFO, socket, device, a link
// to one) counts as absent for reading and is never opened.
struct ConfigLocation {
    QString besideProgram;
    QString perUserCopy; // empty: no per-user copy
    bool installed = false;
    bool shippedBeside = true; // installed: whether the file beside the program is shipped

    // The per-user copy when it is a regular file, else the file beside the program; empty
    // (nothing to read) in the installed layout when that file is not a shipped one.
    QString readFrom() const;
    // Installed: the per-user copy. Portable: back to readFrom() when that can be written, else
    // the per-user copy (its folder made when the write happens); empty when neither can be
    // written.
    QString writeTo() const;
};

// The file the install rules put beside the installed executable. Why a marker and not the
// folder's owner: root owns the installed folder and may write to it, so "a folder I cannot
// write" or "a folder not mine" would send root's settings to the shared folder; the marker
// says "installed" for every user, root included, and an unpacked build never has it.
inline constexpr char kInstalledMarker[] = "kelotari.installed";
// Whether the executable sits in an installed layout (its folder holds kInstalledMarker).
bool isInstalledLayout(const QString& executablePath);

// The per-user configuration folder: $XDG_CONFIG_HOME/Kelotari when that is an absolute path,
// else $HOME/.config/Kelotari, else (HOME unset or empty) the account's home folder from the
// password database followed by /.config/Kelotari. Empty only when no home can be found.
QString userConfigFolder();

// Whether the name resolves (through links) to a regular file; never opens it.
bool isRegularFile(const QString& fileName);

// Quit's write: the file read once, the five keys changed in order, the result written once,
// every other line kept byte for byte. On failure the file on disk stays as it was and
// Failure("Unable to write to <file>") is thrown.
void writeSettings(const QString& fileName, const Settings& settings);
// The same with the existing lines taken from readFrom and the result written to writeTo.
void writeSettings(const QString& readFrom, const QString& writeTo, const Settings& settings);
// Written where the location rules say; the failure names the file the write went to (in the
// portable layout, when neither place can be written, the file read from). A target
// that exists and is not a regular file is refused with that failure and left as it is.
void writeSettings(const ConfigLocation& where, const Settings& settings);

// The executable's path with its extension replaced by ".INI" (appended when it has none).
QString settingsFileNameFor(const QString& executablePath);

} // namespace kelotari
