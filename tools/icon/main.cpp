// kestrova-icon FILE.png: writes the program's 32 x 32 icon for the desktop.
// kestrova-icon SVG SIZE FILE.png: writes the SVG rendered at SIZE x SIZE,
// for the other sizes of the hicolor theme.
#include "controls/thermometer_icon.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc == 2)
        return controls::thermometer_image().save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
    if (argc != 4) {
        std::fprintf(stderr, "usage: kestrova-icon FILE.png | kestrova-icon SVG SIZE FILE.png\n");
        return 2;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    bool ok = false;
    const int size = QByteArray(argv[2]).toInt(&ok);
    if (!svg.isValid() || !ok || size < 1 || size > 1024) {
        std::fprintf(stderr, "kestrova-icon: cannot render %s at %s\n", argv[1], argv[2]);
        return 1;
    }
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    svg.render(&p);
    p.end();
    return img.save(QString::fromLocal8Bit(argv[3]), "PNG") ? 0 : 1;
}
