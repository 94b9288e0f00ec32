// The moisture chart and the packet reports of the main window.
#include "main_frm.h"

#include "FilePanel.h"
#include "HistogramChart.h"
#include "PlainFont.h"
#include "PlainText.h"
#include "Printer.h"
#include "files/FileNames.h"
#include "packets/Histogram.h"
#include "print/PacketReports.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QPointer>
#include <QStatusBar>

#include <cmath>

namespace kelotari {

namespace {

// The reports print in the window font's face and point size. A font sized in pixels is
// converted at the screen's resolution and rounded to whole points, as a font dialog shows it.
QFont reportFont(const QWidget& window) {
    const QFont windowFont = window.font();
    qreal points = windowFont.pointSizeF();
    if (points <= 0)
        points = windowFont.pixelSize() * 72.0 / std::max(1, window.logicalDpiY());
    QFont f(windowFont.family());
    f.setPointSize(std::max(1, static_cast<int>(std::lround(points))));
    return plainFont(f);
}

} // namespace

void TMainFrm::UpdateHistogram(int row) {
    m_chart->setBars(histogramOfRow(m_state.table, row));
}

void TMainFrm::PrintselectedClick() {
    const int row = m_state.SelRow;
    if (row < 1 || row >= kRows || m_selectedPrinter->busy())
        return; // nothing selected, or this report is still on its way
    const PrintRequest request{
        m_state.settings.PrinterName,
        proposedPdfFileName(m_state.settings.DataPath, QDateTime::currentDateTime()),
        shownCaption(m_printSelected->text()), m_texts.FileExistsMsg, reportFont(*this)};
    // The report prints the table as it is now, whatever happens to it while a queue answers.
    startPrint(*m_selectedPrinter, m_printSelected, request,
               [table = m_state.table, row](PageCanvas& canvas) {
                   return printSelectedPacket(canvas, table, row);
               });
}

void TMainFrm::PrintAllClick() {
    if (m_state.PacketCount <= 0 || m_allPrinter->busy())
        return;
    const PrintRequest request{
        m_state.settings.PrinterName,
        proposedPdfFileName(m_state.settings.DataPath, QDateTime::currentDateTime()),
        shownCaption(m_printAll->text()), m_texts.FileExistsMsg, reportFont(*this)};
    const QString fileName = QDir::toNativeSeparators(displayFileName(m_filePanel->selectedFile()));
    startPrint(*m_allPrinter, m_printAll, request,
               [table = m_state.table, count = m_state.PacketCount, fileName](PageCanvas& canvas) {
                   return printPacketList(canvas, table, count, fileName);
               });
}

void TMainFrm::startPrint(DocumentPrinter& printer, QAction* command, const PrintRequest& request,
                          DocumentPrinter::Layout layout) {
    // The command waits for its outcome; a second press meanwhile would print twice.
    command->setEnabled(false);
    QPointer<QAction> guard(command);
    const bool toQueue = request.printerName != kPdfPrinterName;
    if (toQueue)
        statusBar()->showMessage(m_texts.program.PrintSending);
    printer.print(m_dialogs, request, std::move(layout),
                  [this, guard, toQueue](const PrintOutcome& outcome) {
                      if (toQueue)
                          statusBar()->clearMessage();
                      notePrintOutcome(outcome);
                      if (outcome.result == PrintResult::Failed)
                          showBox(m_texts.PrintErrorMsg);
                      if (guard) // once the failure box has gone
                          guard->setEnabled(true);
                  });
}

void TMainFrm::notePrintOutcome(const PrintOutcome& outcome) {
    if (outcome.result != PrintResult::Printed || outcome.queue.isEmpty())
        return; // a PDF file, or a failure (its box says so)
    const ProgramTexts& t = m_texts.program;
    switch (outcome.condition) {
    case QueueCondition::Stopped:
        return statusBar()->showMessage(t.PrintQueueStopped.arg(outcome.queue));
    case QueueCondition::NotAnswering:
        return statusBar()->showMessage(t.PrintPrinterNotAnswering.arg(outcome.queue));
    case QueueCondition::Ready:
    case QueueCondition::Unknown:
        break;
    }
    statusBar()->showMessage(t.PrintQueued.arg(outcome.queue));
}

} // namespace kelotari
