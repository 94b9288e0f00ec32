// Export of the packet table for spreadsheets: a typed workbook (.xlsx) or CSV.
#include "main_frm.h"

#include "PlainText.h"

#include <QAction>

namespace kelotari {

bool TMainFrm::exportCsvAvailable() const {
    // A download empties the table before it counts the packets: nothing to export meanwhile.
    return !m_gate.busy() && m_commands->exportAvailable();
}

void TMainFrm::ExportCsvClick() {
    if (exportCsvAvailable())
        m_commands->exportSheet(shownCaption(m_exportCsv->text()));
}

} // namespace kelotari
