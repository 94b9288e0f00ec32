#include "files/SafeWrite.h"

#include <QSaveFile>

namespace kelotari {

WriteOutcome writeFileSafely(const QString& fileName, const QByteArray& content) {
    QSaveFile out(fileName);
    // No direct-write fallback: writing in place is what loses the old file.
    out.setDirectWriteFallback(false);
    auto failed = [&out] {
        WriteOutcome r;
        r.error = out.errorString();
        out.cancelWriting();
        return r;
    };
    if (!out.open(QIODevice::WriteOnly))
        return failed();
    if (out.write(content) != content.size())
        return failed();
    // QSaveFile::commit() can report success after writing out its buffer failed (a full
    // disk): flush first and look at the device's error before the rename.
    if (!out.flush() || out.error() != QFileDevice::NoError)
        return failed();
    if (!out.commit()) {
        WriteOutcome r;
        r.error = out.errorString();
        return r;
    }
    return {true, {}};
}

} // namespace kelotari
