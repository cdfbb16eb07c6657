// Drawing of the program's emblem.
#include "shell/Emblem.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

namespace Emblem {

QPixmap pixmap(int side, qreal devicePixelRatio) {
    QPixmap pm(QSize(side, side) * devicePixelRatio);
    pm.setDevicePixelRatio(devicePixelRatio);
    pm.fill(Qt::transparent);

    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(side / 100.0, side / 100.0); // draw on a 100 x 100 grid

    // Shield: flat top, sides curving to a point at the bottom.
    QPainterPath shield;
    shield.moveTo(12, 8);
    shield.lineTo(88, 8);
    shield.lineTo(88, 48);
    shield.cubicTo(88, 72, 70, 86, 50, 95);
    shield.cubicTo(30, 86, 12, 72, 12, 48);
    shield.closeSubpath();
    p.setPen(QPen(QColor(0xC8, 0x9B, 0x2C), 4));
    p.setBrush(QColor(0x1F, 0x4E, 0x8C));
    p.drawPath(shield);

    // A golden band across the top and the municipality's initial below it.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xC8, 0x9B, 0x2C));
    p.drawRect(QRectF(14, 22, 72, 9));

    QFont font(QStringLiteral("Sans Serif"));
    font.setBold(true);
    font.setPixelSize(46);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(12, 32, 76, 52), Qt::AlignCenter, QStringLiteral("V"));
    return pm;
}

QIcon icon() {
    QIcon result;
    for (int side : {16, 24, 32, 48, 64, 128})
        result.addPixmap(pixmap(side));
    return result;
}

} // namespace Emblem
