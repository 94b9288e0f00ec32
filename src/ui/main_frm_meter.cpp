// Transfer and Clear: the conversations of the main window with the meter, and what is
// disabled while one runs.
#include "main_frm.h"

#include "ComPort.h"
#include "PacketGrid.h"
#include "QtMeterLink.h"
#include "app/MainCommands.h"
#include "base/Failure.h"
#include "meter/Download.h"

#include <QAction>
#include <QToolButton>

namespace kelotari {

std::shared_ptr<TComPort> TMainFrm::createComPort() {
    return std::make_shared<TComPort>();
}

void TMainFrm::Transfer_btnClick() {
    if (m_gate.busy())
        return; // one conversation at a time
    // Yes with a save that did not happen keeps the packets: the download is abandoned.
    if (!saveQuestionAndSave())
        return;

    QtMeterLink link(*MComPort, m_countdown, m_timer);
    beginConversation([&link] { link.cancel(); });
    DownloadResult result;
    try {
        result = downloadPackets(link, m_state.settings.PortName, m_state.table);
    } catch (...) {
        endConversation();
        throw;
    }
    endConversation();

    const QString message = finishDownload(result, m_state, m_texts.TimeoutMsg);
    if (!message.isEmpty())
        showBox(message);
}

void TMainFrm::Clear_btnClick() {
    if (m_gate.busy())
        return;
    QtMeterLink link(*MComPort, m_countdown, m_timer);
    try {
        clearMeterMemory(link, m_state.settings.PortName);
    } catch (const LinkFailure& e) {
        // The last-resort box, with the way to put it right below where there is one.
        m_dialogs.lastResortError(portFailureText(e));
    }
}

void TMainFrm::beginConversation(std::function<void()> cancel) {
    m_gate.begin(std::move(cancel));
    updateCommandStates();
}

void TMainFrm::endConversation() {
    m_gate.end(); // Quit or a close asked for meanwhile is queued now
    updateCommandStates();
}

void TMainFrm::updateCommandStates() {
    const bool idle = !m_gate.busy();
    for (QWidget* w : {static_cast<QWidget*>(m_setupBtn), static_cast<QWidget*>(m_transferBtn),
                       static_cast<QWidget*>(m_clearBtn), static_cast<QWidget*>(m_saveBtn)})
        w->setEnabled(idle);
    m_delete1->setEnabled(idle);
    m_wDeleteFile->setEnabled(idle);
    // Comments are not edited while a download writes the table.
    m_grid->setEditTriggers(
        idle ? (QAbstractItemView::SelectedClicked | QAbstractItemView::DoubleClicked |
                QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed)
             : QAbstractItemView::NoEditTriggers);
}

} // namespace kelotari
