#pragma once
// File names as the file system has them: bytes, which need not be UTF-8 (a name written on a
// Latin-1 system, a USB stick from an old machine). In a QString the bytes that are not UTF-8
// are kept as the code points U+DC80..U+DCFF, one per byte, so the name goes back to the very
// same bytes; every file operation of this program on such a name goes through
// encodeFileName. For the eye, displayFileName marks each of those bytes visibly.
#include <QByteArray>
#include <QString>

namespace kelotari {

// The bytes as text: UTF-8 where they are UTF-8, each other byte as U+DC00 + its value.
QString decodeFileName(const QByteArray& bytes);
// The inverse of decodeFileName; a name without such code points is plain UTF-8.
QByteArray encodeFileName(const QString& name);
// For showing: each kept byte as U+FFFD and its value in hex ("lat1-\uFFFDE4.DAT"); a real
// U+FFFD in a name is shown by its own three bytes the same way, so that two names never
// look alike.
QString displayFileName(const QString& name);

} // namespace kelotari
