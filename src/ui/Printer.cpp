#include "Printer.h"

#include "QtPageCanvas.h"
#include "print/PacketReports.h"

#include <QFileInfo>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>

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
    QtPageCanvas canvas(*printer, request.font);
    return layout(canvas) ? PrintResult::Printed : PrintResult::Failed;
}

} // namespace kelotari
