// Many stations in one process: N of the program's own broker links with its
// own state messages, discovery configs, status and last will, no window and
// no logger, fed at the logger's pace (a reading that changes every 2 to 6 s
// and a state message on every 5 s sampling tick), against a real mosquitto
// on 127.0.0.1 that this benchmark starts, one subscriber to everything.
// Every state message carries its station's running number, so the
// subscriber knows which one arrived and when.
//   fleet_sim N [SECONDS]           steady run: messages per second, delay
//                                   reading -> state message, broker CPU and
//                                   memory, this process's memory per station
//   fleet_sim N [SECONDS] restart   then the broker killed for 5 s: time until
//                                   every station is back, connects per second
//                                   and CPU of the broker meanwhile
//   fleet_sim N [SECONDS] bridge [OUTAGE]
//                                   the stations on a site broker with the
//                                   shipped bridge example, bridged to a
//                                   central broker that stops for OUTAGE s
//                                   (default 30): states lost, stations
//                                   without their latest state at the centre

#include "publish/mqtt_link.h"
#include "support/broker.h"
#include "support/build_paths.h"
#include "support/files.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mosquitto.h>
#include <mutex>
#include <queue>
#include <random>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;
using namespace std::chrono_literals;

double seconds_since(clock_type::time_point t) {
    return std::chrono::duration<double>(clock_type::now() - t).count();
}

QString load() {
    return QString::fromLatin1(read_file(QStringLiteral("/proc/loadavg")).trimmed());
}

// utime + stime of a process, in seconds.
double cpu_seconds(qint64 pid) {
    const QByteArray stat = read_file(QStringLiteral("/proc/%1/stat").arg(pid));
    const QList<QByteArray> f = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (f.size() < 13)
        return 0;
    return (f[11].toDouble() + f[12].toDouble()) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// A field of /proc/<pid>/status in KiB ("VmRSS", "VmHWM", "VmSize"), or a
// count ("Threads").
long status_field(const QString& pid, const char* name) {
    const QByteArray status = read_file(QStringLiteral("/proc/%1/status").arg(pid));
    for (const QByteArray& line : status.split('\n'))
        if (line.startsWith(QByteArray(name) + ':'))
            return line.mid(qstrlen(name) + 1).trimmed().split(' ').first().toLong();
    return 0;
}

// Both the process and the brokers it starts (they inherit the limit) hold
// a socket per station.
long raise_open_files() {
    rlimit r{};
    getrlimit(RLIMIT_NOFILE, &r);
    r.rlim_cur = r.rlim_max;
    setrlimit(RLIMIT_NOFILE, &r);
    return static_cast<long>(r.rlim_cur);
}

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

// What arrived, parsed enough to count: station number, kind, running
// number of a state.
struct arrival {
    int station;
    enum kind_type { status_online, status_offline, config, state, other } kind;
    int number;
    bool retained;
    clock_type::time_point at;
};

// Topics are kestrova/station<i>/{status,state} and homeassistant/.../station<i>/...
arrival parse(const mosquitto_message& m, clock_type::time_point at) {
    const QByteArray topic(m.topic);
    const QByteArray payload(static_cast<const char*>(m.payload), m.payloadlen);
    arrival a{-1, arrival::other, 0, m.retain, at};
    const int from = topic.indexOf("station");
    if (from < 0)
        return a;
    int end = from + 7;
    while (end < topic.size() && std::isdigit(static_cast<unsigned char>(topic[end])))
        ++end;
    a.station = topic.mid(from + 7, end - from - 7).toInt();
    if (topic.endsWith("/status"))
        a.kind = payload == "online" ? arrival::status_online : arrival::status_offline;
    else if (topic.endsWith("/config"))
        a.kind = arrival::config;
    else if (topic.endsWith("/state")) {
        a.kind = arrival::state;
        const QJsonObject o = QJsonDocument::fromJson(payload).object();
        a.number = o.value(QLatin1String("sensor1")).toInt() +
                   1000 * o.value(QLatin1String("sensor2")).toInt();
    }
    return a;
}

// Subscribes to everything and keeps what arrived; tries again every 50 ms
// while the broker is away, so that it is back among the first.
class observer {
public:
    observer(int port, bool keep_session, const char* id)
        : port_(port) {
        mosquitto_lib_init();
        mosq_ = mosquitto_new(keep_session ? id : nullptr, !keep_session, this);
        mosquitto_message_callback_set(mosq_,
                                       [](mosquitto*, void* self, const mosquitto_message* m) {
                                           auto* o = static_cast<observer*>(self);
                                           const arrival a = parse(*m, clock_type::now());
                                           const std::lock_guard lock(o->mutex_);
                                           o->arrivals_.push_back(a);
                                       });
        mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void* self, int rc) {
            if (rc == 0) {
                mosquitto_subscribe(m, nullptr, "#", 1);
                static_cast<observer*>(self)->connected_ = true;
            }
        });
        thread_ = std::thread([this] { run(); });
    }
    ~observer() {
        stop_ = true;
        thread_.join();
        mosquitto_destroy(mosq_);
    }
    observer(const observer&) = delete;
    observer& operator=(const observer&) = delete;

    // What arrived, from the `from`th arrival on.
    std::vector<arrival> arrivals(std::size_t from = 0) const {
        const std::lock_guard lock(mutex_);
        return {arrivals_.begin() + static_cast<std::ptrdiff_t>(std::min(from, arrivals_.size())),
                arrivals_.end()};
    }
    bool connected() const { return connected_; }

