// "Test connection" against real brokers on 127.0.0.1, one case per verdict
// the settings window names: for each, the time from the start to the
// verdict and the longest gap between two ticks of a 5 ms timer on the
// window's thread meanwhile (the attempt runs on a thread of its own).
//   mqtt_trial_bench [limit in ms, default 8000]

#include "mqtt/mqtt_trial.h"
#include "support/broker.h"
#include "support/files.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

void measure(const char* what, const rules::mqtt::settings& s, std::chrono::milliseconds limit) {
    mqtt::mqtt_trial trial(limit);
    QElapsedTimer gap;
    double worst = 0;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, &trial, [&] {
        worst = std::max(worst, static_cast<double>(gap.nsecsElapsed()) / 1e6);
        gap.restart();
    });
    mqtt::verdict got;
    QEventLoop wait;
    QObject::connect(&trial, &mqtt::mqtt_trial::finished, &trial, [&](const mqtt::verdict& v) {
        got = v;
        wait.quit();
    });
    QElapsedTimer clock;
    clock.start();
    gap.start();
    tick.start();
    trial.start(s);
    wait.exec();
    std::printf("%-28s %7.0f ms   longest window stall %5.1f ms   %s\n", what,
                static_cast<double>(clock.nsecsElapsed()) / 1e6, worst, qPrintable(got.text));
}

rules::mqtt::settings to(const QString& host, int port) {
    rules::mqtt::settings s;
    s.host = host;
    s.port = port;
    s.client_id = QStringLiteral("kestrova-bench");
    return s;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::chrono::milliseconds limit(argc > 1 ? std::atoi(argv[1]) : 8000);

    QTemporaryDir certs;
    if (!make_test_certificates(certs.path()))
        return std::puts("openssl failed"), 1;
    test_broker plain;
    test_broker locked;
    locked.add_config("allow_anonymous false");
    test_broker tls({certs.filePath(QStringLiteral("ca.crt")),
                     certs.filePath(QStringLiteral("server.crt")),
                     certs.filePath(QStringLiteral("server.key"))});
    for (test_broker* b : {&plain, &locked, &tls})
        if (!b->start())
            return std::puts("mosquitto did not start"), 1;
    QTcpServer silent;
    silent.listen(QHostAddress::LocalHost, 0);
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const int closed_port = closed.serverPort();
    closed.close();

    const QString local = QStringLiteral("127.0.0.1");
    measure("accepted", to(local, plain.port()), limit);
    measure("not authorised", to(local, locked.port()), limit);
    rules::mqtt::settings other_ca = to(QStringLiteral("localhost"), tls.port());
    other_ca.cafile = certs.filePath(QStringLiteral("other_ca.crt"));
    measure("certificate of another CA", other_ca, limit);
    measure("closed port", to(local, closed_port), limit);
    measure("name under .invalid", to(QStringLiteral("broker.kestrova.invalid"), 1883), limit);
    measure("never answers", to(local, silent.serverPort()), limit);
    return 0;
}
