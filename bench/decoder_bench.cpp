// Reading decoder throughput, three ways:
//   (a) the decoding rule alone on 10 M random bytes;
//   (b) the whole port-event path: a thread writes bytes into a pty, the
//       offscreen main window decodes them;
//   (c) end to end: kestrova-logger-sim --fast into a pty, the window
//       decoding until the last byte, with the longest event-loop stall
//       seen by a 10 ms timer;
//   (d) 1 MiB of random bytes ending in 254, 77, 253, 88 through a pty into
//       the shown window: every caption change a real display would see.
//   (e) the same 1 MiB through the whole monitor, both alarms on: the window,
//       the lamps, and what judges each sensor's alarm for the desktop, the
//       broker and the journal. With a fourth argument the journal is a FIFO
//       nobody reads ("fifo") or a link to that file (on a full disk, say).
//   (f) the whole monitor at the logger's own pace for 20 s, sensor 1
//       crossing its threshold every second (an alarm raised and ended each
//       time, a journal line each): the longest stall of the window thread,
//       with the journal where the fourth argument puts it; with a fourth
//       argument "mail:PORT", each alarm and its end also mailed (with the
//       chart) to a mail server on 127.0.0.1:PORT that the caller started
//       (security=none), or to one that stalls.
// The window is shown in (b) to (d); the platform is offscreen unless
// QT_QPA_PLATFORM says otherwise (run (c) and (d) under Xvfb with xcb).
// Prints bytes per second and the ratio to a 9600-baud line (960 bytes/s).
//   decoder_bench [path/to/kestrova-logger-sim] [bytes for b and c] [parts, e.g. "bcd"]
//                 [journal for e, f: fifo | FILE; for f: mail:PORT]

#include "app/frm_thermometer.h"
#include "app/kestrova_app.h"
#include "rules/decoder.h"
#include "serial/comm_control.h"
#include "support/files.h"
#include "support/pty.h"
#include "support/silent_prompts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace {

constexpr double line_rate = 960.0;

// The window thread's CPU over the last run_until, which a loaded machine
// disturbs less than the wall clock.
double last_cpu = 0;

void report(const char* what, double bytes, double seconds) {
    const double rate = bytes / seconds;
    std::printf("%-34s %12.0f bytes in %7.3f s = %12.0f bytes/s = %8.0f x line rate\n", what, bytes,
                seconds, rate, rate / line_rate);
}

void report_cpu(double bytes) {
    std::printf("    window thread CPU %.3f s = %.0f bytes per CPU second\n", last_cpu,
                bytes / last_cpu);
}

// Bytes every sensor sees: markers, values and now and then no reading.
QByteArray logger_bytes(qsizetype n) {
    QByteArray b;
    b.reserve(n);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> value(0, 124);
    while (b.size() < n) {
        b.append(static_cast<char>(b.size() % 4 == 0 ? 254 : 253));
        b.append(static_cast<char>(rng() % 50 == 0 ? 255 : value(rng)));
    }
    b.truncate(n);
    return b;
}

void bench_rule() {
    std::mt19937 rng(1);
    std::vector<int> codes(10'000'000);
    for (int& c : codes)
        c = static_cast<int>(rng() & 0xFF);
    QString state = rules::decoder::state_first;
    QString s1, s2;
    QElapsedTimer t;
    t.start();
    for (int code : codes) {
        rules::decoder::step s = rules::decoder::decode(state, code);
        if (s.new_state)
            state = *s.new_state;
        else if (s.field == rules::decoder::target::sensor1)
            s1 = std::move(s.text);
        else if (s.field == rules::decoder::target::sensor2)
            s2 = std::move(s.text);
    }
    report("(a) decoding rule, random bytes", static_cast<double>(codes.size()),
           static_cast<double>(t.nsecsElapsed()) / 1e9);
}

// Puts MSComm1 of the window on the given device and opens it.
void open_window_on(app::frm_thermometer& w, const QString& device) {
    rules::port_map m;
    m.set_device(1, device);
    w.ui().MSComm1->set_port_map(m);
    if (!w.ui().MSComm1->set_port_open(true))
        std::fprintf(stderr, "cannot open %s\n", qPrintable(device));
}

double thread_cpu_seconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Runs the event loop until `done` holds; returns seconds and the longest
// gap between two ticks of a 10 ms timer.
std::pair<double, double> run_until(const std::function<bool()>& done) {
    const double cpu = thread_cpu_seconds();
    QElapsedTimer t, gap;
    double worst = 0;
    QTimer tick;
    tick.setInterval(10);
    QObject ctx;
    QObject::connect(&tick, &QTimer::timeout, &ctx, [&] {
        worst = std::max(worst, static_cast<double>(gap.nsecsElapsed()) / 1e6);
        gap.restart();
    });
    t.start();
    gap.start();
    tick.start();
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    last_cpu = thread_cpu_seconds() - cpu;
    return {static_cast<double>(t.nsecsElapsed()) / 1e9, worst};
}

