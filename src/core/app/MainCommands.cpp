#include "app/MainCommands.h"

#include "base/Dialogs.h"
#include "files/FileEntry.h"
#include "files/FileNames.h"
#include "files/SafeWrite.h"
#include "packets/CsvExport.h"
#include "packets/DataFile.h"
#include "packets/ExportName.h"
#include "packets/XlsxExport.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

namespace kelotari {

QString finishDownload(const DownloadResult& result, MainState& state, const QString& timeoutMsg) {
    state.PacketCount = result.packets;
    if (result.end == DownloadResult::End::Complete || result.rowsWritten)
        state.Unsaved = true;

    switch (result.end) {
    case DownloadResult::End::Complete:
    case DownloadResult::End::Cancelled:
        return {};
    case DownloadResult::End::TimedOut:
        return timeoutMsg;
    case DownloadResult::End::Failed:
        break;
    }
    return withAdvice(timeoutMsg + QLatin1Char('\r') + result.failure, result.advice);
}

namespace {

const QString kBoxTitle = QStringLiteral("Kelotari");
// The two kinds of file an export writes, as its save dialog offers them.
const QString kWorkbookFilter = QStringLiteral("Excel workbook (*.xlsx)");
const QString kCsvFilter = QStringLiteral("CSV (*.csv)");

} // namespace

MainCommands::MainCommands(MainState& state, const MainTexts& texts, Dialogs& dialogs,
                           MainView& view)
    : m_state(state), m_texts(texts), m_dialogs(dialogs), m_view(view) {}

void MainCommands::showBox(const QString& text) {
    m_dialogs.showMessage(kBoxTitle, text, Dialogs::Icon::None);
}

bool MainCommands::askSaveQuestion() {
    if (!m_state.Unsaved)
        return false;
    if (m_dialogs.askYesNo(QStringLiteral("Confirm"), m_texts.AskSaveMsg))
        return true;
    m_state.Unsaved = false;
    return false;
}

bool MainCommands::saveQuestionAndSave(const QString& saveTitle) {
    if (!askSaveQuestion())
        return true;
    return saveAs(saveTitle) && !m_state.Unsaved;
}

bool MainCommands::saveAs(const QString& title) {
    if (!m_state.Unsaved)
        return true;
    const QString name = m_dialogs.chooseSaveFileName(
        title, proposedDataFileName(m_state.settings.DataPath, m_today()),
        QStringLiteral("Data files (*.dat *.DAT)"), QStringLiteral("DAT"));
    if (name.isEmpty())
        return false;
    return writeDataFile(name, m_state.PacketCount);
}

bool MainCommands::writeDataFile(const QString& fileName, int count) {
    if (!confirmOverwrite(m_dialogs, fileName, m_texts.FileExistsMsg))
        return false;
    // Written whole to a temporary file and renamed over the target: a failure leaves any
    // existing file as it was, and the packets stay unsaved.
    if (!writeFileSafely(fileName, serializeDataFile(m_state.table, count))) {
        showBox(m_texts.SaveErrorMsg);
        return false;
    }
    m_view.refreshFileList();
    m_state.Unsaved = false;
    return true;
}

void MainCommands::openDataFile(const QString& fileName, const QString& saveTitle) {
    if (fileName.isEmpty())
        return;
    if (QFileInfo(fileName).suffix().compare(QStringLiteral("DAT"), Qt::CaseInsensitive) != 0)
        return;
    if (askSaveQuestion()) {
        saveAs(saveTitle); // the file is loaded by the next double click
        return;
    }
    loadDataFile(fileName);
}

void MainCommands::loadDataFile(const QString& fileName) {
    // A file that cannot be opened (deleted since it was listed, or not a regular file at all)
    // leaves the table as it is. The open never waits, whatever the name stands for.
    QFile f;
    if (const int err = openDataFileForReading(f, fileName)) {
        showBox(m_texts.LoadErrorMsg + QStringLiteral(" ERR:") + QString::number(err));
        return;
    }
    m_state.table.ClearTable();
    // A row selected in the table being replaced is nobody's selection in the loaded one:
    // Delete and Print selected act on nothing until the user selects again.
    m_state.SelRow = -1;
    m_view.clearGridSelection();
    const LoadResult r = kelotari::loadDataFile(f, m_state.table);
    m_state.PacketCount = r.packetCount;
    if (!r.ok)
        showBox(m_texts.LoadErrorMsg + QStringLiteral(" ERR:") + QString::number(r.errorNumber));
    else if (r.moreBlocks)
        showBox(m_texts.program.TooManyPackets.arg(displayFileName(QFileInfo(fileName).fileName()),
                                                   QString::number(kMaxPackets)));
}

void MainCommands::deleteSelectedFile() {
    // By the name's bytes: a name that is not UTF-8 is removed as listed, never another. A
    // failure to delete is not reported; the list shows what is there.
    removeFileEntry(m_view.selectedFile());
    m_view.refreshFileList();
}

void MainCommands::exportSheet(const QString& title) {
    if (!exportAvailable())
        return;
    const QString workbook = exportSuffix(ExportKind::Workbook);
    const QString proposed = proposedExportFileName(m_state.settings.DataPath, m_today(), workbook);
    QString filter;
    const QString chosen = m_dialogs.chooseSaveFileName(
        title, proposed, kWorkbookFilter + QStringLiteral(";;") + kCsvFilter, workbook, &filter);
    if (chosen.isEmpty())
        return;
    const ExportTarget target =
        exportTarget(chosen, filter == kCsvFilter ? ExportKind::Csv : ExportKind::Workbook);
    if (!confirmOverwrite(m_dialogs, target.fileName, m_texts.FileExistsMsg))
        return;
    // Read-only on the table: Unsaved, PacketCount and the data files stay as they are.
    // CSV numbers follow the user's regional settings (the default locale is the system's).
    const WriteOutcome out =
        target.kind == ExportKind::Csv
            ? writeCsvFile(target.fileName, m_state.table, m_state.PacketCount, QLocale())
            : writeXlsxFile(target.fileName, m_state.table, m_state.PacketCount);
    // The writers' reasons name the file themselves.
    if (!out)
        showBox(m_texts.SaveErrorMsg + QLatin1Char('\r') + out.error);
}

} // namespace kelotari
