#include "app/application.h"
#include "app/command_line.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    if (const auto status = command_line::answer_at_once(argc, argv, KESTROVA_VERSION))
        return *status;
    const bool offscreen = command_line::choose_offscreen_without_display(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(KESTROVA_VERSION));
    if (const auto status = command_line::refuse_the_rest(QApplication::arguments()))
        return *status;
    if (offscreen)
        command_line::say_offscreen();
    return run_kestrova(app);
}
