#include "app/application.h"

#include "app/end_signals.h"
#include "app/kestrova_app.h"
#include "app/service_notifier.h"
#include "logging/logging.h"
#include "mqtt/mqtt_publisher.h"
#include "notify/session_bus.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

namespace app {

namespace {

kestrova_app* running = nullptr;

// Qt ends the process with exit() when the connection to the display
// breaks; the operator's settings must not go with it.
extern "C" void save_on_exit() {
    if (running)
        running->save_before_lost_display();
}

// The status line a service manager shows for the running program.
QString service_status(kestrova_app& program) {
    const thermometer_controls& ui = program.window().ui();
    const alerts::link_watch& link = program.link();
    return service_status_line(program.keeper().current(), ui.Text2->text(), link.current(1),
                               ui.Text1->text(), link.current(2), link.state(),
                               program.publisher() ? program.publisher()->status_line()
                                                   : QString());
}

int run(QApplication& app) {
    // The program ends through Exit, the close box or a signal, each of
    // which saves first; hiding the last window is not an end.
    app.setQuitOnLastWindowClosed(false);
    controls::message_box_prompts boxes;
    controls::stderr_prompts lines;
    const window_seams seams{controls::stderr_prompts::no_display()
                                 ? static_cast<controls::prompts&>(lines)
                                 : static_cast<controls::prompts&>(boxes)};
    end_signals signals_watch;
    kestrova_app program(seams);
    QObject::connect(
        &program, &kestrova_app::finished, &app, [&app] { app.exit(0); }, Qt::QueuedConnection);
    QObject::connect(&signals_watch, &end_signals::end_requested, &program, &kestrova_app::unload);
    // No port at all: a failure, so that a service manager tries again.
    if (!program.load())
        return 1;
    signals_watch.start_up_finished();
    service_notifier service([&program] { return service_status(program); });
    QObject::connect(&program, &kestrova_app::finished, &service, &service_notifier::stopping);
    service.ready();

    static const bool hooked = std::atexit(save_on_exit) == 0;
    running = hooked ? &program : nullptr;
    const int status = app.exec();
    running = nullptr;
    return status;
}

} // namespace

void keep_off_a_silent_session_bus() {
    if (const auto silent = notify::session_bus::keep_off_when_silent(std::chrono::seconds(1)))
        qCWarning(logging::log_notify).noquote()
            << QStringLiteral("the session bus (%1) does not answer: screen readers and desktop "
                              "notifications are off until the program is started again")
                   .arg(*silent);
}

int run_kestrova(QApplication& app) {
    const int status = run(app);
    // Everything of ours has ended and the settings are saved. QtDBus's exit
    // would wait for ever for a connection that the bus left half-made.
    if (notify::session_bus::left_behind()) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

} // namespace app