private:
    void run() {
        while (!stop_) {
            connected_ = false;
            if (mosquitto_connect(mosq_, "127.0.0.1", port_, 30) != MOSQ_ERR_SUCCESS) {
                std::this_thread::sleep_for(50ms);
                continue;
            }
            while (!stop_ && mosquitto_loop(mosq_, 100, 1) == MOSQ_ERR_SUCCESS) {
            }
            mosquitto_disconnect(mosq_);
        }
    }

    int port_;
    mosquitto* mosq_ = nullptr;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> connected_{false};
    mutable std::mutex mutex_;
    std::vector<arrival> arrivals_;
};

struct station {
    std::unique_ptr<mqtt_link> link;
    int number = 0;
    std::vector<clock_type::time_point> sent{clock_type::time_point{}}; // by number
};

// Feeds the stations: a change every 2 to 6 s and a sampling tick every 5 s,
// each a state message with the station's next number.
class feeder {
public:
    explicit feeder(std::vector<station>& fleet)
        : fleet_(fleet) {
        const auto now = clock_type::now();
        for (int i = 0; i < static_cast<int>(fleet_.size()); ++i) {
            events_.push({now + ms(0, 5000), i, true});
            events_.push({now + ms(2000, 6000), i, false});
        }
    }
    // Publishes what is due, then waits for the next, at most 20 ms.
    void step() {
        const auto now = clock_type::now();
        while (!events_.empty() && events_.top().at <= now) {
            event e = events_.top();
            events_.pop();
            publish(fleet_[static_cast<std::size_t>(e.station)]);
            e.at += e.tick ? std::chrono::milliseconds(5000) : ms(2000, 6000);
            events_.push(e);
        }
        QCoreApplication::processEvents();
        const auto next = events_.empty() ? now + 20ms : std::min(events_.top().at, now + 20ms);
        std::this_thread::sleep_until(next);
    }
    void run_for(std::chrono::milliseconds d) {
        const auto end = clock_type::now() + d;
        while (clock_type::now() < end)
            step();
    }
    static void publish(station& s) {
        ++s.number;
        mqtt::snapshot snap;
        snap.sensor1 = s.number % 1000;
        snap.sensor2 = s.number / 1000;
        snap.alarm1 = snap.alarm2 = QStringLiteral("normal");
        snap.link = mqtt::link_state::open;
        snap.port = 1;
        snap.time = QDateTime::currentDateTime();
        s.sent.push_back(clock_type::now());
        s.link->publish_state(mqtt::state_json(snap));
    }

private:
    struct event {
        clock_type::time_point at;
        int station;
        bool tick;
        bool operator>(const event& o) const { return at > o.at; }
    };
    std::chrono::milliseconds ms(int low, int high) {
        return std::chrono::milliseconds(std::uniform_int_distribution<int>(low, high)(random_));
    }
    std::vector<station>& fleet_;
    std::priority_queue<event, std::vector<event>, std::greater<>> events_;
    std::mt19937 random_{17};
};

mqtt::settings settings_for(int i, int port) {
    mqtt::settings s;
    s.host = QStringLiteral("127.0.0.1");
    s.port = port;
    s.topic = QStringLiteral("kestrova/station%1").arg(i);
    s.client_id = QStringLiteral("station%1").arg(i);
    s.discovery = QStringLiteral("homeassistant");
    return s;
}

