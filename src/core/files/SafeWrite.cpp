#include "files/SafeWrite.h"

#include <QFileInfo>
#include <QSaveFile>

namespace kelotari {

WriteOutcome writeFileSafely(const QString& fileName, const QByteArray& content) {
    auto failure = [](const QString& why) {
        WriteOutcome r;
        r.error = why;
        return r;
    };
    if (fileName.isEmpty())
        return failure(QStringLiteral("No file name"));
    if (QFileInfo(fileName).isDir())
        return failure(QStringLiteral("%1 is a folder").arg(fileName));

    QSaveFile out(fileName);
    // No direct-write fallback: writing in place is what loses the old file.
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly))
        return failure(out.errorString());
    auto failed = [&out, &failure] {
        const QString why = out.errorString();
        out.cancelWriting(); // the temporary file goes, the target stays as it was
        return failure(why);
    };
    if (out.write(content) != content.size() || out.error() != QFileDevice::NoError)
        return failed();
    // QSaveFile::commit() can report success after writing out its buffer failed (a full
    // disk): flush first and look at the device's error before the rename.
    if (!out.flush() || out.error() != QFileDevice::NoError)
        return failed();
    if (!out.commit())
        return failure(out.errorString());
    return {true, {}};
}

} // namespace kelotari
