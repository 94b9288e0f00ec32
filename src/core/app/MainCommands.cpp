#include "app/MainCommands.h"

#include "base/Dialogs.h"
#include "files/FileEntry.h"
#include "files/FileNames.h"
#include "files/SafeWrite.h"
#include "packets/CsvExport.h"
#include "packets/DataFile.h"
#include "packets/XlsxExport.h"

#include <QDir>
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
    const QString proposed =
        proposedExportFileName(m_state.settings.DataPath, m_today(), QStringLiteral("xlsx"));
    QString filter;
    QString name = m_dialogs.chooseSaveFileName(title, proposed,
                                                kWorkbookFilter + QStringLiteral(";;") + kCsvFilter,
                                                QStringLiteral("xlsx"), &filter);
    if (name.isEmpty())
        return;
    const bool csv = wantsCsv(name, filter);
    // A name typed without any extension gets the one of its kind.
    if (QFileInfo(name).suffix().isEmpty() && !name.endsWith(QLatin1Char('/')))
        name += csv ? QStringLiteral(".csv") : QStringLiteral(".xlsx");
    if (!confirmOverwrite(m_dialogs, name, m_texts.FileExistsMsg))
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
