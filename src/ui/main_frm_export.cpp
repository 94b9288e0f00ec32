// Export of the packet table for spreadsheets: a typed workbook (.xlsx) or CSV.
#include "main_frm.h"

#include "PlainText.h"

#include "packets/CsvExport.h"
#include "packets/XlsxExport.h"

#include <QAction>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace kelotari {

namespace {

const QString kWorkbookFilter = QStringLiteral("Excel workbook (*.xlsx)");
const QString kCsvFilter = QStringLiteral("CSV (*.csv)");

// The kind of file follows the extension the user typed; without one of ours, the filter.
bool wantsCsv(const QString& fileName, const QString& selectedFilter) {
    const QString suffix = QFileInfo(fileName).suffix();
    if (suffix.compare(QStringLiteral("csv"), Qt::CaseInsensitive) == 0)
        return true;
    if (suffix.compare(QStringLiteral("xlsx"), Qt::CaseInsensitive) == 0)
        return false;
    return selectedFilter == kCsvFilter;
}

} // namespace

bool TMainFrm::exportCsvAvailable() const {
    // A download empties the table before it counts the packets: nothing to export meanwhile.
    return !m_gate.busy() && m_state.PacketCount > 0;
}

void TMainFrm::ExportCsvClick() {
    if (!exportCsvAvailable())
        return;
    const QString proposed = proposedExportFileName(m_state.settings.DataPath, QDate::currentDate(),
                                                    QStringLiteral("xlsx"));
    QString filter;
    QString name = m_dialogs.chooseSaveFileName(shownCaption(m_exportCsv->text()), proposed,
                                                kWorkbookFilter + QStringLiteral(";;") + kCsvFilter,
                                                QStringLiteral("xlsx"), &filter);
    if (name.isEmpty())
        return;
    const bool csv = wantsCsv(name, filter);
    // A name typed without any extension gets the one of its kind.
    if (QFileInfo(name).suffix().isEmpty() && !name.endsWith(QLatin1Char('/')))
        name += csv ? QStringLiteral(".csv") : QStringLiteral(".xlsx");
    if (QFileInfo::exists(name) &&
        !m_dialogs.askYesNo(QStringLiteral("Confirm"), m_texts.FileExistsMsg))
        return;
    // Read-only on the table: Unsaved, PacketCount and the data files stay as they are.
    // CSV numbers follow the user's regional settings (the default locale is the system's).
    const WriteOutcome out = csv ? writeCsvFile(name, m_state.table, m_state.PacketCount, QLocale())
                                 : writeXlsxFile(name, m_state.table, m_state.PacketCount);
    if (!out)
        showBox(m_texts.SaveErrorMsg + QLatin1Char('\r') + QDir::toNativeSeparators(name) +
                QStringLiteral(": ") + out.error);
}

} // namespace kelotari
