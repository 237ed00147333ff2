#include "app/application.h"

#include "app/frm_thermometer.h"

#include <QApplication>

int run_kestrova(QApplication& app) {
    message_box_prompts ask;
    window_seams seams;
    seams.ask = &ask;
    frm_thermometer window(seams);
    window.show();
    return app.exec();
}
