// The setup dialog's link wiring: its conversations with the meter (the probe query and the
// calibration test), the certificate actions on the test's record, the countdown tick and the
// port list that follows the adapters plugged in.
#include "setup_frm.h"

#include "CertPrinter.h"
#include "PlainText.h"
#include "PortWatcher.h"
#include "QtMeterLink.h"
#include "TComComboBox.h"
#include "base/Dialogs.h"
#include "main_frm.h"
#include "meter/ProbeQuery.h"

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

namespace kelotari {

bool TSetupfrm::converse(const std::function<void()>& body) {
    return m_gate.run(body);
}

void TSetupfrm::probe_infoClick() {
    if (m_gate.busy())
        return; // no second conversation inside the first
    useTerminalFaceForInfo();
    clearInfo();
    const QString port = ComBox->text();

    // Nothing that would start another conversation or close the dialog's port by OK.
    QWidget* const blocked[] = {probe_info, makecert_btn, info_btn, certLoad, ok_btn};
    bool wasEnabled[std::size(blocked)];
    for (size_t i = 0; i < std::size(blocked); ++i) {
        wasEnabled[i] = blocked[i]->isEnabled();
        blocked[i]->setEnabled(false);
    }
    const QPointer<TSetupfrm> self(this);
    QString error;
    converse([&] {
        try {
            probeInformation(*m_link, port,
                             [this](const QByteArray& line) { appendInfoBytes(line); });
        } catch (const LinkFailure& e) {
            error = portFailureText(e);
        } catch (const Failure& e) { // a runaway line: the reader gave up on it
            error = lastResortText(e.message());
        }
    });
    if (!self)
        return;
    for (size_t i = 0; i < std::size(blocked); ++i)
        blocked[i]->setEnabled(wasEnabled[i]);
    if (!error.isEmpty())
        m_dialogs.lastResortError(error);
}

CertFileContext TSetupfrm::certFileContext() const {
    const MainTexts& t = m_main.texts();
    return {m_main.state().settings.DataPath,
            shownCaption(cert_save->text()),
            shownCaption(certLoad->text()),
            t.FileExistsMsg,
            t.SaveErrorMsg,
            t.LoadErrorMsg};
}

void TSetupfrm::makecert_btnClick() {
    // One conversation at a time; a close asked for meanwhile waits for the test's end.
    converse([this] { m_cal->run(); });
}

void TSetupfrm::cert_saveClick() {
    m_cal->saveAs(certFileContext());
}

void TSetupfrm::certLoadClick() {
    m_cal->load(certFileContext());
}

void TSetupfrm::cert_printClick() {
    m_cal->startPrint([this](CertLanguage language) {
        const MainState& s = m_main.state();
        CertPrintJob job;
        job.printerName = s.settings.PrinterName;
        job.fontFace = s.UiFontName;
        job.dataPath = s.settings.DataPath;
        job.dialogTitle = shownCaption(cert_print->text());
        job.fileExistsMsg = m_main.texts().FileExistsMsg;
        job.handlerName = certedit->text();
        // Disabled until the outcome, so a slow queue does not get the certificate twice.
        cert_print->setEnabled(false);
        const int opening = m_openings;
        auto done = [this, opening](const PrintOutcome& outcome) {
            m_main.notePrintOutcome(outcome);
            m_cal->finishPrint(certPrintOutcome(outcome));
            // A later opening or a test running since has set the button itself.
            if (opening == m_openings && !m_cal->running())
                cert_print->setEnabled(true);
        };
        const bool started =
            printCertificateJob(*m_certPrinter, m_dialogs, job, m_cal->record(), language, done);
        if (!started)
            cert_print->setEnabled(true);
        return started;
    });
}

void TSetupfrm::next_btnClick() {
    m_link->next(); // ends a wait for Next; a press outside one is not remembered
}

void TSetupfrm::Timer1Timer() {
    tickCountdown(m_countdown);
}

void TSetupfrm::setPortSource(std::function<QList<SerialPortEntry>()> source) {
    m_portSource = std::move(source);
}

void TSetupfrm::setPortFolders(const QStringList& folders) {
    m_portWatcher->setFolders(folders);
}

void TSetupfrm::refreshPorts() {
    if (!isVisible())
        return;
    ComBox->setPorts(m_portSource(), kInitialPort);
    ComBox->setText(m_wantedPort);
}

} // namespace kelotari
