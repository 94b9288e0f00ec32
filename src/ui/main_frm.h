#pragma once
// The main window: toolbar, packet grid, file panel and chart, and the commands behind them.
#include "Printer.h"
#include "app/MainCommands.h"
#include "app/MainState.h"
#include "app/SettingsFile.h"
#include "base/Dialogs.h"
#include "lang/MainTexts.h"
#include "meter/ConversationGate.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class QAction;
class QGroupBox;
class QMenu;
class QTimer;
class QToolButton;

namespace kelotari {

class FilePanel;
class HistogramChart;
class PacketGrid;
class PacketModel;
class TSetupfrm;

// Where the window finds its files and how it talks to the user.
struct MainFrmEnv {
    MainFrmEnv() = default;
    MainFrmEnv(QString settings, QString language, Dialogs* d, int tick = 1000,
               QString userCopy = QString())
        : settingsFile(std::move(settings)), languageFile(std::move(language)), dialogs(d),
          tickMs(tick), settingsUserCopy(std::move(userCopy)) {}

    QString settingsFile; // the settings file beside the program
    QString languageFile; // the language file to read once at start; may be missing
    Dialogs* dialogs = nullptr;
    int tickMs = 1000;        // period of the countdown timer
    QString settingsUserCopy; // the per-user copy standing in for settingsFile; empty: none
    bool installed = false;   // installed layout: settings written only to settingsUserCopy
};

// Files beside the executable, with copies in the per-user configuration folder standing in:
// a copy there is read first. Quit writes the settings to the per-user copy (made then) in an
// installed layout; in the portable one back where they were read when that can be written,
// else to the per-user copy. Nothing is written at start (see ConfigLocation).
MainFrmEnv defaultEnvironment(Dialogs* dialogs);
MainFrmEnv environmentFor(const QString& executablePath, const QString& userConfigDir,
                          Dialogs* dialogs);

class TMainFrm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainFrm(const MainFrmEnv& env, QWidget* parent = nullptr);
    ~TMainFrm() override;

    MainState& state() { return m_state; }
    const MainTexts& texts() const { return m_texts; }
    FilePanel* filePanel() const { return m_filePanel; }
    PacketGrid* grid() const { return m_grid; }
    HistogramChart* chart() const { return m_chart; }
    int countdown() const { return m_countdown; }
    const MainFrmEnv& environment() const { return m_env; }
    Dialogs& dialogs() { return m_dialogs; }
    // The setup dialog, created after the window, which owns it from then on (the dialog
    // hands itself over when it is made) and deletes it while its own state still exists.
    void adoptSetupForm(TSetupfrm* form);
    TSetupfrm* setupForm() const { return m_setupFrm.get(); }

    // The file commands (see MainCommands) with this window's captions.
    bool askSaveQuestion();
    bool saveQuestionAndSave();

    // Toolbar and menu commands.
    bool SaveAs_btnClick(); // true when the table is saved afterwards (or nothing to save)
    bool WriteDataFile(const QString& fileName, int count);
    void tyo_quitClick();
    void tyo_setupClick();
    void Transfer_btnClick();
    void Clear_btnClick();
    void FileListBoxClick(const QString& fileName);
    void ImportdatafileClick(const QString& fileName);
    void WDeletefileClick();
    void Delete1Click();
    void PrintselectedClick();
    void PrintAllClick();
    void ExportCsvClick(); // the packets as a spreadsheet file
    bool exportCsvAvailable() const;
    void filecontentSelectCell(int col, int row);
    void UpdateHistogram(int row);
    // A document that went to a print queue: says so in the status bar, and that the queue is
    // stopped or its printer does not answer when the scheduler reports it.
    void notePrintOutcome(const PrintOutcome& outcome);

    // A conversation with the meter: while one runs, commands that would change the table or
    // the port are disabled; Quit and closing the window cancel it and go on once it unwound.
    bool conversationActive() const { return m_gate.busy(); }
    void beginConversation(std::function<void()> cancel);
    void endConversation();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate();
    ConfigLocation settingsLocation() const;
    void ApplyLanguage();
    void buildUi();
    void updateCommandStates();
    void showBox(const QString& text);
    QString saveTitle() const; // the save dialog's title: Save's caption
    void MtimerTimer();
    // Quit or close: documents still on their way to a print queue get a few seconds.
    void waitForPrints();
    // Runs a command; a failure nobody handled goes to the last-resort error box.
    template <class F> bool guarded(F&& f);

    MainFrmEnv m_env;
    Dialogs& m_dialogs;
    MainState m_state;
    MainTexts m_texts;
    int m_countdown = 0;

    QToolButton* m_setupBtn = nullptr;
    QToolButton* m_transferBtn = nullptr;
    QToolButton* m_clearBtn = nullptr;
    QToolButton* m_saveBtn = nullptr;
    QToolButton* m_quitBtn = nullptr;
    QGroupBox* m_packetGrp = nullptr;
    QGroupBox* m_filesGrp = nullptr;
    PacketGrid* m_grid = nullptr;
    PacketModel* m_model = nullptr;
    FilePanel* m_filePanel = nullptr;
    HistogramChart* m_chart = nullptr;
    QMenu* m_gridPopup = nullptr;
    QMenu* m_filePopup = nullptr;
    QAction* m_delete1 = nullptr;
    QAction* m_printSelected = nullptr;
    QAction* m_printAll = nullptr;
    QAction* m_exportCsv = nullptr;
    QAction* m_wDeleteFile = nullptr;
    QTimer* m_timer = nullptr;

    ConversationGate m_gate;
    bool m_closing = false;

    std::unique_ptr<TSetupfrm> m_setupFrm;

    class FilesView;
    std::unique_ptr<FilesView> m_filesView;
    std::unique_ptr<MainCommands> m_commands;

    // --- meter link: members used by the download and memory clear ---
    // The window's serial port: closed between conversations, "COM1" until one assigns
    // PortName. Held through a pointer so this header needs no serial include.
    static std::shared_ptr<class TComPort> createComPort();
    std::shared_ptr<class TComPort> MComPort = createComPort();

    // --- printing: members used by the chart and the reports ---
    void startPrint(DocumentPrinter& printer, QAction* command, const PrintRequest& request,
                    DocumentPrinter::Layout layout);
    // One per report, so either report can be on its way while the other is printed.
    DocumentPrinter* m_selectedPrinter = new DocumentPrinter(this);
    DocumentPrinter* m_allPrinter = new DocumentPrinter(this);
};

} // namespace kelotari
