// Export of the packet table for spreadsheets.
#include "main_frm.h"

#include "PlainText.h"

#include "packets/CsvExport.h"

#include <QAction>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace kelotari {

bool TMainFrm::exportCsvAvailable() const {
    // A download empties the table before it counts the packets: nothing to export meanwhile.
    return !m_busy && m_state.PacketCount > 0;
}

void TMainFrm::ExportCsvClick() {
    if (!exportCsvAvailable())
        return;
    const QString proposed = proposedCsvFileName(m_state.settings.DataPath, QDate::currentDate());
    const QString name =
        m_dialogs.chooseSaveFileName(shownCaption(m_exportCsv->text()), proposed,
                                     QStringLiteral("CSV files (*.csv)"), QStringLiteral("csv"));
    if (name.isEmpty())
        return;
    if (QFileInfo::exists(name) &&
        !m_dialogs.askYesNo(QStringLiteral("Confirm"), m_texts.FileExistsMsg))
        return;
    // Read-only on the table: Unsaved, PacketCount and the data files stay as they are.
    // Numbers follow the user's regional settings (the default locale is the system's).
    const WriteOutcome out = writeCsvFile(name, m_state.table, m_state.PacketCount, QLocale());
    if (!out)
        showBox(m_texts.SaveErrorMsg + QLatin1Char('\r') + QDir::toNativeSeparators(name) +
                QStringLiteral(": ") + out.error);
}

} // namespace kelotari
