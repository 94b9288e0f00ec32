#pragma once
// The calibration test and the certificate's Save As, Load and Print, as sequential code over
// the setup dialog's meter link, its view and the program's dialogs. The dialog's button
// handlers call these and nothing more.
#include "base/Dialogs.h"
#include "meter/MeterLink.h"
#include "print/PrintResult.h"
#include "setup/CalNumbers.h"
#include "setup/CalRecord.h"
#include "setup/CalView.h"
#include "setup/CertLayout.h"

#include <QLocale>
#include <QString>

#include <functional>

namespace kelotari {

// Every reply of the test is read with this time-out.
constexpr int kCalTimeoutTicks = 5;
// Attempts of one offset step before it is given up.
constexpr int kOffsetAttempts = 10;
// The pause after an out-of-limit attempt and before the serial number is asked for.
constexpr int kCalPauseMs = 500;

inline const QString kComPortErrorText = QStringLiteral("Com port error!");

// The limit of each offset step (1..3): a value is accepted when its magnitude is below it.
constexpr int offsetLimit(int step) {
    return step == 2 ? 400 : 250;
}

// How one certificate printing went (the printer side reports it).
using CertPrintOutcome = PrintResult;

// What certificate saving and loading use besides the record.
struct CertFileContext {
    QString dataPath;      // DataPath, used as a prefix
    QString saveTitle;     // caption of cert_save
    QString loadTitle;     // caption of certLoad
    QString fileExistsMsg; // FileExistsMsg
    QString saveErrorMsg;  // SaveErrorMsg
    QString loadErrorMsg;  // LoadErrorMsg
};

class CalibrationTest {
public:
    CalibrationTest(MeterLink& link, CalView& view, Dialogs& dialogs);

    CalRecord& record() { return m_record; }
    const CalRecord& record() const { return m_record; }
    // The held texts, replaced at every opening of the dialog.
    void setTexts(const CalTexts& texts) { m_texts = texts; }
    const CalTexts& texts() const { return m_texts; }
    // The regional settings for the certificate file (QLocale::system() unless a test says).
    void setRegional(const QLocale& regional) { m_regional = regional; }
    // The number form of the result lines and the meter's readings (the dialog's
    // CertNumberFormat, prepared at each opening).
    void setNumberFormat(const NumberFormat& numbers) { m_numbers = numbers; }
    const NumberFormat& numberFormat() const { return m_numbers; }

    // makecert_btn: the seven steps, run to their end inside this call (waiting for Next and
    // for the meter's replies inside the link). A second call while one runs does nothing.
    void run();
    bool running() const { return m_running; }

    // cert_save: Save As.
    void saveAs(const CertFileContext& context);
    // certLoad: Load.
    void load(const CertFileContext& context);
    // cert_print: prints in the selected language through `print` (the printer side; it shows
    // nothing itself), shows the fixed failure text when it failed, then appends PrintingText
    // and resets the buttons. A cancelled print (the PDF file dialog) changes nothing.
    void print(const std::function<CertPrintOutcome(CertLanguage)>& print);
    // The same in two halves, for a printer that answers later: `start` gets the language and
    // begins printing (false: nothing was started); finishPrint takes the outcome.
    bool startPrint(const std::function<bool(CertLanguage)>& start);
    void finishPrint(CertPrintOutcome outcome);

private:
    enum class Exchange { Ok, Failed, PortError, Cancelled };
    Exchange offsetExchange();
    // Purges, sends one command and reads its one answer; false after a port failure (the
    // "Com port error!" box has been shown).
    bool request(const QByteArray& command, ReadResult* answer);
    void portError(const Failure& failure);
    void endEarly(const QString& line);
    void unwind();
    bool waitForNext(int step);

    MeterLink& m_link;
    CalView& m_view;
    Dialogs& m_dialogs;
    CalRecord m_record;
    CalTexts m_texts;
    QLocale m_regional = QLocale::system();
    NumberFormat m_numbers = CertNumberFormat();
    bool m_running = false;
    bool m_printWas = false, m_saveWas = false; // cert_print, cert_save before the test
};

} // namespace kelotari
