#pragma once
#include <QFont>

namespace kelotari {

// The font with a plain style: no bold, italic, underline or strike-out.
inline QFont plainFont(QFont f) {
    f.setBold(false);
    f.setItalic(false);
    f.setUnderline(false);
    f.setStrikeOut(false);
    return f;
}

} // namespace kelotari
