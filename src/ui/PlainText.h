#pragma once
// Captions are shown as typed, whatever a language file or a file name holds: labels never
// read their text as rich text, and in buttons, group titles and menu items an '&' is an '&',
// not the mark of a keyboard shortcut.
#include <QLabel>
#include <QString>

namespace kelotari {

// The text to give a button, group box or action so that it shows `caption` as typed.
inline QString literalCaption(QString caption) {
    return caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// The caption a button, group box or action shows, from a text set with literalCaption.
inline QString shownCaption(QString text) {
    return text.replace(QStringLiteral("&&"), QStringLiteral("&"));
}

inline void setLabelCaption(QLabel* label, const QString& caption) {
    label->setTextFormat(Qt::PlainText);
    label->setText(caption);
}

} // namespace kelotari
