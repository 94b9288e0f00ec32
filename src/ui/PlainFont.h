#pragma once
// Fonts of the windows: plain styles, and the faces the program names as this system has them.
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>

namespace kelotari {

// The font with a plain style: no bold, italic, underline or strike-out.
inline QFont plainFont(QFont f) {
    f.setBold(false);
    f.setItalic(false);
    f.setUnderline(false);
    f.setStrikeOut(false);
    return f;
}

// The face when it is installed, else the system's UI font ("MS Sans Serif" is not on Linux),
// at `pixelSize` when that is above zero; plain.
inline QFont faceOrSystemFont(const QString& face, int pixelSize) {
    QFont f = QGuiApplication::font();
    if (QFontDatabase::families().contains(face, Qt::CaseInsensitive))
        f.setFamily(face);
    if (pixelSize > 0)
        f.setPixelSize(pixelSize);
    return plainFont(f);
}

// "Terminal" is the system's fixed-pitch face here.
inline QString terminalFace() {
    return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

} // namespace kelotari
