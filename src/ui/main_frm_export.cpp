// Export of the packet table for spreadsheets: a typed workbook (.xlsx) or CSV.
#include "main_frm.h"

#include "PlainText.h"

#include "packets/CsvExport.h"
#include "packets/ExportName.h"
#include "packets/XlsxExport.h"

#include <QAction>
#include <QDate>
#include <QFileInfo>
#include <QLocale>

namespace kelotari {

namespace {

const QString kWorkbookFilter = QStringLiteral("Excel workbook (*.xlsx)");
const QString kCsvFilter = QStringLiteral("CSV (*.csv)");

} // namespace

bool TMainFrm::exportCsvAvailable() const {
    // A download empties the table before it counts the packets: nothing to export meanwhile.
    return !m_busy && m_state.PacketCount > 0;
}

void TMainFrm::ExportCsvClick() {
    if (!exportCsvAvailable())
        return;
    const QString proposed = proposedExportFileName(m_state.settings.DataPath, QDate::currentDate(),
                                                    exportSuffix(ExportKind::Workbook));
    QString filter;
    const QString chosen =
        m_dialogs.chooseSaveFileName(shownCaption(m_exportCsv->text()), proposed,
                                     kWorkbookFilter + QStringLiteral(";;") + kCsvFilter,
                                     exportSuffix(ExportKind::Workbook), &filter);
    if (chosen.isEmpty())
        return;
    const ExportTarget target =
        exportTarget(chosen, filter == kCsvFilter ? ExportKind::Csv : ExportKind::Workbook);
    const QString& name = target.fileName;
    const bool csv = target.kind == ExportKind::Csv;
    if (QFileInfo::exists(name) &&
        !m_dialogs.askYesNo(QStringLiteral("Confirm"), m_texts.FileExistsMsg))
        return;
    // Read-only on the table: Unsaved, PacketCount and the data files stay as they are.
    // CSV numbers follow the user's regional settings (the default locale is the system's).
    const WriteOutcome out = csv ? writeCsvFile(name, m_state.table, m_state.PacketCount, QLocale())
                                 : writeXlsxFile(name, m_state.table, m_state.PacketCount);
    // The writers' reasons name the file themselves.
    if (!out)
        showBox(m_texts.SaveErrorMsg + QLatin1Char('\r') + out.error);
}

} // namespace kelotari
