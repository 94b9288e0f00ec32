#pragma once
// A report page on a Qt paint device: a printer (or a PDF printer), or an image in tests.
// Text is drawn in black without background, in the report font, at its top-left corner.
#include "print/PageCanvas.h"

#include <QFont>
#include <QPainter>

class QPaintDevice;

namespace kelotari {

class QtPageCanvas : public PageCanvas {
public:
    QtPageCanvas(QPaintDevice& device, const QFont& font);
    ~QtPageCanvas() override;

    int pageWidth() const override;
    int pageHeight() const override;
    int textHeight(const QString& text) override;
    bool beginDocument() override;
    void drawText(int x, int y, const QString& text) override;
    void drawHistogram(const QRect& rect, const Histogram& bars) override;
    bool newPage() override;
    bool endDocument() override;
    void abortDocument() override;

private:
    QPaintDevice& m_device;
    QFont m_font;
    QPainter m_painter;
};

} // namespace kelotari