// The broker's CPU over whole seconds, its highest one-second share.
class cpu_watch {
public:
    explicit cpu_watch(qint64 pid)
        : pid_(pid)
        , last_cpu_(cpu_seconds(pid)) {}
    void sample() {
        if (seconds_since(last_at_) < 1.0)
            return;
        const double cpu = cpu_seconds(pid_);
        peak_ = std::max(peak_, (cpu - last_cpu_) / seconds_since(last_at_));
        last_cpu_ = cpu;
        last_at_ = clock_type::now();
    }
    double peak() const { return peak_; }

private:
    qint64 pid_;
    double last_cpu_;
    clock_type::time_point last_at_ = clock_type::now();
    double peak_ = 0;
};

// Connects per second as the broker's log tells them ("<unix time>: New
// client connected ..."), from `since` (unix time) on: the peak and the
// second it happened in.
std::pair<int, long> peak_connects(const QString& log, long since) {
    std::map<long, int> per_second;
    for (const QByteArray& line : read_file(log).split('\n')) {
        if (!line.contains(": New client connected"))
            continue;
        const long t = line.left(line.indexOf(':')).toLong();
        if (t >= since)
            ++per_second[t];
    }
    std::pair<int, long> peak{0, 0};
    for (const auto& [t, n] : per_second)
        if (n > peak.first)
            peak = {n, t};
    return peak;
}

void start_fleet(std::vector<station>& fleet, int n, int port) {
    fleet.resize(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const mqtt::settings s = settings_for(i, port);
        fleet[static_cast<std::size_t>(i)].link = std::make_unique<mqtt_link>(
            s, mqtt::discovery_configs(s, QStringLiteral("site-pc%1").arg(i), QStringLiteral("1")));
    }
}

// Runs the feeder until every station has said "online" since `from`.
bool wait_online(feeder& feed, const observer& obs, int n, clock_type::time_point from,
                 std::chrono::seconds limit) {
    const auto end = clock_type::now() + limit;
    std::vector<bool> online(static_cast<std::size_t>(n));
    int count = 0;
    std::size_t seen = 0;
    while (clock_type::now() < end) {
        feed.step();
        const auto fresh = obs.arrivals(seen);
        seen += fresh.size();
        for (const arrival& a : fresh)
            if (a.kind == arrival::status_online && a.at >= from && a.station >= 0 &&
                a.station < n && !online[static_cast<std::size_t>(a.station)]) {
                online[static_cast<std::size_t>(a.station)] = true;
                ++count;
            }
        if (count == n)
            return true;
    }
    std::printf("only %d of %d stations online after %lld s\n", count, n,
                static_cast<long long>(limit.count()));
    return false;
}

// Delays of the state messages published from `from` until `to`, and how
// many of those never arrived.
void report_delays(const std::vector<station>& fleet, const std::vector<arrival>& arrivals,
                   clock_type::time_point from, clock_type::time_point to) {
    std::vector<double> delays;
    std::vector<std::vector<bool>> arrived(fleet.size());
    for (std::size_t i = 0; i < fleet.size(); ++i)
        arrived[i].resize(fleet[i].sent.size());
    for (const arrival& a : arrivals) {
        if (a.kind != arrival::state || a.station < 0 ||
            a.station >= static_cast<int>(fleet.size()))
            continue;
        const auto i = static_cast<std::size_t>(a.station);
        const auto k = static_cast<std::size_t>(a.number);
        if (k >= fleet[i].sent.size() || arrived[i][k])
            continue;
        arrived[i][k] = true;
        const auto sent = fleet[i].sent[k];
        if (sent >= from && sent < to)
            delays.push_back(std::chrono::duration<double, std::milli>(a.at - sent).count());
    }
    std::size_t published = 0;
    for (std::size_t i = 0; i < fleet.size(); ++i)
        for (std::size_t k = 1; k < fleet[i].sent.size(); ++k)
            published += fleet[i].sent[k] >= from && fleet[i].sent[k] < to;
    std::printf("state messages published %zu, arrived %zu, never arrived %zu\n", published,
                delays.size(), published - delays.size());
    std::printf("delay reading -> state message: median %.2f ms, 99th percentile %.2f ms, "
                "max %.2f ms\n",
                percentile(delays, 0.5), percentile(delays, 0.99), percentile(delays, 1.0));
}

