// Many stations on one broker: N monitors (the real program, offscreen), each
// on a pty of its own that this benchmark plays as a logger at the normal
// pace (a frame of both sensors every 250 ms), one mosquitto broker on
// 127.0.0.1, one subscriber. Prints the messages per second the subscriber
// receives, the delay from a frame written to a pty to the state message
// that carries it (median and 99th percentile), each monitor's CPU, and
// what a broker restart in the middle cost.
//   fleet N [seconds per half, default 20] [build dir with kestrova]

#include "support/broker.h"
#include "support/files.h"
#include "support/process.h"
#include "support/pty.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

struct station {
    QTemporaryDir dir;
    pty_pair pty;
    QProcess monitor;
    QString topic;
    int seq = 0;
    // Sent frames by their (sensor 1, sensor 2) values, newest first.
    std::map<std::pair<int, int>, clock_type::time_point> sent;
    std::pair<int, int> last{-1, -1};
};

// Plays one frame: 254, sensor 1, 253, sensor 2, with values that name it.
void send_frame(station& s) {
    ++s.seq;
    const int v1 = s.seq % 125;
    const int v2 = (s.seq / 125) % 125;
    s.sent[{v1, v2}] = clock_type::now();
    s.last = {v1, v2};
    const char frame[] = {static_cast<char>(254), static_cast<char>(v1), static_cast<char>(253),
                          static_cast<char>(v2)};
    s.pty.write(QByteArray(frame, 4));
}

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 1;
    const int half = argc > 2 ? std::atoi(argv[2]) : 20;
    const QString build = argc > 3 ? QString::fromLocal8Bit(argv[3])
                                   : QCoreApplication::applicationDirPath() + QStringLiteral("/..");
    const QString program = QDir(build).absoluteFilePath(QStringLiteral("kestrova"));

    test_broker broker;
    if (!broker.start()) {
        std::printf("no broker\n");
        return 1;
    }
    test_subscriber sub(broker.port());
    std::vector<std::unique_ptr<station>> fleet;
    for (int i = 0; i < n; ++i) {
        auto s = std::make_unique<station>();
        s->topic = QStringLiteral("site/station%1").arg(i);
        write_file(s->dir.filePath(QStringLiteral("Tarnwick.INI")),
                   "[Ports]\r\n1=" + s->pty.slave_path().toLocal8Bit() +
                       "\r\n[MQTT]\r\nhost=127.0.0.1\r\nport=" + QByteArray::number(broker.port()) +
                       "\r\ntopic=" + s->topic.toUtf8() + "\r\nclient_id=station" +
                       QByteArray::number(i) +
                       "\r\ndiscovery=\r\n[VEZ]\r\n"
                       "frm_thermometer.Text7.text=1\r\n");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        s->monitor.setProcessEnvironment(env);
        s->monitor.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        s->monitor.setWorkingDirectory(s->dir.path());
        s->monitor.start(program, {});
        fleet.push_back(std::move(s));
    }
    // Every station online before the clock starts.
    if (!sub.wait(
            [&](const auto& msgs) {
                int online = 0;
                for (const auto& m : msgs)
                    online += m.payload == "online";
                return online >= n;
            },
            30000)) {
        std::printf("not every station came online\n");
        return 1;
    }
    QTest::qWait(1000); // let each start-up end before its first frame
    std::vector<double> cpu_before;
    cpu_before.reserve(fleet.size());
    for (auto& s : fleet)
        cpu_before.push_back(cpu_seconds(s->monitor.processId()));

    sub.clear();
    const auto run = [&](int seconds) {
        const auto end = clock_type::now() + std::chrono::seconds(seconds);
        auto next = clock_type::now();
        while (clock_type::now() < end) {
            for (auto& s : fleet)
                send_frame(*s);
            next += std::chrono::milliseconds(250);
            QTest::qWait(static_cast<int>(std::max<qint64>(
                0, std::chrono::duration_cast<std::chrono::milliseconds>(next - clock_type::now())
                       .count())));
        }
    };
    const auto started = clock_type::now();
    run(half);
    const auto restart_at = clock_type::now();
    broker.stop();
    QTest::qWait(2000);
    broker.start();
    // Frames from the stop until a few seconds after the start fall into the
    // pause: the stations reconnect with their back-off of 1 s.
    const auto pause_end = clock_type::now() + std::chrono::seconds(3);
    run(half);
    QTest::qWait(3000); // the last frames' messages
    const double wall = std::chrono::duration<double>(clock_type::now() - started).count();

    // Delays: the first state message that carries a frame's values.
    std::vector<double> delays;
    std::size_t states = 0;
    std::map<QString, std::pair<int, int>> latest;
    for (const auto& m : sub.messages()) {
        if (!m.topic.endsWith(QLatin1String("/state")))
            continue;
        ++states;
        const QJsonObject o = QJsonDocument::fromJson(m.payload).object();
        const std::pair<int, int> v{o.value(QLatin1String("sensor1")).toInt(-1),
                                    o.value(QLatin1String("sensor2")).toInt(-1)};
        latest[m.topic.chopped(6)] = v;
        for (auto& s : fleet) {
            if (m.topic != s->topic + QStringLiteral("/state"))
                continue;
            const auto it = s->sent.find(v);
            if (it != s->sent.end()) {
                if (it->second < restart_at || it->second > pause_end)
                    delays.push_back(
                        std::chrono::duration<double, std::milli>(m.at - it->second).count());
                s->sent.erase(it);
            }
        }
    }
    std::size_t unanswered = 0;
    int latest_ok = 0;
    for (auto& s : fleet) {
        for (const auto& [v, at] : s->sent)
            unanswered += at < restart_at || at > pause_end;
        latest_ok += latest[s->topic] == s->last;
    }
    std::printf("fleet of %d stations, %.1f s, one broker restart (down 2 s)\n", n, wall);
    std::printf("subscriber: %zu messages, %.1f per second (%zu state messages)\n",
                sub.messages().size(), static_cast<double>(sub.messages().size()) / wall, states);
    std::printf(
        "delay frame -> state message: median %.2f ms, 99th percentile %.2f ms, max %.2f ms "
        "(%zu frames)\n",
        percentile(delays, 0.5), percentile(delays, 0.99), percentile(delays, 1.0), delays.size());
    std::printf("frames sent outside the pause whose state never arrived: %zu\n", unanswered);
    std::printf("stations whose latest state arrived after the restart: %d of %d\n", latest_ok, n);
    double total = 0;
    for (std::size_t i = 0; i < fleet.size(); ++i) {
        const double used = cpu_seconds(fleet[i]->monitor.processId()) - cpu_before[i];
        total += used;
        if (n <= 4 || i < 3)
            std::printf("monitor %zu: %.2f s CPU = %.2f %% of a core\n", i, used,
                        100 * used / wall);
    }
    std::printf("monitors on average: %.2f %% of a core each\n", 100 * total / wall / n);
    for (auto& s : fleet) {
        s->monitor.terminate();
        s->monitor.waitForFinished(5000);
    }
    return 0;
}
