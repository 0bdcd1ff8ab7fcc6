#include "ui/app_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

QImage DrawAppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // The figure is laid out on a 256 by 256 grid.
    painter.scale(size / 256.0, size / 256.0);
    painter.setPen(Qt::NoPen);

    QLinearGradient background(0, 16, 0, 240);
    background.setColorAt(0, QColor(0x2B, 0x7B, 0xD3));
    background.setColorAt(1, QColor(0x18, 0x4A, 0x8C));
    painter.setBrush(background);
    painter.drawRoundedRect(QRectF(16, 16, 224, 224), 40, 40);

    const QPolygonF letter({{64, 48},
                            {192, 48},
                            {192, 80},
                            {108, 160},
                            {192, 160},
                            {192, 192},
                            {64, 192},
                            {64, 160},
                            {148, 80},
                            {64, 80}});
    painter.setBrush(QColor(0xFF, 0xFF, 0xFF));
    painter.drawPolygon(letter);

    painter.setBrush(QColor(0xF5, 0xC2, 0x42));
    painter.drawRoundedRect(QRectF(64, 204, 128, 16), 8, 8);
    painter.end();
    return image;
}

QIcon AppIcon() {
    static const QIcon icon = [] {
        QIcon result;
        for (int size : {16, 24, 32, 48, 64, 128, 256}) {
            result.addPixmap(QPixmap::fromImage(DrawAppIcon(size)));
        }
        return result;
    }();
    return icon;
}
