#include "QtPageCanvas.h"

#include "HistogramChart.h"

#include <QFontMetrics>
#include <QPagedPaintDevice>
#include <QPrinter>

namespace kelotari {

QtPageCanvas::QtPageCanvas(QPaintDevice& device, const QFont& font)
    : m_device(device), m_font(font) {}

QtPageCanvas::~QtPageCanvas() {
    if (m_painter.isActive())
        m_painter.end();
}

int QtPageCanvas::pageWidth() const {
    return m_device.width();
}

int QtPageCanvas::pageHeight() const {
    return m_device.height();
}

int QtPageCanvas::textHeight(const QString& text) {
    return QFontMetrics(m_font, &m_device).size(Qt::TextSingleLine, text).height();
}

bool QtPageCanvas::beginDocument() {
    if (!m_painter.begin(&m_device))
        return false;
    m_painter.setFont(m_font);
    m_painter.setBackgroundMode(Qt::TransparentMode);
    m_painter.setPen(Qt::black);
    return true;
}

void QtPageCanvas::drawText(int x, int y, const QString& text) {
    // QPainter places text on its baseline; the report gives the top-left corner.
    m_painter.drawText(x, y + QFontMetrics(m_font, &m_device).ascent(), text);
}

void QtPageCanvas::drawHistogram(const QRect& rect, const Histogram& bars) {
    paintHistogram(m_painter, rect, bars);
}

bool QtPageCanvas::newPage() {
    auto* paged = dynamic_cast<QPagedPaintDevice*>(&m_device);
    return paged && paged->newPage();
}

bool QtPageCanvas::endDocument() {
    if (!m_painter.end())
        return false;
    if (auto* printer = dynamic_cast<QPrinter*>(&m_device))
        return printer->printerState() != QPrinter::Error &&
               printer->printerState() != QPrinter::Aborted;
    return true;
}

void QtPageCanvas::abortDocument() {
    if (auto* printer = dynamic_cast<QPrinter*>(&m_device))
        printer->abort();
    if (m_painter.isActive())
        m_painter.end();
}

} // namespace kelotari