// Writes the bytes into a pty from a thread while the shown window decodes
// them; reports the rate and the longest stall.
void bench_pty_feed(const char* what, const QByteArray& bytes) {
    silent_prompts ask;
    app::frm_thermometer w{app::window_seams{ask}};
    w.show();
    pty_pair pty;
    open_window_on(w, pty.slave_path());
    const int master = pty.master_fd();
    std::thread writer([&] {
        qsizetype off = 0;
        while (off < bytes.size()) {
            const ssize_t k =
                ::write(master, bytes.constData() + off,
                        static_cast<size_t>(std::min<qsizetype>(4096, bytes.size() - off)));
            if (k > 0)
                off += k;
        }
    });
    qsizetype seen = 0;
    QObject ctx;
    QObject::connect(w.ui().MSComm1, &serial::comm_control::on_comm, &ctx, [&] { ++seen; });
    const auto [secs, worst] = run_until([&] { return seen >= bytes.size(); });
    writer.join();
    report(what, static_cast<double>(seen), secs);
    std::printf("    longest event-loop stall: %.1f ms; caption = %s\n", worst,
                qPrintable(w.windowTitle()));
    report_cpu(static_cast<double>(seen));
}

void bench_port_path(qsizetype n) {
    bench_pty_feed("(b) port-event path", logger_bytes(n) + QByteArray("\xFE\x7C", 2));
}

void bench_random_mib() {
    std::mt19937 rng(3);
    QByteArray bytes(1 << 20, Qt::Uninitialized);
    for (char& c : bytes)
        c = static_cast<char>(rng() & 0xFF);
    bench_pty_feed("(d) 1 MiB random bytes", bytes + QByteArray("\xFE\x4D\xFD\x58", 4));
}

void bench_whole_monitor(const QString& journal) {
    std::mt19937 rng(3);
    QByteArray bytes(1 << 20, Qt::Uninitialized);
    for (char& c : bytes)
        c = static_cast<char>(rng() & 0xFF);
    bytes += QByteArray("\xFE\x4D\xFD\x58", 4);
    QTemporaryDir dir;
    pty_pair pty;
    write_file(dir.filePath(QStringLiteral("Tarnwick.INI")),
               "[Ports]\r\n1=" + pty.slave_path().toLocal8Bit() +
                   "\r\n[VEZ]\r\nfrm_thermometer.Text7.text=1\r\n"
                   "frm_thermometer.Check2.value=1\r\nfrm_thermometer.Check3.value=1\r\n"
                   "frm_thermometer.Text3.text=30\r\nfrm_thermometer.Text4.text=10\r\n"
                   "frm_thermometer.Text6.text=30\r\nfrm_thermometer.Text5.text=10\r\n");
    const QString at = dir.filePath(QStringLiteral("TARNWICK-journal.jsonl"));
    if (journal == QLatin1String("fifo"))
        ::mkfifo(QFile::encodeName(at).constData(), 0600);
    else if (!journal.isEmpty())
        QFile::link(journal, at);
    silent_prompts ask;
    app::kestrova_app monitor(app::window_seams{.ask = ask, .work_dir = dir.path()});
    if (!monitor.load()) {
        std::printf("(e) skipped: the monitor did not start\n");
        return;
    }
    app::frm_thermometer& w = monitor.window();
    const int master = pty.master_fd();
    std::thread writer([&] {
        qsizetype off = 0;
        while (off < bytes.size()) {
            const ssize_t k =
                ::write(master, bytes.constData() + off,
                        static_cast<size_t>(std::min<qsizetype>(4096, bytes.size() - off)));
            if (k > 0)
                off += k;
        }
    });
    qsizetype seen = 0;
    QObject ctx;
    QObject::connect(w.ui().MSComm1, &serial::comm_control::on_comm, &ctx, [&] { ++seen; });
    const auto [secs, worst] = run_until([&] { return seen >= bytes.size(); });
    writer.join();
    report(journal.isEmpty() ? "(e) 1 MiB through the whole monitor"
                             : "(e) the same, journal elsewhere",
           static_cast<double>(seen), secs);
    std::printf("    longest event-loop stall: %.1f ms; caption = %s\n", worst,
                qPrintable(w.windowTitle()));
    report_cpu(static_cast<double>(seen));
    monitor.unload();
}

