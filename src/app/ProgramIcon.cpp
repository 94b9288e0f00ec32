#include "ProgramIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace kelotari {

QIcon programIcon() {
    QSvgRenderer svg(QStringLiteral(":/kelotari/kelotari.svg"));
    if (!svg.isValid())
        return QIcon();
    // Drawn once at each size: window managers pick one (X11's _NET_WM_ICON carries them all),
    // and no image-format plugin is needed at run time.
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap picture(size, size);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter, QRectF(0, 0, size, size));
        painter.end();
        icon.addPixmap(picture);
    }
    return icon;
}

} // namespace kelotari
