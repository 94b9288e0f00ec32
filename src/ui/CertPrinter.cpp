#include "CertPrinter.h"

#include "PlainFont.h"
#include "setup/CertFile.h"

namespace kelotari {

QFont certificateFont(const QString& face) {
    QFont f(face);
    f.setPointSize(kCertFontPoints);
    return plainFont(f);
}

bool printCertificateJob(DocumentPrinter& printer, Dialogs& dialogs, const CertPrintJob& job,
                         const CalRecord& record, CertLanguage language,
                         const std::function<void(const PrintOutcome&)>& done) {
    const PrintRequest request{
        job.printerName,
        proposedCertFileName(job.dataPath, record.CertNumber, QStringLiteral(".pdf")),
        job.dialogTitle, job.fileExistsMsg, certificateFont(job.fontFace)};
    return printer.print(
        dialogs, request,
        [record, handler = job.handlerName, language, now = job.now](PageCanvas& canvas) {
            return printCertificate(canvas, record, handler, language, now);
        },
        done);
}

CertPrintOutcome certPrintOutcome(const PrintOutcome& outcome) {
    return outcome.result;
}

} // namespace kelotari