int steady_and_restart(int n, int seconds, bool restart) {
    test_broker broker;
    broker.add_config("max_connections -1\nlog_dest file " +
                      broker.path(QStringLiteral("broker.log")).toLocal8Bit());
    if (!broker.start()) {
        std::printf("no broker\n");
        return 1;
    }
    observer obs(broker.port(), false, nullptr);
    const QString self = QStringLiteral("self");
    const long rss_before = status_field(self, "VmRSS");
    const long size_before = status_field(self, "VmSize");
    const long threads_before = status_field(self, "Threads");
    std::vector<station> fleet;
    const auto started = clock_type::now();
    start_fleet(fleet, n, broker.port());
    feeder feed(fleet);
    if (!wait_online(feed, obs, n, started, 120s))
        return 1;
    std::printf("%d stations online in %.2f s (load %s)\n", n, seconds_since(started),
                qPrintable(load()));
    feed.run_for(2s);
    const long rss = status_field(self, "VmRSS") - rss_before;
    const long size = status_field(self, "VmSize") - size_before;
    std::printf("this process: %ld KiB resident (%.1f KiB per station), %ld KiB virtual "
                "(%.0f KiB per station), %ld threads more\n",
                rss, static_cast<double>(rss) / n, size, static_cast<double>(size) / n,
                status_field(self, "Threads") - threads_before);

    const QString broker_pid = QString::number(broker.pid());
    const double broker_cpu = cpu_seconds(broker.pid());
    const std::size_t before = obs.arrivals().size();
    const auto from = clock_type::now();
    feed.run_for(std::chrono::seconds(seconds));
    const auto to = clock_type::now();
    const double wall = std::chrono::duration<double>(to - from).count();
    feed.run_for(2s); // the last messages' way
    const auto arrivals = obs.arrivals();
    std::size_t in_run = 0;
    for (std::size_t i = before; i < arrivals.size(); ++i)
        in_run += arrivals[i].at < to;
    std::printf("steady, %d stations, %.1f s (load %s)\n", n, wall, qPrintable(load()));
    std::printf("subscriber: %.1f messages per second\n", static_cast<double>(in_run) / wall);
    report_delays(fleet, arrivals, from, to);
    std::printf("broker: %.1f %% of a core, %ld KiB resident (peak %ld KiB)\n",
                100 * (cpu_seconds(broker.pid()) - broker_cpu) / wall,
                status_field(broker_pid, "VmRSS"), status_field(broker_pid, "VmHWM"));
    if (!restart)
        return 0;

    broker.kill();
    const auto killed = clock_type::now();
    feed.run_for(5s);
    const long since = static_cast<long>(std::time(nullptr));
    if (!broker.start()) {
        std::printf("the broker did not come back\n");
        return 1;
    }
    const auto back = clock_type::now();
    cpu_watch cpu(broker.pid());
    // Back: "online", the four configs and a state, all since the restart.
    struct progress {
        bool online = false;
        int configs = 0;
        bool state = false;
    };
    std::vector<progress> p(static_cast<std::size_t>(n));
    int complete = 0;
    std::size_t seen = obs.arrivals().size();
    const auto limit = back + 180s;
    while (complete < n && clock_type::now() < limit) {
        feed.step();
        cpu.sample();
        const auto fresh = obs.arrivals(seen);
        seen += fresh.size();
        for (const arrival& x : fresh) {
            if (x.at < back || x.station < 0 || x.station >= n)
                continue;
            progress& s = p[static_cast<std::size_t>(x.station)];
            const bool was = s.online && s.configs >= 4 && s.state;
            s.online |= x.kind == arrival::status_online;
            s.configs += x.kind == arrival::config;
            s.state |= x.kind == arrival::state;
            complete += !was && s.online && s.configs >= 4 && s.state;
        }
    }
    const double all_back = seconds_since(back);
    feed.run_for(3s);
    cpu.sample();
    const auto [peak, at] = peak_connects(broker.path(QStringLiteral("broker.log")), since);
    std::printf("broker killed for %.1f s, then started again (load %s)\n",
                std::chrono::duration<double>(back - killed).count(), qPrintable(load()));
    std::printf("stations back (online, 4 configs, latest state): %d of %d, the last %.2f s "
                "after the broker's start\n",
                complete, n, all_back);
    std::printf("peak connects in one second: %d (%ld s after the start); broker CPU peak "
                "%.1f %% of a core\n",
                peak, at - since, 100 * cpu.peak());
    return 0;
}

