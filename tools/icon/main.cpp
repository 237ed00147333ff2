// kestrova-icon FILE.png: writes the program's 32 x 32 icon for the desktop.
#include "controls/thermometer_icon.h"

#include <QGuiApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kestrova-icon FILE.png\n");
        return 2;
    }
    return thermometer_image().save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
