#pragma once

#include "alarm/sensor_role.h"
#include "controls/check_box.h"
#include "controls/display_box.h"
#include "controls/shape.h"
#include "controls/timer.h"
#include "controls/updown.h"
#include "datalog/logging_role.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QWidget>

// The controls the features take, made as the main window makes them but
// without the window: both sensors' (alarms::sensor_roles) and logging's
// (datalog::logging_role), each in a place of its own on one plain widget.
// A test of one feature installs that feature alone on them. The lamp
// timers start disabled, Timer1 enabled at 1 s with 5 s selected; no timer
// ticks before release_timers().
struct feature_controls {
    QWidget window;
    alarms::sensor_roles sensors{};
    datalog::logging_role logging{};

    feature_controls() {
        auto* grid = new QGridLayout(&window);
        for (int n = 1; n <= 2; ++n) {
            const int row = n - 1;
            alarms::sensor_role& s = sensors[static_cast<std::size_t>(row)];
            s.number = n;
            s.reading = place(grid, new controls::display_box, row, 0);
            s.alarm_switch = place(
                grid, new controls::check_box(QStringLiteral("Enable Alarm"), &window), row, 1);
            s.lamp_timer = new controls::timer(100, false, &window);
            s.high_text = place(grid, new QLineEdit, row, 2);
            s.high_spin = place(grid, new controls::updown, row, 3);
            s.high_lamp = place(grid, lamp(), row, 4);
            s.low_text = place(grid, new QLineEdit, row, 5);
            s.low_spin = place(grid, new controls::updown, row, 6);
            s.low_lamp = place(grid, lamp(), row, 7);
        }
        logging.log_switch =
            place(grid, new controls::check_box(QStringLiteral("Log data to File"), &window), 2, 0);
        logging.option8 = place(grid, new QRadioButton(QStringLiteral("5 Sec")), 2, 1);
        logging.option5 = place(grid, new QRadioButton(QStringLiteral("10 Sec")), 2, 2);
        logging.option7 = place(grid, new QRadioButton(QStringLiteral("30 Sec")), 2, 3);
        logging.option6 = place(grid, new QRadioButton(QStringLiteral("1 Min")), 2, 4);
        logging.option8->setChecked(true);
        logging.sample_timer = new controls::timer(1000, true, &window);
        logging.sensor1 = sensors[0].reading;
        logging.sensor2 = sensors[1].reading;
        // Each control gets its place, so that a click lands on it.
        window.adjustSize();
        grid->activate();
    }

    // The end of start-up: enabled timers tick from now on.
    void release_timers() {
        for (controls::timer* t :
             {sensors[0].lamp_timer, sensors[1].lamp_timer, logging.sample_timer})
            t->release();
    }

private:
    template <class W> W* place(QGridLayout* grid, W* w, int row, int column) {
        grid->addWidget(w, row, column);
        return w;
    }
    controls::shape* lamp() {
        const QColor green(0x00, 0x80, 0x00);
        auto* s = new controls::shape(controls::shape::kind::circle, green, green);
        s->setMinimumSize(25, 25);
        return s;
    }
};
