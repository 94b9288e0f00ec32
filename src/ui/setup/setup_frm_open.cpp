// The setup dialog's opening and closing steps and its own buttons: the fields from the main
// window and back on OK, the data folder chooser and the program information.
#include "setup_frm.h"

#include "PortWatcher.h"
#include "Printer.h"
#include "QtMeterLink.h"
#include "TComComboBox.h"
#include "base/Dialogs.h"
#include "base/Failure.h"
#include "main_frm.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

namespace kelotari {

int TSetupfrm::showModal() {
    FormActivate();
    const QRect owner = m_main.frameGeometry();
    move(owner.center() - QPoint(width() / 2, height() / 2));
    return exec();
}

void TSetupfrm::FormActivate() {
    const MainState& s = m_main.state();
    setFont(dialogFont(s.UiFontName));
    datapath_ed->setText(s.settings.DataPath);
    // The list is read afresh at each opening: adapters come and go while the program runs.
    // The stored port is selected when listed; otherwise the selection stays as the dialog
    // was last left (a port picked, then Escape, included), and a port that has gone since
    // gives way to the one a new list starts with, as at start-up: COM1 when there is one.
    ComBox->setPorts(m_portSource(), kInitialPort);
    ComBox->setText(s.settings.PortName);
    m_portWatcher->start(); // before the list is read, so no change falls between the two
    const QList<SerialPortEntry> ports = m_portSource();
    ComBox->setPorts(ports, ComPort.Port());
    // A device name stored by an older version selects the adapter's stable name.
    m_wantedPort = stablePortName(ports, s.settings.PortName);
    ComBox->setText(m_wantedPort);
    if (m_link->cancelled()) // the last opening was closed during a conversation
        makeLink();
    m_link->setPort(ComBox->text());
    ++m_openings;
    // "PDF" and the stored name at once; the queues follow when the scheduler answers.
    printerbox->clear();
    printerbox->addItem(kPdfPrinterName);
    printerbox->setEditText(s.settings.PrinterName);
    m_printerList->refresh();
    ApplyLanguage();
    m_cal->setTexts(m_texts);
    ResetButtons();
    cert_print->setEnabled(false);
    cert_save->setEnabled(false);
    certLoad->setEnabled(true);
    clearInfo();
    m_certNumberFormat = CertNumberFormat();
    m_cal->setNumberFormat(m_certNumberFormat);
}

void TSetupfrm::ok_btnClick() {
    if (m_gate.busy())
        return;
    Settings& s = m_main.state().settings;
    s.DataPath = datapath_ed->text();
    s.PortName = ComBox->text();
    s.PrinterName = printerbox->currentText();
    accept();
}

void TSetupfrm::done(int result) {
    if (m_gate.busy()) {
        // Close box or Escape while the meter talks: the probe's wait ends at once; the
        // calibration test is not cut short, the dialog closes once it has ended.
        m_gate.deferUntilEnd([this, result] { done(result); });
        if (!m_cal->running())
            m_link->cancel();
        return;
    }
    FormClose();
    QDialog::done(result);
}

void TSetupfrm::FormClose() {
    m_portWatcher->stop();
    if (!ComPort.Connected())
        return;
    try {
        ComPort.PurgeBuffers(true, true);
    } catch (const Failure&) {
        // The port is being closed; what was in its buffers no longer matters.
    }
    try {
        m_link->close();
    } catch (const Failure&) {
        // Closed all the same.
    }
}

void TSetupfrm::datapath_btnClick() {
    const QString current = datapath_ed->text();
    const QString start =
        !current.isEmpty() && QFileInfo(current).isDir() ? current : QDir::homePath();
    QString folder = m_dialogs.chooseFolder(m_texts.DL1_file, start);
    if (folder.isEmpty())
        return;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    datapath_ed->setText(folder);
}

void TSetupfrm::info_btnClick() {
    useDialogFaceForInfo();
    clearInfo();
    for (const QString& line : programInformation())
        appendInfo(line);
}

} // namespace kelotari
