#pragma once
// The certificate file (*.cal): nine lines ended by CR LF, no header: the certificate number,
// the handler's name, then CalResult slots 1 to 7 in the general number form with the user's
// regional decimal separator.
#include "files/SafeWrite.h"
#include "meter/LineReader.h"
#include "setup/CalRecord.h"

#include <QByteArray>
#include <QIODevice>
#include <QLocale>
#include <QString>

namespace kelotari {

// A line longer than this is not a certificate's: loading stops there with a read failure.
// It is the line reader's cap, so every number a meter can send reads back; an edit field's
// text (at most 32767 characters) fits too.
constexpr int kMaxCertLine = LineReader::kMaxLine;

// The single decimal separator of a locale ("." where it has none of one character).
char certDecimalPoint(const QLocale& regional);

// The whole file. The number and the name are single-byte text; a CR or LF in either is
// written as a space, so the file always has its nine lines in their places.
QByteArray certificateFileContent(const CalRecord& record, const QString& handlerName,
                                  const QLocale& regional = QLocale::system());

// Writes the file safely: on failure an existing file is left as it was.
WriteOutcome saveCertificate(const QString& fileName, const CalRecord& record,
                             const QString& handlerName,
                             const QLocale& regional = QLocale::system());

struct CertLoadResult {
    bool ok = false;
    // 0 when the file could not be opened (or is no regular file); else the line (1..9) at
    // which reading or converting failed. 0 when ok.
    int failedLine = 0;
    bool nameRead = false; // line 2 was read: handlerName holds it
    explicit operator bool() const { return ok; }
};

// Reads a certificate into the record line by line: line 1 into CertNumber, line 2 into
// handlerName, lines 3..9 converted into slots 1..7. A missing line reads as empty, and an
// empty or foreign number line fails to convert. Reading stops at the first failure; what was
// read before it stays. Lines after the ninth are not read. CR LF or LF ends a line; a CR
// before anything but LF is dropped. OffsetRaw is left alone.
CertLoadResult loadCertificate(const QString& fileName, CalRecord& record, QString& handlerName,
                               const QLocale& regional = QLocale::system());
// The same from an open device (a read error of the device fails the line being read).
CertLoadResult loadCertificate(QIODevice& device, CalRecord& record, QString& handlerName,
                               const QLocale& regional = QLocale::system());

// What Save As proposes: dataPath + the certificate number + ".cal", the number made into a
// name every file system takes (characters other than letters, digits, '-', '_', '.' and
// space become '_', at most 64 of them; "_" when nothing is left). The time-out marker of a
// silent meter thus gives "_.cal".
QString proposedCertFileName(const QString& dataPath, const QByteArray& certNumber,
                             const QString& extension = QStringLiteral(".cal"));

} // namespace kelotari
