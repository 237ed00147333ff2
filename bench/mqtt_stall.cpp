// What an unreachable broker costs the window: the offscreen main window
// publishing to (a) a port on 127.0.0.1 that refuses connections, (b) a
// local socket that accepts and never answers, (c) a broker name that takes
// 10 s to resolve (through the resolver seam). For each, over the run: the
// longest gap between two ticks of a 5 ms timer on the window's thread,
// the process's CPU time, and the state the publisher shows; first the same
// window without publishing, as the baseline.
//   mqtt_stall [seconds per case, default 15]

#include "alerts/alarm_judge.h"
#include "alerts/alarm_state.h"
#include "alerts/link_watch.h"
#include "app/frm_thermometer.h"
#include "mqtt/mqtt_publisher.h"
#include "support/silent_prompts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <memory>
#include <thread>

namespace {

double cpu_now() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void measure(const char* what, const rules::mqtt::settings& s,
             const mqtt::mqtt_link::resolver& resolve, int seconds) {
    silent_prompts ask;
    app::frm_thermometer w{app::window_seams{ask}};
    w.show();
    const double cpu_before = cpu_now();
    double worst = 0;
    {
        // Without a host: the same window and ticks with no publishing, the
        // baseline for the CPU figure.
        std::unique_ptr<mqtt::mqtt_publisher> publisher;
        alerts::link_watch link([] { return std::chrono::milliseconds(30000); });
        link.port_changed(true);
        alerts::alarm_judge judge(w.sensors(), link);
        alerts::alarm_state alarms(judge, {});
        if (s.enabled())
            publisher = std::make_unique<mqtt::mqtt_publisher>(
                alarms, *w.ui().Timer1, w.ui().Text7, link, s, QStringLiteral("bench"), resolve);
        QElapsedTimer gap;
        QTimer tick;
        tick.setInterval(5);
        QObject ctx;
        QObject::connect(&tick, &QTimer::timeout, &ctx, [&] {
            worst = std::max(worst, static_cast<double>(gap.nsecsElapsed()) / 1e6);
            gap.restart();
        });
        // Readings keep changing, so the publisher keeps handing states over.
        int n = 0;
        QTimer readings;
        readings.setInterval(250);
        QObject::connect(&readings, &QTimer::timeout, &ctx, [&] {
            w.ui().Text2->setText(QString::number(++n % 100) + QStringLiteral("\u00BAC"));
            link.received(1);
        });
        gap.start();
        tick.start();
        readings.start();
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        std::printf("%-34s longest stall %6.1f ms, CPU %6.1f ms over %d s (ticks included); %s\n",
                    what, worst, (cpu_now() - cpu_before) * 1000, seconds,
                    publisher ? qPrintable(publisher->status_line()) : "no publishing");
    }
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 15;

    rules::mqtt::settings s;
    s.host = QStringLiteral("127.0.0.1");
    s.topic = QStringLiteral("bench/stall");
    s.client_id = QStringLiteral("bench-stall");

    measure("(0) baseline", rules::mqtt::settings{}, {}, seconds);

    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    s.port = closed.serverPort();
    closed.close();
    measure("(a) refused connection", s, {}, seconds);

    QTcpServer silent; // takes the connection into its backlog and never answers
    silent.listen(QHostAddress::LocalHost, 0);
    silent.pauseAccepting();
    s.port = silent.serverPort();
    measure("(b) broker that never answers", s, {}, seconds);

    s.host = QStringLiteral("slow.name.invalid");
    measure(
        "(c) name that takes 10 s", s,
        [](const std::string&) {
            std::this_thread::sleep_for(std::chrono::seconds(10));
            return std::string("127.0.0.1");
        },
        seconds);
    return 0;
}
