#include "CertPrinter.h"

#include "PlainFont.h"
#include "Printer.h"
#include "setup/CertFile.h"

namespace kelotari {

QFont certificateFont(const QString& face) {
    QFont f(face);
    f.setPointSize(kCertFontPoints);
    return plainFont(f);
}

CertPrintOutcome printCertificateJob(Dialogs& dialogs, const CertPrintJob& job,
                                     const CalRecord& record, CertLanguage language) {
    const PrintRequest request{
        job.printerName,
        proposedCertFileName(job.dataPath, record.CertNumber, QStringLiteral(".pdf")),
        job.dialogTitle, job.fileExistsMsg, certificateFont(job.fontFace)};
    const PrintResult result = printDocument(dialogs, request, [&](PageCanvas& canvas) {
        return printCertificate(canvas, record, job.handlerName, language, job.now);
    });
    switch (result) {
    case PrintResult::Printed:
        return CertPrintOutcome::Printed;
    case PrintResult::Cancelled:
        return CertPrintOutcome::Cancelled;
    case PrintResult::Failed:
        break;
    }
    return CertPrintOutcome::Failed;
}

} // namespace kelotari
