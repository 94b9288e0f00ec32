#pragma once
// The program's icon for its windows, drawn from the same SVG picture that is installed for
// the desktop's menus (kept in the executable, so a portable copy has it too).
#include <QIcon>

namespace kelotari {

// Pictures of the usual window-icon sizes; a null icon when the picture cannot be drawn.
QIcon programIcon();

} // namespace kelotari
