#pragma once
// The setup dialog: data folder, serial port and printer for the main window, the program
// information, the meter's identity, and the certificate controls of the calibration test.
// Created hidden right after the main window, kept until exit, shown modally by Setup.
#include "ComPort.h"
#include "PortList.h"
#include "meter/ConversationGate.h"
#include "setup/CalibrationTest.h"
#include "setup/SetupTexts.h"

#include <QDialog>

#include <functional>
#include <memory>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace kelotari {

class Dialogs;
class DocumentPrinter;
class PrinterList;
class PortWatcher;
class QtMeterLink;
class TComComboBox;
class TMainFrm;

class TSetupfrm : public QDialog {
    Q_OBJECT
public:
    // Hands itself to the main window, which owns it and whose settings it reads and writes.
    explicit TSetupfrm(TMainFrm& mainFrm);
    ~TSetupfrm() override;

    // The opening step, then the modal wait; returns once the dialog has closed.
    int showModal();
    // The opening step: fields from the main window, fresh port and printer lists, texts from
    // the language file, buttons idle, memo empty, no certificate language.
    void FormActivate();
    // makecert_btn, info_btn, probe_info and ok_btn enabled, next_btn disabled.
    void ResetButtons();

    // Button handlers.
    void ok_btnClick();
    void datapath_btnClick();
    void info_btnClick();
    void probe_infoClick();
    void makecert_btnClick();
    void next_btnClick();
    void cert_saveClick();
    void certLoadClick();
    void cert_printClick();

    // What the calibration test and the certificate work with.
    TMainFrm& mainForm() { return m_main; }
    Dialogs& dialogs() { return m_dialogs; }
    QtMeterLink& link() { return *m_link; }
    // The calibration test and the certificate it made or loaded.
    CalibrationTest& calibration() { return *m_cal; }
    TComPort& comPort() { return ComPort; }
    int& countdown() { return m_countdown; }
    const SetupTexts& texts() const { return m_texts; }
    const NumberFormat& certNumberFormat() const { return m_certNumberFormat; }
    // The selected certificate language: 0 Finnish, 1 English, -1 none.
    int certLanguage() const;
    // The memo: a line appended at the end (meter bytes are Windows-1252), emptied, its face.
    void appendInfo(const QString& line);
    void appendInfoBytes(const QByteArray& line);
    void clearInfo();
    void useTerminalFaceForInfo();
    void useDialogFaceForInfo();
    QStringList infoLines() const;

    // Runs a conversation with the meter: one at a time (false when one is running already);
    // closing the dialog meanwhile cancels the link's wait, and the dialog closes once the
    // conversation has unwound. Button states are the caller's.
    bool converse(const std::function<void()>& body);
    bool conversationActive() const { return m_gate.busy(); }

    // Where the port list comes from (a test gives a fixture tree).
    void setPortSource(std::function<QList<SerialPortEntry>()> source);
    // The folders whose changes refresh the port list while the dialog is open (the running
    // system's by default; a test gives those of its fixture tree).
    void setPortFolders(const QStringList& folders);

protected:
    void done(int result) override;

private:
    // The dialog's font size, and the port its port object starts on (a new port list
    // selects it).
    static constexpr int kFontPixels = 13;
    static inline const QString kInitialPort = QStringLiteral("COM1");
    // The face when installed, else the system's UI font, at the dialog's size.
    static QFont dialogFont(const QString& face);

    void buildUi();
    void ApplyLanguage();
    // Sizes the controls to their captions and lays the dialog out around them.
    void fitCaptions();
    void FormClose();
    void Timer1Timer();
    void addInfoLine(QString text);
    // A fresh link (the last one was cancelled by a close during a wait); the calibration
    // test goes with it and keeps its record.
    void makeLink();
    // The port list read again while the dialog is open; the selection stays where it still
    // exists, and the port the user wants is selected again when it comes back.
    void refreshPorts();
    CertFileContext certFileContext() const;
    // The printer box's list once the scheduler has answered.
    void fillPrinterBox(const QStringList& names);
    class CertView;

    TMainFrm& m_main;
    Dialogs& m_dialogs;
    QString m_languageFile;
    SetupTexts m_texts;
    NumberFormat m_certNumberFormat;
    std::function<QList<SerialPortEntry>()> m_portSource;
    PortWatcher* m_portWatcher = nullptr;
    QString m_wantedPort; // the stored port at opening, then the user's choice

    TComPort ComPort;
    QTimer* Timer1 = nullptr;
    int m_countdown = 0;
    std::unique_ptr<QtMeterLink> m_link;
    std::unique_ptr<CertView> m_certView; // the test's view of the controls below
    std::unique_ptr<CalibrationTest> m_cal;
    ConversationGate m_gate; // a close asked for meanwhile waits for the conversation's end
    int m_infoLineCount = 0;
    int m_openings = 0; // counts openings, so a late print outcome knows its own
    PrinterList* m_printerList = nullptr;
    DocumentPrinter* m_certPrinter = nullptr;

    QLabel* datapath_lbl = nullptr;
    QLineEdit* datapath_ed = nullptr;
    QPushButton* datapath_btn = nullptr;
    QLabel* com_lbl = nullptr;
    TComComboBox* ComBox = nullptr;
    QLabel* prn_lbl = nullptr;
    QComboBox* printerbox = nullptr;
    QPlainTextEdit* info_box = nullptr;
    QPushButton* info_btn = nullptr;
    QPushButton* probe_info = nullptr;
    QPushButton* next_btn = nullptr;
    QPushButton* ok_btn = nullptr;
    QGroupBox* Cert_pnl = nullptr;
    QLabel* certedit_lbl = nullptr;
    QLineEdit* certedit = nullptr;
    QGroupBox* certlang_pnl = nullptr;
    QButtonGroup* certlang_group = nullptr;
    QPushButton* makecert_btn = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QPushButton* cert_save = nullptr;
    QPushButton* certLoad = nullptr;
    QPushButton* cert_print = nullptr;
};

} // namespace kelotari
