#include "AppIcon.h"

#include <QPainter>
#include <QPainterPath>

QImage AppIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.scale(size / 64.0, size / 64.0);

    // Body, in the window's blue, with a darker rim.
    p.setPen(QPen(QColor(0x1C, 0x28, 0x33), 2.0));
    p.setBrush(QColor(0, 128, 192));
    p.drawRoundedRect(QRectF(14, 2, 36, 60), 7, 7);

    // Screen: the four shades the phone shows.
    const QRectF screen(19, 9, 26, 22);
    p.setPen(QPen(QColor(0x1C, 0x28, 0x33), 1.5));
    p.setBrush(QColor(0xC0, 0xC0, 0xC0));
    p.drawRect(screen);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(38, 15), 3.2, 3.2);
    QPainterPath far;
    far.moveTo(19, 27);
    far.lineTo(27, 17);
    far.lineTo(33, 24);
    far.lineTo(45, 20);
    far.lineTo(45, 31);
    far.lineTo(19, 31);
    far.closeSubpath();
    p.setBrush(QColor(0x80, 0x80, 0x80));
    p.drawPath(far);
    QPainterPath near;
    near.moveTo(19, 31);
    near.lineTo(19, 28);
    near.cubicTo(27, 24, 35, 30, 45, 26);
    near.lineTo(45, 31);
    near.closeSubpath();
    p.setBrush(Qt::black);
    p.drawPath(near);

    // Keypad.
    p.setBrush(QColor(0xE8, 0xF4, 0xFA));
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 3; ++col)
            p.drawRoundedRect(QRectF(20 + col * 9, 36 + row * 6, 6, 4), 1.2, 1.2);
    return image;
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(QPixmap::fromImage(AppIconImage(size)));
    return icon;
}
