// The moisture chart and the packet reports of the main window.
#include "main_frm.h"

namespace kelotari {

void TMainFrm::UpdateHistogram(int) {}

void TMainFrm::PrintselectedClick() {}

void TMainFrm::PrintAllClick() {}

} // namespace kelotari
