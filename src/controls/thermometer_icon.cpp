#include "controls/thermometer_icon.h"

#include <QPainter>

namespace controls {

QImage thermometer_image() {
    QImage img(32, 32, QImage::Format_ARGB32);
    img.fill(QColor(0xFF, 0xFF, 0x00));
    QPainter p(&img);
    // A 16-colour icon: every pixel one of the four plain colours, no
    // smoothed edges, which would blend them into dozens more.
    p.setRenderHint(QPainter::Antialiasing, false);
    // The glass tube with its red column.
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    p.drawRect(13, 2, 6, 20);
    p.fillRect(15, 10, 3, 13, Qt::red);
    // Scale marks on the right of the tube, a long one every fourth.
    for (int y = 4; y <= 20; y += 2)
        p.drawLine(20, y, (y % 8 == 4) ? 25 : 22, y);
    // The bulb.
    p.setBrush(Qt::red);
    p.drawEllipse(QPointF(16, 25), 5.5, 5.5);
    return img;
}

QIcon thermometer_icon() {
    return QIcon(QPixmap::fromImage(thermometer_image()));
}

} // namespace controls
