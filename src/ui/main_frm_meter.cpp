// Transfer and Clear: the conversations of the main window with the meter.
#include "main_frm.h"

namespace kelotari {

void TMainFrm::Transfer_btnClick() {}

void TMainFrm::Clear_btnClick() {}

} // namespace kelotari
