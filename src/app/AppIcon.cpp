#include "app/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>

namespace velmora {

// A step of analog output over a dark face: what the unit does.
QImage DrawAppIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x20, 0x40, 0x70));
    p.drawRoundedRect(QRectF(0.5, 0.5, s - 1, s - 1), s / 6, s / 6);

    QPainterPath wave;
    wave.moveTo(s * 0.12, s * 0.75);
    wave.lineTo(s * 0.35, s * 0.75);
    wave.lineTo(s * 0.35, s * 0.30);
    wave.lineTo(s * 0.62, s * 0.30);
    wave.lineTo(s * 0.88, s * 0.55);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x80, 0xFF, 0x80), std::max(1.0, s / 12), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(wave);
    p.end();
    return image;
}

QIcon AppIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addPixmap(QPixmap::fromImage(DrawAppIcon(size)));
    return icon;
}

} // namespace velmora
