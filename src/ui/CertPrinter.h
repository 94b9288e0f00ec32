#pragma once
// The calibration certificate on paper or as a PDF file, through the same printer choice as
// the packet reports.
#include "Printer.h"
#include "base/Dialogs.h"
#include "setup/CalRecord.h"
#include "setup/CalibrationTest.h"
#include "setup/CertLayout.h"

#include <QDateTime>
#include <QFont>
#include <QString>

#include <functional>

namespace kelotari {

// The certificate's point size: the setup dialog's font size.
constexpr int kCertFontPoints = 10;

struct CertPrintJob {
    QString printerName;   // PrinterName: an installed printer, "PDF", else the default
    QString fontFace;      // the setup dialog's font face (UiFontName)
    QString dataPath;      // where the PDF file name is proposed
    QString dialogTitle;   // title of the PDF save dialog (cert_print's caption)
    QString fileExistsMsg; // asked before an existing PDF is replaced
    QString handlerName;   // the text of certedit at printing time
    QDateTime now = QDateTime::currentDateTime();
};

// The font the certificate prints in: the face at 10 points, plain.
QFont certificateFont(const QString& face);

// Prints one certificate through `printer` (the record and the job are copied: the dialog may
// change them while a queue is asked). Shows no message itself: `done` gets Failed for no
// printer, a printer that did not answer in time, or a failure while the document was built
// (the caller shows the certificate's own failure text). False, and `done` not called, while
// the printer has a document on its way.
bool printCertificateJob(DocumentPrinter& printer, Dialogs& dialogs, const CertPrintJob& job,
                         const CalRecord& record, CertLanguage language,
                         const std::function<void(const PrintOutcome&)>& done);
// What the calibration test makes of a print's outcome.
CertPrintOutcome certPrintOutcome(const PrintOutcome& outcome);

} // namespace kelotari
