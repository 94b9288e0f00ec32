#pragma once
// The main window's file commands as core code over the window's state, its view and the
// program's dialogs: the save question, Save, loading a data file, deleting one from the
// file panel and the export for spreadsheets. The window's handlers call these and little
// more; the end of a download is here too, since it is the window's state it changes.
#include "app/MainState.h"
#include "app/MainView.h"
#include "lang/MainTexts.h"
#include "meter/Download.h"

#include <QDate>
#include <QString>

#include <functional>

namespace kelotari {

class Dialogs;

// The end of a download: puts its outcome into the window's state and returns the message to
// show (empty: none). PacketCount becomes the packets that arrived whole; Unsaved becomes true
// after a complete download, and after any other end that wrote rows, so what arrived can be
// saved. A port failure shows the time-out message with the port's text (and advice) below it.
QString finishDownload(const DownloadResult& result, MainState& state, const QString& timeoutMsg);

class MainCommands {
public:
    // The texts are read at each use: the window replaces them when it applies its language.
    MainCommands(MainState& state, const MainTexts& texts, Dialogs& dialogs, MainView& view);

    // Today's date for the proposed names (the system's unless a test says).
    void setToday(std::function<QDate()> today) { m_today = std::move(today); }

    // The save question: no when nothing is unsaved; Yes leaves Unsaved true, any other
    // answer clears it.
    bool askSaveQuestion();
    // The save question followed by Save on Yes. False when the caller must stop: the user
    // said Yes but the table was not saved (dialog cancelled, overwrite refused, write failed).
    bool saveQuestionAndSave(const QString& saveTitle);
    // Save: does nothing (true) while nothing is unsaved; else the save dialog titled
    // `title`, proposing DataPath + ddmmyy.DAT, then writeDataFile. True when the table is
    // saved afterwards.
    bool saveAs(const QString& title);
    // Writes rows 1..count as a data file, after the overwrite question when the name exists.
    // Written whole or not at all: a failure shows SaveErrorMsg and leaves any old file and
    // Unsaved as they were. True when written.
    bool writeDataFile(const QString& fileName, int count);
    // A double click in the file list: only a name ending in .DAT (any case); the save
    // question first, and on Yes Save instead of the load (the next double click loads).
    void openDataFile(const QString& fileName, const QString& saveTitle);
    // Loads a data file into the table; a file that cannot be opened leaves the table as it is.
    void loadDataFile(const QString& fileName);
    // Removes the file selected in the file list, without a question, and refreshes the list.
    void deleteSelectedFile();

    // Whether there is something to export (packets in the table).
    bool exportAvailable() const { return m_state.PacketCount > 0; }
    // The export for spreadsheets: the save dialog titled `title` offers the workbook and
    // CSV; the kind follows a typed .csv or .xlsx, else the filter picked. The table and the
    // data files stay as they are.
    void exportSheet(const QString& title);

private:
    void showBox(const QString& text);

    MainState& m_state;
    const MainTexts& m_texts;
    Dialogs& m_dialogs;
    MainView& m_view;
    std::function<QDate()> m_today = [] { return QDate::currentDate(); };
};

} // namespace kelotari
