// Many stations without windows: N of the program's own broker links with
// its own state messages, discovery configs, status and last will, no logger,
// fed at the logger's pace (a reading that changes every 2 to 6 s and a state
// message on every 5 s sampling tick), against a real mosquitto on 127.0.0.1
// that this benchmark starts, one subscriber to everything. The stations run
// in one worker process up to 2,000 (see stations_per_process). Every state message
// carries its station's running number, so the subscriber knows which one
// arrived and when.
//   fleet_sim N [SECONDS]           steady run: messages per second, delay
//                                   reading -> state message, broker CPU and
//                                   memory, the stations' memory
//   fleet_sim N [SECONDS] restart   then the broker killed for 5 s: time until
//                                   every station is back, connects per second
//                                   and CPU of the broker meanwhile
//   fleet_sim N [SECONDS] bridge [OUTAGE]
//                                   the stations on a site broker with the
//                                   shipped bridge example, bridged to a
//                                   central broker that stops for OUTAGE s
//                                   (default 30): states lost, stations
//                                   without their latest state at the centre

#include "mqtt/mqtt_link.h"
#include "support/broker.h"
#include "support/build_paths.h"
#include "support/files.h"
#include "support/process.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <mosquitto.h>
#include <mutex>
#include <queue>
#include <random>
#include <set>
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

