#pragma once
// The one way this program writes a file: the whole content is made first, written to a
// temporary file beside the target, checked written and flushed, then renamed over the target.
// On any failure the old file is left as it was and the temporary file is removed.
#include <QByteArray>
#include <QString>

namespace kelotari {

struct WriteOutcome {
    bool ok = false;
    QString error; // the system's reason when !ok (for messages and logs), else empty
    explicit operator bool() const { return ok; }
};

WriteOutcome writeFileSafely(const QString& fileName, const QByteArray& content);

} // namespace kelotari