int bridged(int n, int seconds, int outage) {
    test_broker central;
    central.add_config("max_connections -1\npersistence true\npersistence_location " +
                       QDir(central.path(QStringLiteral("."))).absolutePath().toLocal8Bit() + "/");
    if (!central.start()) {
        std::printf("no central broker\n");
        return 1;
    }
    const QString example = QDir(QString::fromLocal8Bit(build_paths::source_dir))
                                .filePath(QStringLiteral("data/examples/mosquitto-bridge.conf"));
    test_broker site;
    site.add_config("max_connections -1\n" +
                    QString::fromUtf8(read_file(example))
                        .replace(QRegularExpression(QStringLiteral("\naddress [^\n]*")),
                                 QStringLiteral("\naddress 127.0.0.1:%1").arg(central.port()))
                        .toUtf8());
    if (!site.start()) {
        std::printf("no site broker\n");
        return 1;
    }
    // The observer at the centre keeps its session there, so that nothing
    // delivered while it reconnects is missed.
    observer at_centre(central.port(), true, "fleet-sim-centre");
    observer at_site(site.port(), false, nullptr);
    std::vector<station> fleet;
    const auto started = clock_type::now();
    start_fleet(fleet, n, site.port());
    feeder feed(fleet);
    if (!wait_online(feed, at_centre, n, started, 120s))
        return 1;
    std::printf("%d stations online at the centre in %.2f s (load %s)\n", n, seconds_since(started),
                qPrintable(load()));
    feed.run_for(std::chrono::seconds(seconds));

    central.stop();
    const auto stopped = clock_type::now();
    feed.run_for(std::chrono::seconds(outage));
    if (!central.start()) {
        std::printf("the central broker did not come back\n");
        return 1;
    }
    const auto back = clock_type::now();
    // Every station's latest state as of the return, at the centre.
    std::vector<int> due(fleet.size());
    for (std::size_t i = 0; i < fleet.size(); ++i)
        due[i] = fleet[i].number;
    double all_there = -1;
    std::vector<int> got(fleet.size());
    std::size_t seen = 0;
    while (seconds_since(back) < 10 || (all_there < 0 && seconds_since(back) < 120)) {
        feed.step();
        if (all_there >= 0)
            continue;
        const auto fresh = at_centre.arrivals(seen);
        seen += fresh.size();
        for (const arrival& a : fresh)
            if (a.kind == arrival::state && a.at >= back && a.station >= 0 && a.station < n)
                got[static_cast<std::size_t>(a.station)] =
                    std::max(got[static_cast<std::size_t>(a.station)], a.number);
        if (std::equal(got.begin(), got.end(), due.begin(), std::greater_equal<>()))
            all_there = seconds_since(back);
    }
    // What a newcomer at the centre finds retained 10 s after the return.
    const auto asked = clock_type::now();
    std::vector<int> latest(fleet.size());
    for (std::size_t i = 0; i < fleet.size(); ++i)
        latest[i] = fleet[i].number;
    observer newcomer(central.port(), false, nullptr);
    std::vector<int> retained(fleet.size(), -1);
    std::size_t read = 0;
    for (int settled = 0; settled < 50;) {
        feed.step();
        int have = 0;
        const auto fresh = newcomer.arrivals(read);
        read += fresh.size();
        for (const arrival& a : fresh)
            if (a.kind == arrival::state && a.retained && a.station >= 0 && a.station < n)
                retained[static_cast<std::size_t>(a.station)] = a.number;
        for (int r : retained)
            have += r >= 0;
        settled = have == n || seconds_since(asked) > 10 ? settled + 1 : 0;
    }
    int missing = 0;
    for (std::size_t i = 0; i < fleet.size(); ++i)
        missing += retained[i] < latest[i];
    feed.run_for(3s);

    // Loss: every state the site broker had, at the centre.
    std::map<std::pair<int, int>, bool> at_centre_states;
    for (const arrival& a : at_centre.arrivals())
        if (a.kind == arrival::state)
            at_centre_states[{a.station, a.number}] = true;
    std::size_t site_states = 0, lost = 0;
    const auto until = clock_type::now() - 3s;
    for (const arrival& a : at_site.arrivals())
        if (a.kind == arrival::state && a.at >= started && a.at < until) {
            ++site_states;
            lost += !at_centre_states.count({a.station, a.number});
        }
    std::printf("central broker stopped for %.1f s with %d stations on the site broker (load %s)\n",
                std::chrono::duration<double>(back - stopped).count(), n, qPrintable(load()));
    std::printf("every station's latest state at the centre %.2f s after its return\n", all_there);
    std::printf("stations without their latest state retained at the centre %.1f s after its "
                "return: %d of %d\n",
                std::chrono::duration<double>(asked - back).count(), missing, n);
    std::printf("state messages at the site broker %zu, of them never at the centre %zu\n",
                site_states, lost);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 100;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 60;
    const std::string mode = argc > 3 ? argv[3] : "";
    std::printf("open files: %ld\n", raise_open_files());
    if (mode == "bridge")
        return bridged(n, seconds, argc > 4 ? std::atoi(argv[4]) : 30);
    return steady_and_restart(n, seconds, mode == "restart");
}
