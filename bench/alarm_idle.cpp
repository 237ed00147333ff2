// What the alarm lamps cost and how quickly they follow, three ways:
//   (a) idle: the offscreen main window with both alarms on and steady
//       readings; process CPU time over the run, in clock ticks and ms;
//   (b) follow: readings written into a pty, time from the write until the
//       lamp shows the new colour;
//   (c) with kestrova-logger-sim sending readings at its usual pace, the
//       same CPU figure as (a).
//   alarm_idle [seconds, default 30] [path/to/kestrova-logger-sim] [parts, e.g. "abc"]

#include "alarm/install.h"
#include "app/frm_thermometer.h"
#include "controls/prompts.h"
#include "controls/properties.h"
#include "controls/shape.h"
#include "rules/numbers.h"
#include "serial/comm_control.h"
#include "support/pty.h"
#include "support/silent_prompts.h"

#include "controls/timer.h"
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <random>
#include <sys/times.h>
#include <unistd.h>
#include <vector>

namespace {

struct cpu_sample {
    clock_t ticks;
    double seconds;
};

cpu_sample cpu_now() {
    tms t{};
    times(&t);
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return {t.tms_utime + t.tms_stime,
            static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9};
}

// Runs the event loop for ms milliseconds.
void run_for(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until done() holds or ms have passed; polls every ms.
bool run_until(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        run_for(1);
    }
    return true;
}

void set_scene(const app::frm_thermometer& w) {
    const app::thermometer_controls& ui = w.ui();
    const QString deg = QStringLiteral("\u00BAC");
    ui.Text2->setText(QStringLiteral("25") + deg);
    ui.Text1->setText(QStringLiteral("31") + deg);
    ui.Text3->setText(QStringLiteral("30"));
    ui.Text4->setText(QStringLiteral("10"));
    ui.Text6->setText(QStringLiteral("40"));
    ui.Text5->setText(QStringLiteral("20"));
    controls::set_check_value(ui.Check2, 1);
    controls::set_check_value(ui.Check3, 1);
    alarms::apply_alarm_switches(w.sensors());
}

void measure_cpu(const char* what, const app::thermometer_controls& ui, double seconds) {
    int ticks = 0;
    const auto c2 =
        QObject::connect(ui.Timer2, &controls::timer::tick, ui.Timer2, [&] { ++ticks; });
    const auto c3 =
        QObject::connect(ui.Timer3, &controls::timer::tick, ui.Timer3, [&] { ++ticks; });
    // A lamp repaints only when its colour changes.
    int changes = 0;
    std::vector<QMetaObject::Connection> lamps;
    for (controls::shape* lamp : {ui.Shape3, ui.Shape4, ui.Shape9, ui.Shape10})
        lamps.push_back(
            QObject::connect(lamp, &controls::shape::fill_changed, lamp, [&] { ++changes; }));
    const long hz = sysconf(_SC_CLK_TCK);
    const cpu_sample before = cpu_now();
    QElapsedTimer wall;
    wall.start();
    run_for(rules::to_int32_half_even(seconds * 1000).value_or(30000));
    const cpu_sample after = cpu_now();
    const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
    QObject::disconnect(c2);
    QObject::disconnect(c3);
    for (const QMetaObject::Connection& c : lamps)
        QObject::disconnect(c);
    const double cpu = after.seconds - before.seconds;
    std::printf("%s: %.1f s wall, %ld CPU ticks (%ld per s), %.1f ms CPU = %.3f %% of one core; "
                "%d alarm ticks, %d lamp colour changes\n",
                what, elapsed, static_cast<long>(after.ticks - before.ticks), hz, cpu * 1000,
                100.0 * cpu / elapsed, ticks, changes);
}

// (b): the bench plays the logger on a pty and times each lamp change.
void measure_follow(const app::thermometer_controls& ui) {
    pty_pair pty;
    if (!pty.ok()) {
        std::printf("follow: no pty\n");
        return;
    }
    rules::port_map m;
    m.set_device(1, pty.slave_path());
    ui.MSComm1->set_port_map(m);
    if (!ui.MSComm1->set_port_open(true)) {
        std::printf("follow: cannot open %s\n", qPrintable(pty.slave_path()));
        return;
    }

    std::mt19937 rng(3);
    std::uniform_int_distribution<int> pause(0, 150);
    std::vector<double> delays;
    const QColor red(0xFF, 0, 0);
    for (int i = 0; i < 40; ++i) {
        // Alternates 25 (below the high threshold 30) and 35 (above it).
        const bool want_red = ui.Shape3->fill_color() != red;
        const char bytes[2] = {static_cast<char>(254), static_cast<char>(want_red ? 35 : 25)};
        QElapsedTimer clock;
        clock.start();
        if (!pty.write(QByteArray(bytes, 2)))
            break;
        if (!run_until([&] { return (ui.Shape3->fill_color() == red) == want_red; }, 2000)) {
            std::printf("follow: lamp did not change within 2 s\n");
            break;
        }
        delays.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        run_for(pause(rng));
    }
    ui.MSComm1->set_port_open(false);
    if (delays.empty())
        return;
    std::sort(delays.begin(), delays.end());
    std::printf("follow: %zu reading changes, write to lamp: min %.1f ms, median %.1f ms, "
                "max %.1f ms\n",
                delays.size(), delays.front(), delays[delays.size() / 2], delays.back());
}

// (c): the virtual logger at its own pace, sensor readings drifting.
void measure_with_logger(const app::thermometer_controls& ui, const QString& sim, double seconds) {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("logger"));
    QProcess logger;
    logger.start(sim, {QStringLiteral("--link"), link});
    if (!logger.waitForStarted(5000) || !run_until([&] { return QFileInfo::exists(link); }, 5000)) {
        std::printf("with logger: %s did not start\n", qPrintable(sim));
        return;
    }
    rules::port_map m;
    m.set_device(1, link);
    ui.MSComm1->set_port_map(m);
    if (!ui.MSComm1->set_port_open(true)) {
        std::printf("with logger: cannot open %s\n", qPrintable(link));
        return;
    }
    run_for(1000);
    measure_cpu("with logger", ui, seconds);
    ui.MSComm1->set_port_open(false);
    logger.terminate();
    logger.waitForFinished(5000);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 30.0;
    QString sim =
        argc > 2 ? QString::fromLocal8Bit(argv[2])
                 : QApplication::applicationDirPath() + QStringLiteral("/../kestrova-logger-sim");
    const QString parts = argc > 3 ? QString::fromLatin1(argv[3]) : QStringLiteral("abc");

    silent_prompts ask;
    app::frm_thermometer w{app::window_seams{ask}};
    const app::thermometer_controls& ui = w.ui();
    set_scene(w);
    w.release_timers();
    w.show();
    // The first ticks colour the lamps and the window paints once.
    run_for(1000);

    if (parts.contains(u'a'))
        measure_cpu("idle", ui, seconds);
    if (parts.contains(u'b'))
        measure_follow(ui);
    if (parts.contains(u'c')) {
        if (QFileInfo(sim).isExecutable())
            measure_with_logger(ui, sim, seconds);
        else
            std::printf("with logger: no kestrova-logger-sim at %s\n", qPrintable(sim));
    }
    return 0;
}
