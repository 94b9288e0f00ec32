#include "Icons.h"

#include <QHash>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>

namespace kelotari::icons {

namespace {

using Picture = void (*)(QPainter&); // draws into a 16 x 16 box

// An icon painted from its picture at whatever size is asked for; rendered images are kept.
class PaintedIcon : public QIconEngine {
public:
    explicit PaintedIcon(Picture picture) : m_picture(picture) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        if (size.isEmpty())
            return QPixmap();
        const quint64 key = (quint64(size.width()) << 32) | (quint64(size.height()) << 8) |
                            quint64(mode == QIcon::Disabled);
        auto it = m_images.find(key);
        if (it == m_images.end())
            it = m_images.insert(key, render(size, mode == QIcon::Disabled));
        return QPixmap::fromImage(*it);
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine* clone() const override { return new PaintedIcon(m_picture); }
    QString key() const override { return QStringLiteral("kelotari.painted"); }

private:
    QImage render(const QSize& size, bool disabled) const {
        QImage img(size, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        const double side = std::min(size.width(), size.height());
        p.translate((size.width() - side) / 2.0, (size.height() - side) / 2.0);
        p.scale(side / 16.0, side / 16.0);
        m_picture(p);
        p.end();
        if (disabled) {
            // Grey and faint, as disabled buttons show their icons.
            for (int y = 0; y < img.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
                for (int x = 0; x < img.width(); ++x) {
                    const int a = qAlpha(line[x]) / 2;
                    const int g = qGray(line[x]) / 2;
                    line[x] = qRgba(g, g, g, a);
                }
            }
        }
        return img;
    }

    Picture m_picture;
    QHash<quint64, QImage> m_images;
};

QIcon make(Picture picture) {
    return QIcon(new PaintedIcon(picture));
}

const QColor kOutline(70, 70, 70);

void drawFolder(QPainter& p, bool open) {
    p.setPen(QPen(QColor(150, 110, 20), 0.8));
    QPainterPath back;
    back.moveTo(1.5, 3.5);
    back.lineTo(6, 3.5);
    back.lineTo(7.5, 5);
    back.lineTo(14.5, 5);
    back.lineTo(14.5, 13.5);
    back.lineTo(1.5, 13.5);
    back.closeSubpath();
    p.setBrush(QColor(230, 180, 60));
    p.drawPath(back);
    QPainterPath front;
    if (open) {
        front.moveTo(3.5, 7);
        front.lineTo(15.5, 7);
        front.lineTo(13.5, 13.5);
        front.lineTo(1.5, 13.5);
    } else {
        front.moveTo(1.5, 6.5);
        front.lineTo(14.5, 6.5);
        front.lineTo(14.5, 13.5);
        front.lineTo(1.5, 13.5);
    }
    front.closeSubpath();
    p.setBrush(open ? QColor(255, 222, 120) : QColor(250, 205, 90));
    p.drawPath(front);
}

void drawClosedFolder(QPainter& p) {
    drawFolder(p, false);
}
void drawOpenFolder(QPainter& p) {
    drawFolder(p, true);
}

void drawSetup(QPainter& p) {
    // A gear.
    QPainterPath gear;
    const double pi = std::acos(-1.0);
    for (int i = 0; i < 16; ++i) {
        const double a = i * pi / 8;
        const double r = (i % 2 == 0) ? 7.2 : 5.4;
        const double a1 = a - pi / 16, a2 = a + pi / 16;
        const QPointF p1(8 + r * std::cos(a1), 8 + r * std::sin(a1));
        const QPointF p2(8 + r * std::cos(a2), 8 + r * std::sin(a2));
        if (i == 0)
            gear.moveTo(p1);
        else
            gear.lineTo(p1);
        gear.lineTo(p2);
    }
    gear.closeSubpath();
    gear.addEllipse(QPointF(8, 8), 2.2, 2.2);
    gear.setFillRule(Qt::OddEvenFill);
    p.setPen(QPen(kOutline, 0.8));
    p.setBrush(QColor(150, 160, 175));
    p.drawPath(gear);
}

void drawTransfer(QPainter& p) {
    // An arrow down into a tray: from the meter into the table.
    p.setPen(QPen(kOutline, 0.8));
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(1.5, 11.5, 13, 3));
    QPainterPath arrow;
    arrow.moveTo(6, 1.5);
    arrow.lineTo(10, 1.5);
    arrow.lineTo(10, 6.5);
    arrow.lineTo(13, 6.5);
    arrow.lineTo(8, 11.5);
    arrow.lineTo(3, 6.5);
    arrow.lineTo(6, 6.5);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(20, 70, 140), 0.8));
    p.setBrush(QColor(60, 130, 210));
    p.drawPath(arrow);
}

void drawSave(QPainter& p) {
    // A diskette.
    p.setPen(QPen(QColor(20, 40, 90), 0.8));
    p.setBrush(QColor(50, 90, 170));
    QPainterPath body;
    body.moveTo(1.5, 1.5);
    body.lineTo(12.5, 1.5);
    body.lineTo(14.5, 3.5);
    body.lineTo(14.5, 14.5);
    body.lineTo(1.5, 14.5);
    body.closeSubpath();
    p.drawPath(body);
    p.setBrush(QColor(235, 235, 235));
    p.drawRect(QRectF(4, 1.5, 7.5, 5));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3.5, 9, 9, 5.5));
    p.setBrush(QColor(50, 90, 170));
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(9, 2.5, 1.5, 3));
}

void drawQuit(QPainter& p) {
    // A door left open.
    p.setPen(QPen(kOutline, 0.8));
    p.setBrush(QColor(120, 80, 40));
    p.drawRect(QRectF(3.5, 1.5, 9, 13));
    p.setBrush(QColor(250, 245, 225));
    p.drawRect(QRectF(5, 3, 6, 11.5));
    p.setBrush(QColor(170, 115, 55));
    QPainterPath leaf;
    leaf.moveTo(5, 3);
    leaf.lineTo(9, 4.5);
    leaf.lineTo(9, 15);
    leaf.lineTo(5, 14.5);
    leaf.closeSubpath();
    p.drawPath(leaf);
    p.setBrush(QColor(230, 190, 60));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(8, 9.5), 0.7, 0.7);
}

} // namespace

QIcon folder() {
    return make(drawClosedFolder);
}
QIcon openFolder() {
    return make(drawOpenFolder);
}
QIcon setup() {
    return make(drawSetup);
}
QIcon transfer() {
    return make(drawTransfer);
}
QIcon save() {
    return make(drawSave);
}
QIcon quit() {
    return make(drawQuit);
}

} // namespace kelotari::icons