// A field of /proc/<pid>/status in KiB ("VmRSS", "VmHWM", "VmSize"), or a
// count ("Threads").
long status_field(const QString& pid, const char* name) {
    const QByteArray status = read_file(QStringLiteral("/proc/%1/status").arg(pid));
    for (const QByteArray& line : status.split('\n'))
        if (line.startsWith(QByteArray(name) + ':'))
            return line.mid(static_cast<qsizetype>(qstrlen(name)) + 1)
                .trimmed()
                .split(' ')
                .first()
                .toLong();
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
    const qsizetype from = topic.indexOf("station");
    if (from < 0)
        return a;
    qsizetype end = from + 7;
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

// Each link holds five descriptors (its socket, the pair with which the
// library wakes its thread, and the program's own wake pipe), and a process
// here may open 20,000 files: so up to 2,000 stations run in one worker
// process, more in several.
constexpr int stations_per_process = 2000;

struct station {
    std::unique_ptr<mqtt::mqtt_link> link;
    int number = 0;
    std::vector<clock_type::time_point> sent{clock_type::time_point{}}; // by number
};

// Feeds the stations: a change every 2 to 6 s and a sampling tick every 5 s,
// each a state message with the station's next number.
class feeder {
public:
    feeder(std::vector<station>& fleet, unsigned seed)
        : fleet_(fleet)
        , random_(seed) {
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
    static void publish(station& s) {
        ++s.number;
        rules::mqtt::snapshot snap;
        snap.sensor1 = s.number % 1000;
        snap.sensor2 = s.number / 1000;
        snap.alarm1 = snap.alarm2 = QStringLiteral("normal");
        snap.link = rules::mqtt::link_state::open;
        snap.port = 1;
        snap.time = QDateTime::currentDateTime();
        s.sent.push_back(clock_type::now());
        s.link->publish_state(rules::mqtt::state_json(snap));
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
    std::mt19937 random_;
};

// A broker for a fleet: a connection per station, and a queue per client
// deep enough for a subscriber to everything, which gets six messages from
// every station at once when they all connect; the default of 1,000 would
// drop some of them.
const QByteArray fleet_broker = "max_connections -1\nmax_queued_messages 1000000\n";

rules::mqtt::settings settings_for(int i, int port) {
    rules::mqtt::settings s;
    s.host = QStringLiteral("127.0.0.1");
    s.port = port;
    s.topic = QStringLiteral("kestrova/station%1").arg(i);
    s.client_id = QStringLiteral("station%1").arg(i);
    s.discovery = QStringLiteral("homeassistant");
    return s;
}

std::atomic<bool> told_to_stop{false};

// A worker, "--stations FROM COUNT PORT RESULT": stations FROM to
// FROM + COUNT - 1 on PORT until SIGTERM; then writes its memory and every
// state it published (station, number, steady clock in ns, which all
// processes share) to the file RESULT.
int worker(const QStringList& args) {
    const int from = args[2].toInt();
    const int count = args[3].toInt();
    const int port = args[4].toInt();
    const QString self = QStringLiteral("self");
    const long rss_before = status_field(self, "VmRSS");
    const long size_before = status_field(self, "VmSize");
    const long threads_before = status_field(self, "Threads");
    std::signal(SIGTERM, [](int) { told_to_stop = true; });
    std::vector<station> fleet(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const rules::mqtt::settings s = settings_for(from + i, port);
        const QString host = QStringLiteral("site-pc%1").arg(from + i);
        // Each station reads its topic's owner before it publishes, as the
        // program does.
        fleet[static_cast<std::size_t>(i)].link = std::make_unique<mqtt::mqtt_link>(
            s, mqtt::mqtt_link::announcement{
                   rules::mqtt::discovery_configs(s, host, QStringLiteral("1")),
                   {},
                   rules::mqtt::owner{s.station, host, QStringLiteral("/srv/kestrova")}});
    }
    feeder feed(fleet, static_cast<unsigned>(from + 1));
    while (!told_to_stop)
        feed.step();
    QByteArray out = QByteArray::number(status_field(self, "VmRSS") - rss_before) + ' ' +
                     QByteArray::number(status_field(self, "VmSize") - size_before) + ' ' +
                     QByteArray::number(status_field(self, "Threads") - threads_before) + '\n';
    for (int i = 0; i < count; ++i) {
        const station& s = fleet[static_cast<std::size_t>(i)];
        for (std::size_t k = 1; k < s.sent.size(); ++k)
            out += QByteArray::number(from + i) + ' ' + QByteArray::number(k) + ' ' +
                   QByteArray::number(
                       static_cast<qint64>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                               s.sent[k].time_since_epoch())
                                               .count())) +
                   '\n';
    }
    write_file(args[5], out);
    // The links' goodbyes are of no interest here.
    std::_Exit(0);
}

// The stations in worker processes, and what they say when stopped.
class fleet {
public:
    fleet(int n, int port)
        : n_(n) {
        for (int from = 0; from < n; from += stations_per_process) {
            auto p = std::make_unique<QProcess>();
            p->setProcessChannelMode(QProcess::ForwardedChannels);
            p->start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--stations"), QString::number(from),
                      QString::number(std::min(stations_per_process, n - from)),
                      QString::number(port), dir_.filePath(QString::number(from))});
            workers_.push_back(std::move(p));
        }
    }
    ~fleet() { stop(); }
    fleet(const fleet&) = delete;
    fleet& operator=(const fleet&) = delete;

    // Stops the workers and reads what they published.
    void stop() {
        if (workers_.empty())
            return;
        for (auto& p : workers_)
            p->terminate();
        for (auto& p : workers_)
            p->waitForFinished(60000);
        workers_.clear();
        sent_.assign(static_cast<std::size_t>(n_), {clock_type::time_point{}});
        for (int from = 0; from < n_; from += stations_per_process) {
            const QList<QByteArray> lines =
                read_file(dir_.filePath(QString::number(from))).split('\n');
            if (lines.isEmpty())
                continue;
            const QList<QByteArray> memory = lines[0].split(' ');
            if (memory.size() == 3) {
                rss_ += memory[0].toLong();
                size_ += memory[1].toLong();
                threads_ += memory[2].toLong();
            }
            for (qsizetype l = 1; l < lines.size(); ++l) {
                const QList<QByteArray> f = lines[l].split(' ');
                if (f.size() != 3)
                    continue;
                auto& sent = sent_[static_cast<std::size_t>(f[0].toInt())];
                const auto k = static_cast<std::size_t>(f[1].toInt());
                if (sent.size() <= k)
                    sent.resize(k + 1);
                sent[k] = clock_type::time_point(std::chrono::nanoseconds(f[2].toLongLong()));
            }
        }
    }
    // When each station published each of its states, by station and number.
    const std::vector<std::vector<clock_type::time_point>>& sent() const { return sent_; }
    // The newest number of each station published before `t`.
    std::vector<int> latest_before(clock_type::time_point t) const {
        std::vector<int> latest(sent_.size());
        for (std::size_t i = 0; i < sent_.size(); ++i)
            for (std::size_t k = 1; k < sent_[i].size(); ++k)
                if (sent_[i][k] < t)
                    latest[i] = static_cast<int>(k);
        return latest;
    }
    void print_memory() const {
        std::printf("station processes: %ld KiB resident more (%.1f KiB per station), %ld KiB "
                    "virtual more (%.0f KiB per station), %ld threads more, %d processes\n",
                    rss_, static_cast<double>(rss_) / n_, size_, static_cast<double>(size_) / n_,
                    threads_, (n_ + stations_per_process - 1) / stations_per_process);
    }

