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

#include <cmath>

#ifdef KELOTARI_WITH_CUPS
#include <cups/cups.h>
#endif

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

// Runs the layout on a PDF printer writing into `scratch` and reads the finished document
// back; empty when the layout failed or the file is not a whole PDF.
QByteArray makePdf(QPrinter& printer, QTemporaryFile& scratch, const QFont& font,
                   const std::function<bool(PageCanvas&)>& layout) {
    if (!scratch.open())
        return QByteArray();
    scratch.close(); // the printer writes it by name; the object removes it afterwards
    printer.setOutputFileName(scratch.fileName());
    {
        QtPageCanvas canvas(printer, font);
        if (!layout(canvas))
            return QByteArray();
    }
    QFile made(scratch.fileName());
    if (!made.open(QIODevice::ReadOnly))
        return QByteArray();
    const QByteArray pdf = made.readAll();
    if (made.error() != QFileDevice::NoError || !isCompletePdf(pdf))
        return QByteArray();
    return pdf;
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
    const QByteArray pdf = makePdf(printer, scratch, font, layout);
    if (pdf.isEmpty())
        return PrintResult::Failed;
    return writeFileSafely(target, pdf) ? PrintResult::Printed : PrintResult::Failed;
}

#ifdef KELOTARI_WITH_CUPS
// The resolution the queue's driver prints at by default (its printer-resolution-default),
// 0 when the queue does not say. Qt gives every CUPS printer 1200 dots per inch; the reports'
// positions are in the printer's own dots.
int queueResolution(const QString& printerName) {
    const QByteArray queue = printerName.section(QLatin1Char('/'), 0, 0).toUtf8();
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.constData(), nullptr);
    if (!dest)
        return 0;
    int dpi = 0;
    if (cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest)) {
        if (ipp_attribute_t* attr =
                cupsFindDestDefault(CUPS_HTTP_DEFAULT, dest, info, "printer-resolution")) {
            int yres = 0;
            ipp_res_t units = IPP_RES_PER_INCH;
            const int xres = ippGetResolution(attr, 0, &yres, &units);
            if (xres > 0 && xres == yres)
                dpi = units == IPP_RES_PER_CM ? int(std::lround(xres * 2.54)) : xres;
        }
        cupsFreeDestInfo(info);
    }
    cupsFreeDests(1, dest);
    return dpi;
}

// Hands a finished PDF to a CUPS queue and says whether the spooler took it. Qt's own CUPS
// engine drops the spooler's answer, so a queue that rejects jobs, a queue deleted meanwhile
// or a stopped cupsd would all look like a printed report. A name "queue/instance" prints on
// the queue with the options saved for the instance, as lp does.
bool submitToQueue(const QString& printerName, const QByteArray& pdf) {
    const QByteArray queue = printerName.section(QLatin1Char('/'), 0, 0).toUtf8();
    const QByteArray instance = printerName.section(QLatin1Char('/'), 1).toUtf8();
    const QByteArray title = kDocumentTitle.toUtf8();
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.constData(),
                                         instance.isEmpty() ? nullptr : instance.constData());
    if (!dest)
        return false;
    int numOptions = 0;
    cups_option_t* options = nullptr;
    for (int i = 0; i < dest->num_options; ++i)
        numOptions =
            cupsAddOption(dest->options[i].name, dest->options[i].value, numOptions, &options);
    cupsFreeDests(1, dest);
    const int job =
        cupsCreateJob(CUPS_HTTP_DEFAULT, queue.constData(), title.constData(), numOptions, options);
    cupsFreeOptions(numOptions, options);
    if (job <= 0)
        return false; // not accepting jobs, no such queue, no scheduler
    bool sent = cupsStartDocument(CUPS_HTTP_DEFAULT, queue.constData(), job, title.constData(),
                                  CUPS_FORMAT_PDF, 1) == HTTP_STATUS_CONTINUE;
    sent = sent && cupsWriteRequestData(CUPS_HTTP_DEFAULT, pdf.constData(),
                                        static_cast<size_t>(pdf.size())) == HTTP_STATUS_CONTINUE;
    // The finish is read even after a failed write: it ends the request on the connection.
    const ipp_status_t finished = cupsFinishDocument(CUPS_HTTP_DEFAULT, queue.constData());
    if (sent && finished <= IPP_STATUS_OK_EVENTS_COMPLETE)
        return true;
    // A job without its document would wait in the queue for ever.
    cupsCancelJob2(CUPS_HTTP_DEFAULT, queue.constData(), job, 0);
    return false;
}

// An installed printer: the document is made as a PDF with the page the printer reports (its
// paper, printable area and resolution, so the layout's dot positions are the printer's),
// checked whole, and then spooled. Qt's CUPS engine does the same inside, without the checks.
PrintResult printOnQueue(QPrinter& native, const QFont& font,
                         const std::function<bool(PageCanvas&)>& layout) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setResolution(native.resolution());
    printer.setPageLayout(native.pageLayout());
    setUpJob(printer);
    QTemporaryFile scratch(QDir::temp().filePath(QStringLiteral("kelotari-print-XXXXXX.pdf")));
    const QByteArray pdf = makePdf(printer, scratch, font, layout);
    if (pdf.isEmpty())
        return PrintResult::Failed;
    return submitToQueue(native.printerName(), pdf) ? PrintResult::Printed : PrintResult::Failed;
}
#endif

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
#ifdef KELOTARI_WITH_CUPS
    if (const int dpi = queueResolution(printer->printerName()); dpi > 0)
        printer->setResolution(dpi);
#endif
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
#ifdef KELOTARI_WITH_CUPS
    return printOnQueue(*printer, request.font, layout);
#else
    QtPageCanvas canvas(*printer, request.font);
    return layout(canvas) ? PrintResult::Printed : PrintResult::Failed;
#endif
}

} // namespace kelotari
