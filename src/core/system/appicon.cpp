#include "core/system/appicon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace kestrune {

void paintAppIcon(QPainter& p, qreal size)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    // Rounded tile, deep teal.
    QLinearGradient bg(0, 0, 0, 64);
    bg.setColorAt(0, QColor(0x1f, 0x7a, 0x8c));
    bg.setColorAt(1, QColor(0x0e, 0x4d, 0x5c));
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

    // A folder.
    p.setBrush(QColor(0xf6, 0xc3, 0x4a));
    QPainterPath tab;
    tab.addRoundedRect(QRectF(10, 22, 20, 8), 2, 2);
    p.drawPath(tab);
    p.setBrush(QColor(0xfb, 0xd8, 0x6b));
    p.drawRoundedRect(QRectF(10, 26, 44, 28), 3, 3);

    // The kestrel's wing sweeping over it.
    QPainterPath wing;
    wing.moveTo(8, 20);
    wing.cubicTo(24, 4, 44, 6, 58, 12);
    wing.cubicTo(46, 14, 38, 18, 34, 26);
    wing.cubicTo(28, 20, 18, 18, 8, 20);
    p.setBrush(QColor(0xc8, 0x5a, 0x1e));
    p.drawPath(wing);
    p.setPen(QPen(QColor(0x5a, 0x2a, 0x0c), 1.5));
    p.drawLine(QPointF(22, 14), QPointF(28, 20));
    p.drawLine(QPointF(32, 10), QPointF(34, 18));
    p.drawLine(QPointF(42, 9), QPointF(40, 16));
    p.restore();
}

QPixmap appIconPixmap(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    paintAppIcon(p, size);
    return pm;
}

QIcon appIcon()
{
    static const QIcon icon = [] {
        QIcon i;
        for (int s : {16, 24, 32, 48, 64, 128, 256})
            i.addPixmap(appIconPixmap(s));
        return i;
    }();
    return icon;
}

}  // namespace kestrune
