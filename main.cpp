#include "app/application.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(KESTROVA_VERSION));
    return run_kestrova(app);
}