private:
    int n_;
    QTemporaryDir dir_;
    std::vector<std::unique_ptr<QProcess>> workers_;
    std::vector<std::vector<clock_type::time_point>> sent_;
    long rss_ = 0, size_ = 0, threads_ = 0;
};

void pause_a_moment() {
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(20ms);
}

void wait_for(std::chrono::milliseconds d) {
    const auto end = clock_type::now() + d;
    while (clock_type::now() < end)
        pause_a_moment();
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

// Waits until every station has said "online" since `from`.
bool wait_online(const observer& obs, int n, clock_type::time_point from,
                 std::chrono::seconds limit) {
    const auto end = clock_type::now() + limit;
    std::vector<bool> online(static_cast<std::size_t>(n));
    int count = 0;
    std::size_t seen = 0;
    while (clock_type::now() < end) {
        pause_a_moment();
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
void report_delays(const fleet& stations, const std::vector<arrival>& arrivals,
                   clock_type::time_point from, clock_type::time_point to) {
    const auto& sent = stations.sent();
    std::vector<double> delays;
    std::vector<std::vector<bool>> arrived(sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i)
        arrived[i].resize(sent[i].size());
    for (const arrival& a : arrivals) {
        if (a.kind != arrival::state || a.station < 0 || a.station >= static_cast<int>(sent.size()))
            continue;
        const auto i = static_cast<std::size_t>(a.station);
        const auto k = static_cast<std::size_t>(a.number);
        if (k >= sent[i].size() || arrived[i][k])
            continue;
        arrived[i][k] = true;
        if (sent[i][k] >= from && sent[i][k] < to)
            delays.push_back(std::chrono::duration<double, std::milli>(a.at - sent[i][k]).count());
    }
    std::size_t published = 0;
    for (const auto& s : sent)
        for (std::size_t k = 1; k < s.size(); ++k)
            published += s[k] >= from && s[k] < to;
    std::printf("state messages published %zu, arrived %zu, never arrived %zu\n", published,
                delays.size(), published - delays.size());
    std::printf("delay reading -> state message: median %.2f ms, 99th percentile %.2f ms, "
                "max %.2f ms\n",
                percentile(delays, 0.5), percentile(delays, 0.99), percentile(delays, 1.0));
}

int steady_and_restart(int n, int seconds, bool restart) {
    test_broker broker;
    broker.add_config(fleet_broker + "log_dest file " +
                      broker.path(QStringLiteral("broker.log")).toLocal8Bit());
    if (!broker.start()) {
        std::printf("no broker\n");
        return 1;
    }
    observer obs(broker.port(), false, nullptr);
    const auto started = clock_type::now();
    fleet stations(n, broker.port());
    if (!wait_online(obs, n, started, 120s))
        return 1;
    std::printf("%d stations online in %.2f s (load %s)\n", n, seconds_since(started),
                qPrintable(load()));
    wait_for(2s);

    const QString broker_pid = QString::number(broker.pid());
    const double broker_cpu = cpu_seconds(broker.pid());
    const std::size_t before = obs.arrivals().size();
    const auto from = clock_type::now();
    wait_for(std::chrono::seconds(seconds));
    const auto to = clock_type::now();
    const double wall = std::chrono::duration<double>(to - from).count();
    const double used = cpu_seconds(broker.pid()) - broker_cpu;
    const QString steady_load = load();
    std::printf("broker: %.1f %% of a core, %ld KiB resident (peak %ld KiB)\n", 100 * used / wall,
                status_field(broker_pid, "VmRSS"), status_field(broker_pid, "VmHWM"));
    if (!restart) {
        wait_for(2s); // the last messages' way
        stations.stop();
        const auto arrivals = obs.arrivals();
        std::size_t in_run = 0;
        for (std::size_t i = before; i < arrivals.size(); ++i)
            in_run += arrivals[i].at < to;
        std::printf("steady, %d stations, %.1f s (load %s)\n", n, wall, qPrintable(steady_load));
        std::printf("subscriber: %.1f messages per second\n", static_cast<double>(in_run) / wall);
        report_delays(stations, arrivals, from, to);
        stations.print_memory();
        return 0;
    }

    broker.kill();
    const auto killed = clock_type::now();
    wait_for(5s);
    const long since = static_cast<long>(std::time(nullptr));
    if (!broker.start()) {
        std::printf("the broker did not come back\n");
        return 1;
    }
    const auto back = clock_type::now();
    cpu_watch cpu(broker.pid());
    // Back: "online", the seven configs and a state, all since the restart.
    struct progress {
        bool online = false;
        int configs = 0;
        bool state = false;
    };
    std::vector<progress> p(static_cast<std::size_t>(n));
    std::vector<clock_type::time_point> online_at;
    int complete = 0;
    std::size_t seen = obs.arrivals().size();
    const auto limit = back + 180s;
    while (complete < n && clock_type::now() < limit) {
        pause_a_moment();
        cpu.sample();
        const auto fresh = obs.arrivals(seen);
        seen += fresh.size();
        for (const arrival& x : fresh) {
            if (x.at < back || x.station < 0 || x.station >= n)
                continue;
            progress& s = p[static_cast<std::size_t>(x.station)];
            const bool was = s.online && s.configs >= 7 && s.state;
            if (x.kind == arrival::status_online && !s.online)
                online_at.push_back(x.at);
            s.online |= x.kind == arrival::status_online;
            s.configs += x.kind == arrival::config;
            s.state |= x.kind == arrival::state;
            complete += !was && s.online && s.configs >= 7 && s.state;
        }
    }
    const double all_back = seconds_since(back);
    for (int i = 0; i < 3; ++i) {
        wait_for(1s);
        cpu.sample();
    }
    const auto [peak, at] = peak_connects(broker.path(QStringLiteral("broker.log")), since);
    // The same from the "online" that each station sends first on connect,
    // over any second rather than the log's whole seconds.
    std::sort(online_at.begin(), online_at.end());
    std::size_t most = 0;
    for (std::size_t first = 0, last = 0; last < online_at.size(); ++last) {
        while (online_at[last] - online_at[first] >= 1s)
            ++first;
        most = std::max(most, last - first + 1);
    }
    std::printf("broker killed for %.1f s, then started again (load %s)\n",
                std::chrono::duration<double>(back - killed).count(), qPrintable(load()));
    std::printf("stations back (online, 7 configs, a state): %d of %d, the last %.2f s after the "
                "broker's start\n",
                complete, n, all_back);
    std::printf("peak connects in one second of the broker's log: %d (%ld s after the start); "
                "stations online in any one second: %zu; broker CPU peak %.1f %% of a core\n",
                peak, at - since, most, 100 * cpu.peak());
    return 0;
}

int bridged(int n, std::chrono::seconds steady, std::chrono::seconds outage) {
    test_broker central;
    central.add_config(fleet_broker + "persistence true\npersistence_location " +
                       QDir(central.path(QStringLiteral("."))).absolutePath().toLocal8Bit() + "/");
    if (!central.start()) {
        std::printf("no central broker\n");
        return 1;
    }
    const QString example = QDir(QString::fromLocal8Bit(build_paths::source_dir))
                                .filePath(QStringLiteral("data/examples/mosquitto-bridge.conf"));
    test_broker site;
    site.add_config(fleet_broker +
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
    const auto started = clock_type::now();
    fleet stations(n, site.port());
    if (!wait_online(at_centre, n, started, 120s))
        return 1;
    std::printf("%d stations online at the centre in %.2f s (load %s)\n", n, seconds_since(started),
                qPrintable(load()));
    wait_for(steady);

    const QString site_pid = QString::number(site.pid());
    const long site_rss = status_field(site_pid, "VmRSS");
    central.stop();
    const auto stopped = clock_type::now();
    wait_for(outage);
    const long site_rss_held = status_field(site_pid, "VmRSS");
    if (!central.start()) {
        std::printf("the central broker did not come back\n");
        return 1;
    }
    const auto back = clock_type::now();
    const QString outage_load = load();
    wait_for(10s);
    // What a newcomer at the centre finds retained 10 s after the return.
    const auto asked = clock_type::now();
    observer newcomer(central.port(), false, nullptr);
    wait_for(5s);
    wait_for(3s); // the stations' last messages' way to the centre
    stations.stop();

    // Every station's latest state as of the return: when it was at the centre.
    const std::vector<int> due = stations.latest_before(back);
    std::vector<clock_type::time_point> there(static_cast<std::size_t>(n),
                                              clock_type::time_point::max());
    for (const arrival& a : at_centre.arrivals()) {
        if (a.kind != arrival::state || a.at < back || a.station < 0 || a.station >= n)
            continue;
        auto& t = there[static_cast<std::size_t>(a.station)];
        if (a.number >= due[static_cast<std::size_t>(a.station)])
            t = std::min(t, a.at);
    }
    const auto last_there = *std::max_element(there.begin(), there.end());
    // Retained at the centre: at least what the station published a second
    // before the newcomer asked.
    const std::vector<int> latest = stations.latest_before(asked - 1s);
    std::vector<int> retained(static_cast<std::size_t>(n), -1);
    for (const arrival& a : newcomer.arrivals())
        if (a.kind == arrival::state && a.retained && a.station >= 0 && a.station < n &&
            retained[static_cast<std::size_t>(a.station)] < 0)
            retained[static_cast<std::size_t>(a.station)] = a.number;
    int missing = 0;
    for (std::size_t i = 0; i < retained.size(); ++i)
        missing += retained[i] < latest[i];
    // Loss: every state the site broker had, at the centre.
    std::set<std::pair<int, int>> at_centre_states;
    for (const arrival& a : at_centre.arrivals())
        if (a.kind == arrival::state)
            at_centre_states.insert({a.station, a.number});
    std::size_t site_states = 0, lost = 0, held = 0;
    for (const arrival& a : at_site.arrivals())
        if (a.kind == arrival::state && a.at < asked) {
            ++site_states;
            lost += !at_centre_states.count({a.station, a.number});
            held += a.at >= stopped && a.at < back;
        }
    std::printf("central broker stopped for %.1f s with %d stations on the site broker (load %s)\n",
                std::chrono::duration<double>(back - stopped).count(), n, qPrintable(outage_load));
    std::printf("site broker: %ld KiB resident before, %ld KiB at the end of the outage, with %zu "
                "state messages held (%.2f KiB each)\n",
                site_rss, site_rss_held, held,
                static_cast<double>(site_rss_held - site_rss) / static_cast<double>(held));
    if (last_there == clock_type::time_point::max())
        std::printf("some station's latest state never reached the centre\n");
    else
        std::printf("every station's latest state at the centre %.2f s after its return\n",
                    std::chrono::duration<double>(last_there - back).count());
    std::printf("stations without their latest state retained at the centre %.1f s after its "
                "return: %d of %d\n",
                std::chrono::duration<double>(asked - back).count(), missing, n);
    std::printf("state messages at the site broker until then %zu, of them never at the centre "
                "%zu\n",
                site_states, lost);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    raise_open_files();
    if (args.size() == 6 && args[1] == QLatin1String("--stations"))
        return worker(args);
    const int n = args.size() > 1 ? args[1].toInt() : 100;
    const int seconds = args.size() > 2 ? args[2].toInt() : 60;
    const QString mode = args.size() > 3 ? args[3] : QString();
    std::printf("open files: %ld\n", raise_open_files());
    if (mode == QLatin1String("bridge"))
        return bridged(n, std::chrono::seconds(seconds),
                       std::chrono::seconds(args.size() > 4 ? args[4].toInt() : 30));
    return steady_and_restart(n, seconds, mode == QLatin1String("restart"));
}
