#pragma once
// The one way this program writes a file: the whole content is made first, written to a
// temporary file beside the target, checked written and flushed, then renamed over the target.
// On any failure the old file is left as it was and the temporary file is removed. The name
// may hold bytes that are not UTF-8 (see FileNames.h).
//
// What may be written at all: a name that is a regular file, or a symbolic link (or chain of
// them) that ends at one, is replaced (the links stay, the file they lead to is replaced); a
// name that does not exist, or a link that leads to a name that does not exist yet in an
// existing folder, is created. A device, FIFO, socket or folder, a link loop and a link that
// leads nowhere that can be created are refused, and the node is left untouched.
#include <QByteArray>
#include <QString>

namespace kelotari {

struct WriteOutcome {
    bool ok = false;
    QString error; // the system's reason when !ok (for messages and logs), else empty
    explicit operator bool() const { return ok; }
};

// Where writing fileName would put the bytes: the file itself, or the file its links lead to.
// Empty with *why set when the name must not be written.
QString writeTarget(const QString& fileName, QString* why = nullptr);

WriteOutcome writeFileSafely(const QString& fileName, const QByteArray& content);

} // namespace kelotari
