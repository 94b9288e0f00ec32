#pragma once
// Single-byte text as the meter and the data files carry it, and its display form.
#include <QByteArray>
#include <QString>

namespace kelotari {

// Windows-1252 bytes to text (the five unassigned bytes map to the C1 controls, so nothing is
// lost).
QString fromCp1252(const QByteArray& bytes);
// Text to Windows-1252 bytes; a character the code page lacks becomes '?'.
QByteArray toCp1252(const QString& text);
// Text files written on either system: UTF-8 when the bytes are valid UTF-8, else Windows-1252.
QString decodeTextFile(const QByteArray& bytes);
bool isValidUtf8(const QByteArray& bytes);

} // namespace kelotari
