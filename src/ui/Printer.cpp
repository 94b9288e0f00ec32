#include "Printer.h"

#include "QtPageCanvas.h"
#include "files/SafeWrite.h"
#include "print/PacketReports.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryFile>

namespace kelotari {

namespace {

void setUpJob(QPrinter& printer) {
    printer.setDocName(kDocumentTitle);
    printer.setPageOrientation(QPageLayout::Portrait);
}

std::unique_ptr<QPrinter> pdfPrinter(Dialogs& dialogs, const PrintRequest& request,
                                     bool& cancelled) {
    const QString name = dialogs.chooseSaveFileName(request.dialogTitle, request.pdfFileProposal,
                                                    QStringLiteral("PDF files (*.pdf *.PDF)"),
                                                    QStringLiteral("pdf"));
    if (name.isEmpty() ||
        (QFileInfo::exists(name) &&
         !dialogs.askYesNo(QStringLiteral("Confirm"), request.fileExistsQuestion))) {
        cancelled = true;
        return nullptr;
    }
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setResolution(kPdfResolution);
    printer->setOutputFileName(name);
    const bool letter = QLocale::system().measurementSystem() == QLocale::ImperialUSSystem;
    printer->setPageSize(QPageSize(letter ? QPageSize::Letter : QPageSize::A4));
    // The unprintable border of a typical laser printer, so the page looks like its output.
    printer->setPageMargins(QMarginsF(6.35, 6.35, 6.35, 6.35), QPageLayout::Millimeter);
    setUpJob(*printer);
    return printer;
}

// A whole PDF: its cross-reference table stands where the trailer says and the file ends with
// the end mark. A PDF cut short by a full disk fails one of the two.
bool isCompletePdf(const QByteArray& pdf) {
    if (!pdf.trimmed().endsWith("%%EOF"))
        return false;
    const qsizetype at = pdf.lastIndexOf("startxref");
    if (at < 0)
        return false;
    bool ok = false;
    const qlonglong offset =
        pdf.mid(at + 9, 24).trimmed().split('\n').value(0).trimmed().toLongLong(&ok);
    return ok && offset >= 0 && offset < pdf.size() && pdf.mid(offset, 4) == "xref";
}

// The PDF engine writes straight into its file and does not say when a write fails. So the
// document is made in a temporary file beside the chosen one, checked, and only then put in
// place as every other file is: a full disk fails the print and leaves an older file whole.
PrintResult printPdf(QPrinter& printer, const QFont& font,
                     const std::function<bool(PageCanvas&)>& layout) {
    const QString target = printer.outputFileName();
    // A short name of its own: the chosen name may already be as long as a name can be.
    QTemporaryFile scratch(
        QFileInfo(target).absoluteDir().filePath(QStringLiteral(".kelotari-print-XXXXXX")));
    if (!scratch.open())
        return PrintResult::Failed;
    scratch.close(); // the printer writes it by name; the object removes it afterwards
    printer.setOutputFileName(scratch.fileName());
    {
        QtPageCanvas canvas(printer, font);
        if (!layout(canvas))
            return PrintResult::Failed;
    }
    QFile made(scratch.fileName());
    if (!made.open(QIODevice::ReadOnly))
        return PrintResult::Failed;
    const QByteArray pdf = made.readAll();
    if (made.error() != QFileDevice::NoError || !isCompletePdf(pdf))
        return PrintResult::Failed;
    return writeFileSafely(target, pdf) ? PrintResult::Printed : PrintResult::Failed;
}

} // namespace

QStringList availablePrinterNames() {
    QStringList names = QPrinterInfo::availablePrinterNames();
    names.removeAll(kPdfPrinterName);
    names << kPdfPrinterName;
    return names;
}

std::unique_ptr<QPrinter> openPrinter(Dialogs& dialogs, const PrintRequest& request,
                                      bool& cancelled) {
    cancelled = false;
    if (request.printerName == kPdfPrinterName)
        return pdfPrinter(dialogs, request, cancelled);
    QPrinterInfo info = QPrinterInfo::printerInfo(request.printerName);
    if (info.isNull())
        info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return nullptr;
    auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    if (!printer->isValid())
        return nullptr;
    setUpJob(*printer);
    return printer;
}

PrintResult printDocument(Dialogs& dialogs, const PrintRequest& request,
                          const std::function<bool(PageCanvas&)>& layout) {
    bool cancelled = false;
    const std::unique_ptr<QPrinter> printer = openPrinter(dialogs, request, cancelled);
    if (cancelled)
        return PrintResult::Cancelled;
    if (!printer)
        return PrintResult::Failed;
    if (printer->outputFormat() == QPrinter::PdfFormat)
        return printPdf(*printer, request.font, layout);
    QtPageCanvas canvas(*printer, request.font);
    return layout(canvas) ? PrintResult::Printed : PrintResult::Failed;
}

} // namespace kelotari
