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
    if (row < 1 || row >= kRows)
        return; // nothing selected
    const PrintRequest request{
        m_state.settings.PrinterName,
        proposedPdfFileName(m_state.settings.DataPath, QDateTime::currentDateTime()),
        shownCaption(m_printSelected->text()), m_texts.FileExistsMsg, reportFont(*this)};
    const PrintResult result = printDocument(m_dialogs, request, [&](PageCanvas& canvas) {
        return printSelectedPacket(canvas, m_state.table, row);
    });
    if (result == PrintResult::Failed)
        showBox(m_texts.PrintErrorMsg);
}

void TMainFrm::PrintAllClick() {
    if (m_state.PacketCount <= 0)
        return;
    const PrintRequest request{
        m_state.settings.PrinterName,
        proposedPdfFileName(m_state.settings.DataPath, QDateTime::currentDateTime()),
        shownCaption(m_printAll->text()), m_texts.FileExistsMsg, reportFont(*this)};
    const QString fileName = QDir::toNativeSeparators(displayFileName(m_filePanel->selectedFile()));
    const PrintResult result = printDocument(m_dialogs, request, [&](PageCanvas& canvas) {
        return printPacketList(canvas, m_state.table, m_state.PacketCount, fileName);
    });
    if (result == PrintResult::Failed)
        showBox(m_texts.PrintErrorMsg);
}

} // namespace kelotari
