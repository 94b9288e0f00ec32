#pragma once
// What a printed report needs from a page: its size, text measuring and drawing at device
// positions, the histogram drawn into a rectangle, and the document's begin, page breaks and end.
// The program paints on a printer through it; tests record the calls.
#include "packets/Histogram.h"

#include <QRect>
#include <QString>

namespace kelotari {

class PageCanvas {
public:
    virtual ~PageCanvas() = default;

    // Printable width and height in device units (dots), portrait.
    virtual int pageWidth() const = 0;
    virtual int pageHeight() const = 0;
    // Height of a one-line text in the report font, in dots.
    virtual int textHeight(const QString& text) = 0;

    virtual bool beginDocument() = 0;
    // (x, y) is the top-left corner of the text, relative to the printable area.
    virtual void drawText(int x, int y, const QString& text) = 0;
    // The whole chart, scaled into the rectangle.
    virtual void drawHistogram(const QRect& rect, const Histogram& bars) = 0;
    virtual bool newPage() = 0;
    virtual bool endDocument() = 0;
    // Gives up a document that failed after it was begun.
    virtual void abortDocument() = 0;
};

} // namespace kelotari
