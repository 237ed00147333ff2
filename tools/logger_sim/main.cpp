// kestrova-logger-sim: plays the two-channel temperature logger on a
// pseudo-terminal, so that the monitor has something real to read.
//
//   kestrova-logger-sim --link PATH [--replay 254,25,253,31] [--fast]
//                       [--count N] [--period MS] [--seed S]
//
// The pty's slave is published at PATH as a symbolic link (replaced
// atomically). Without --replay it sends a reading of each sensor every
// period (254 v1 253 v2, values drifting slowly, now and then 255 for "no
// reading"), byte by byte at the pace of a 9600-baud line; --fast writes as
// fast as the pty takes bytes. --count stops sending after N bytes; the pty
// stays open until SIGTERM or SIGINT, which remove the link and end the tool.

#include "pty/raw_pty.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <thread>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stop_requested = 0;

void on_signal(int) {
    stop_requested = 1;
}

struct options {
    QString link;
    QByteArray replay;
    bool fast = false;
    long long count = -1;
    int period_ms = 250;
    unsigned seed = 1;
};

constexpr const char* help_text =
    "Usage: kestrova-logger-sim --link PATH [--replay B,B,...] [--fast] [--count N]\n"
    "                           [--period MS] [--seed S]\n"
    "Plays a two-channel temperature logger on a pseudo-terminal published at PATH.\n"
    "\n"
    "  --link PATH       where the pseudo-terminal is published, as a symbolic link\n"
    "  --replay B,B,...  send these byte values (0..255) over and over instead\n"
    "  --fast            as fast as the pseudo-terminal takes bytes\n"
    "  --count N         stop sending after N bytes (the link stays)\n"
    "  --period MS       one reading of each sensor every MS ms (default 250)\n"
    "  --seed S          seed of the drifting readings (default 1)\n"
    "  -h, --help        show this help and exit\n"
    "  --version         show the version and exit\n"
    "SIGTERM or SIGINT removes the link and ends it. See kestrova-logger-sim(1).\n";

// One line on standard error; the usage is one --help away.
[[noreturn]] void usage(const QString& why) {
    std::fprintf(stderr, "kestrova-logger-sim: %s (see kestrova-logger-sim --help)\n",
                 qPrintable(why));
    std::exit(2);
}

options parse(int argc, char** argv) {
    options o;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        const auto next = [&]() -> QString {
            if (i + 1 >= argc)
                usage(QStringLiteral("%1 needs a value").arg(a));
            return QString::fromLocal8Bit(argv[++i]);
        };
        bool ok = true;
        if (a == QLatin1String("--link")) {
            o.link = next();
        } else if (a == QLatin1String("--replay")) {
            for (const QString& part : next().split(u',', Qt::SkipEmptyParts)) {
                const int v = part.trimmed().toInt(&ok);
                if (!ok || v < 0 || v > 255)
                    usage(QStringLiteral("--replay takes byte values 0..255"));
                o.replay.append(static_cast<char>(v));
            }
        } else if (a == QLatin1String("--fast")) {
            o.fast = true;
        } else if (a == QLatin1String("--count")) {
            o.count = next().toLongLong(&ok);
        } else if (a == QLatin1String("--period")) {
            o.period_ms = next().toInt(&ok);
        } else if (a == QLatin1String("--seed")) {
            o.seed = next().toUInt(&ok);
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(help_text, stdout);
            std::exit(0);
        } else if (a == QLatin1String("--version")) {
            std::printf("kestrova-logger-sim %s\n", KESTROVA_VERSION);
            std::exit(0);
        } else {
            usage(QStringLiteral("unknown option %1").arg(a));
        }
        if (!ok)
            usage(QStringLiteral("%1 takes a number").arg(a));
    }
    if (o.link.isEmpty())
        usage(QStringLiteral("--link PATH is required"));
    return o;
}

bool publish(const QString& slave, const QString& link) {
    const QByteArray tmp =
        (link + QStringLiteral(".tmp") + QString::number(getpid())).toLocal8Bit();
    ::unlink(tmp.constData());
    if (::symlink(slave.toLocal8Bit().constData(), tmp.constData()) != 0)
        return false;
    return ::rename(tmp.constData(), link.toLocal8Bit().constData()) == 0;
}

// The realistic stream: one frame per period for both sensors.
class stream {
public:
    explicit stream(unsigned seed)
        : rng_(seed) {}

    QByteArray frame() {
        QByteArray f;
        f.append(static_cast<char>(254));
        f.append(static_cast<char>(next_value(t1_)));
        f.append(static_cast<char>(253));
        f.append(static_cast<char>(next_value(t2_)));
        return f;
    }

private:
    int next_value(double& t) {
        std::uniform_real_distribution<double> step(-0.3, 0.3);
        std::uniform_int_distribution<int> chance(0, 99);
        t = std::clamp(t + step(rng_), 0.0, 124.0);
        if (chance(rng_) == 0)
            return 255;
        return static_cast<int>(std::lround(t));
    }

    std::mt19937 rng_;
    double t1_ = 23.0;
    double t2_ = 31.0;
};

} // namespace

int main(int argc, char** argv) {
    const options o = parse(argc, argv);

    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // Holding the slave open keeps the pty alive between the monitor's opens.
    const raw_pty pty = open_raw_pty();
    if (pty.master < 0) {
        std::perror("kestrova-logger-sim: openpty");
        return 1;
    }
    const int master = pty.master;
    if (!publish(pty.slave_path, o.link)) {
        std::perror("kestrova-logger-sim: publishing the link");
        return 1;
    }
    std::printf("%s -> %s\n", o.link.toLocal8Bit().constData(),
                pty.slave_path.toLocal8Bit().constData());
    std::fflush(stdout);

    using clock = std::chrono::steady_clock;
    const auto byte_time = std::chrono::microseconds(1000000 / 960);
    stream gen(o.seed);
    long long sent = 0;
    auto next_frame = clock::now();
    qsizetype replay_pos = 0;
    while (!stop_requested && (o.count < 0 || sent < o.count)) {
        QByteArray chunk;
        if (!o.replay.isEmpty()) {
            chunk = o.replay.mid(replay_pos, o.fast ? 4096 : 4);
            replay_pos += chunk.size();
            if (replay_pos >= o.replay.size())
                replay_pos = 0;
        } else if (o.fast) {
            for (int i = 0; i < 1024; ++i)
                chunk += gen.frame();
        } else {
            chunk = gen.frame();
        }
        if (o.count >= 0 && sent + chunk.size() > o.count)
            chunk.truncate(static_cast<qsizetype>(o.count - sent));
        if (o.fast) {
            if (!write_all(master, chunk.constData(), static_cast<size_t>(chunk.size()),
                           &stop_requested))
                break;
        } else {
            for (char c : chunk) {
                if (!write_all(master, &c, 1, &stop_requested))
                    break;
                std::this_thread::sleep_for(byte_time);
            }
            next_frame += std::chrono::milliseconds(o.period_ms);
            if (o.replay.isEmpty())
                std::this_thread::sleep_until(next_frame);
        }
        sent += chunk.size();
    }
    while (!stop_requested)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ::unlink(o.link.toLocal8Bit().constData());
    std::fprintf(stderr, "kestrova-logger-sim: sent %lld bytes\n", sent);
    ::close(pty.master);
    ::close(pty.slave);
    return 0;
}