void bench_paced_monitor(QString journal) {
    QTemporaryDir dir;
    pty_pair pty;
    QByteArray mail;
    if (journal.startsWith(QLatin1String("mail:"))) {
        mail = "[Mail]\r\nhost=127.0.0.1\r\nsecurity=none\r\nport=" + journal.mid(5).toLatin1() +
               "\r\nto=bench@localhost\r\n";
        journal.clear();
    }
    write_file(dir.filePath(QStringLiteral("Tarnwick.INI")),
               "[Ports]\r\n1=" + pty.slave_path().toLocal8Bit() + "\r\n[Alarm]\r\nhold=0\r\n" +
                   mail +
                   "[VEZ]\r\nfrm_thermometer.Text7.text=1\r\n"
                   "frm_thermometer.Check2.value=1\r\nfrm_thermometer.Text3.text=30\r\n"
                   "frm_thermometer.Text4.text=10\r\n");
    const QString at = dir.filePath(QStringLiteral("TARNWICK-journal.jsonl"));
    if (journal == QLatin1String("fifo"))
        ::mkfifo(QFile::encodeName(at).constData(), 0600);
    else if (!journal.isEmpty())
        QFile::link(journal, at);
    silent_prompts ask;
    app::kestrova_app monitor(app::window_seams{.ask = ask, .work_dir = dir.path()});
    if (!monitor.load())
        return;
    int n = 0;
    QTimer logger;
    QObject ctx;
    QObject::connect(&logger, &QTimer::timeout, &ctx, [&] {
        const char value = (++n / 4) % 2 ? char(35) : char(25);
        pty.write(QByteArray("\xFE", 1) + value + QByteArray("\xFD\x14", 2));
    });
    logger.start(250);
    QElapsedTimer run;
    run.start();
    // The window's first drawing is no part of it.
    run_until([&] { return run.elapsed() > 3000; });
    run.restart();
    const auto [secs, worst] = run_until([&] { return run.elapsed() > 20000; });
    std::printf("(f) the whole monitor at the logger's pace, journal %s%s: longest stall %.1f ms "
                "over %.0f s, window thread CPU %.3f s\n",
                journal.isEmpty() ? "beside the log" : qPrintable(journal),
                mail.isEmpty() ? "" : ", each alarm mailed", worst, secs, last_cpu);
    monitor.unload();
    if (QFileInfo(at).isFile())
        std::printf("    journal lines: %lld\n", static_cast<long long>(read_file(at).count('\n')));
}

void bench_end_to_end(const QString& sim, qsizetype n) {
    if (!QFileInfo(sim).isExecutable()) {
        std::printf("(c) skipped: no logger simulator at %s\n", qPrintable(sim));
        return;
    }
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("logger"));
    QProcess p;
    p.setProgram(sim);
    p.setArguments({QStringLiteral("--link"), link, QStringLiteral("--fast"),
                    QStringLiteral("--count"), QString::number(n)});
    p.start();
    QElapsedTimer wait;
    wait.start();
    while (!QFileInfo::exists(link) && wait.elapsed() < 5000)
        QThread::msleep(5);
    silent_prompts ask;
    app::frm_thermometer w{app::window_seams{ask}};
    w.show();
    qsizetype seen = 0;
    QObject ctx;
    QObject::connect(w.ui().MSComm1, &serial::comm_control::on_comm, &ctx, [&] { ++seen; });
    open_window_on(w, link);
    const auto [secs, worst] = run_until([&] { return seen >= n; });
    report("(c) logger sim --fast end to end", static_cast<double>(seen), secs);
    std::printf("    longest event-loop stall: %.1f ms; caption = %s\n", worst,
                qPrintable(w.windowTitle()));
    report_cpu(static_cast<double>(seen));
    p.terminate();
    p.waitForFinished(3000);
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString sim = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                 : QCoreApplication::applicationDirPath() +
                                       QStringLiteral("/../kestrova-logger-sim");
    const qsizetype n = argc > 2 ? QByteArray(argv[2]).toLongLong() : 2'000'000;
    const QByteArray parts = argc > 3 ? QByteArray(argv[3]) : QByteArray("abcde");
    if (parts.contains('a'))
        bench_rule();
    if (parts.contains('b'))
        bench_port_path(n);
    if (parts.contains('c'))
        bench_end_to_end(sim, n);
    if (parts.contains('d'))
        bench_random_mib();
    if (parts.contains('e'))
        bench_whole_monitor(argc > 4 ? QString::fromLocal8Bit(argv[4]) : QString());
    if (parts.contains('f'))
        bench_paced_monitor(argc > 4 ? QString::fromLocal8Bit(argv[4]) : QString());
    return 0;
}
