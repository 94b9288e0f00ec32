#pragma once
// A file name as an entry of its folder, by the name's bytes (see FileNames.h): whether it
// exists, the question before it is written over, and its removal. Every save path of the
// program asks through confirmOverwrite, so they all ask alike.
#include <QString>

namespace kelotari {

class Dialogs;

// Whether the folder holds an entry of this name. A symbolic link counts whether or not it
// leads anywhere (a link to nothing, a link loop), and so does anything else that stands
// under the name (a folder, a FIFO): writing there would replace it or fail on it, and either
// deserves the question first.
bool nameExists(const QString& fileName);

// The overwrite question: when the name exists, asks `question` (titled "Confirm", Yes and
// No). True when the write may go ahead: nothing there, or Yes.
bool confirmOverwrite(Dialogs& dialogs, const QString& fileName, const QString& question);

// Removes the entry itself (a link, not what it leads to). False when there was none or it
// could not be removed; a folder is never removed.
bool removeFileEntry(const QString& fileName);

} // namespace kelotari
