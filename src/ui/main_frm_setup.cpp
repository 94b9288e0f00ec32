// Setup: the main window opens its setup dialog, which reads and writes the window's settings.
#include "main_frm.h"

#include "setup_frm.h"

namespace kelotari {

void TMainFrm::adoptSetupForm(TSetupfrm* form) {
    m_setupFrm.reset(form);
}

void TMainFrm::tyo_setupClick() {
    if (m_gate.busy() || !m_setupFrm)
        return; // not while the meter talks to this window
    m_setupFrm->showModal();
}

} // namespace kelotari
