#include "app/application.h"

#include "app/end_signals.h"
#include "app/lifecycle.h"

#include <QApplication>

int run_kestrova(QApplication& app) {
    // The program ends through Exit, the close box or a signal, each of
    // which saves first; hiding the last window is not an end.
    app.setQuitOnLastWindowClosed(false);
    message_box_prompts ask;
    window_seams seams;
    seams.ask = &ask;
    kestrova_app program(seams);
    QObject::connect(
        &program, &kestrova_app::finished, &app, [&app] { app.exit(0); }, Qt::QueuedConnection);
    end_signals signals_watch;
    QObject::connect(&signals_watch, &end_signals::end_requested, &program, &kestrova_app::unload);
    if (!program.load())
        return 0;
    return app.exec();
}
