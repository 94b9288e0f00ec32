#pragma once
// Choosing the printer a document goes to and running a page layout on it.
#include "base/Dialogs.h"
#include "print/PageCanvas.h"

#include <QFont>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QPrinter;

namespace kelotari {

// The printer name that prints to a PDF file instead of paper. It wins over an installed
// printer of the same name (cups-pdf installs one called "PDF").
inline const QString kPdfPrinterName = QStringLiteral("PDF");
// Resolution of the PDF printer, so device positions look as on a laser printer.
constexpr int kPdfResolution = 600;

// The names the printer selector offers: the installed printers in the system's order, then
// the PDF printer.
QStringList availablePrinterNames();

struct PrintRequest {
    QString printerName;        // PrinterName
    QString pdfFileProposal;    // what the save dialog proposes for a PDF
    QString dialogTitle;        // title of that save dialog
    QString fileExistsQuestion; // asked before an existing PDF is overwritten
    QFont font;                 // the document's font
};

enum class PrintResult { Printed, Cancelled, Failed };

// The printer for a request: "PDF" gives a PDF printer writing the file the user chooses
// (null when the dialog is cancelled or overwriting refused: `cancelled` is set); any other
// name the installed printer of that name, else the system default printer; null with
// `cancelled` false when there is none. Title "Kelotari", portrait.
std::unique_ptr<QPrinter> openPrinter(Dialogs& dialogs, const PrintRequest& request,
                                      bool& cancelled);

// Opens the printer and runs the layout on it. Failed covers no printer at all and any
// failure of the printer while the document is built.
PrintResult printDocument(Dialogs& dialogs, const PrintRequest& request,
                          const std::function<bool(PageCanvas&)>& layout);

} // namespace kelotari
