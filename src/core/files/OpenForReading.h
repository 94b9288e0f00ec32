#pragma once
// Opening a file the program reads (data files, settings, language files) without ever
// waiting on it: only a regular file is opened.
#include <QFile>
#include <QString>

namespace kelotari {

// Opens fileName read-only into file, through the name's bytes (also when not UTF-8). A FIFO,
// socket or device node under that name is refused (ENXIO), a folder too (EISDIR), before and
// after the open, so a name swapped in between is caught as well. Returns 0 when the file is
// open, else the error number of the failure.
int openRegularFileForReading(QFile& file, const QString& fileName);

} // namespace kelotari
