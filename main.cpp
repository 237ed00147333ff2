#include "app/application.h"
#include "app/command_line.h"
#include "logging/logging.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    logging::install_message_handler("kestrova");
    if (const auto status = app::command_line::answer_at_once(argc, argv, KESTROVA_VERSION))
        return *status;
    const bool offscreen = app::command_line::choose_offscreen_without_display(argc, argv);
    app::keep_off_a_silent_session_bus();
    QApplication application(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(KESTROVA_VERSION));
    if (const auto status = app::command_line::refuse_the_rest(QApplication::arguments()))
        return *status;
    if (offscreen)
        app::command_line::say_offscreen();
    return app::run_kestrova(application);
}
