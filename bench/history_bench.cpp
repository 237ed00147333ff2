// The history chart on a year of data log at the 5 s period (6.3 million
// lines, with pauses and missing readings):
//   parse time of the whole log (the program's reader over the mapped file),
//   the block summaries of the whole log, reduction and figures per redraw
//   at several zooms and pans (and point by point for comparison), a whole
//   redraw of the chart widget (offscreen) after a zoom or pan,
//   and, under an Xvfb of its own, the time from starting kestrova-history
//   to its first complete chart and the program's peak resident memory.
// Prints figures; never pass/fail.
// The floor the reader is measured against: a bare parse of the same file
// (mapped, every line into an 8-byte point, no Qt, no time zone), on one
// thread and on two, timed beside each run of the program.
//   history_bench [--days N] [--runs N] [--kind K] [--out DIR] [--generate-only] [--report]
//   history_bench --bare-parse FILE [THREADS]   (only the bare parse of FILE)
// --kind: smooth (the default), flicker (readings that move by 1 ºC at random
// between neighbouring lines), back (the clock an hour back on every other
// line), reverse (the lines in reverse order, as after tac).
// --report times only the report of all the log's days, in this process and
// as kestrova-history --report (a year: under 2 s is the aim).
// --out keeps the generated TARNWICK.txt and Tarnwick.INI in DIR (scripts/demo
// uses --days 7 --out DIR --generate-only).

#include "history/history_chart.h"
#include "history/log_reader.h"
#include "history/report.h"
#include "rules/history_blocks.h"
#include "rules/history_stats.h"
#include "rules/history_trace.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <numbers>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double ms_since(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

// A log as the monitor writes it, in civil time counted by hand (a clock
// call per line would take longer than the rest): two sensors with a daily
// swing and a slow drift, the logger off now and then for hours, sensor 2
// unplugged for stretches, and a lost reading here and there.
enum class log_kind { smooth, flicker, back, reverse };

qint64 generate(const QString& dir, int days, log_kind kind) {
    QFile out(QDir(dir).filePath(QStringLiteral("TARNWICK.txt")));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return -1;
    QRandomGenerator rng(20260101);
    static constexpr int month_days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int year = 2025, month = 1, day = 1, secs = 0;
    double drift1 = 0, drift2 = 0;
    int pause_left = 0, unplugged_left = 0;
    QByteArray buf;
    buf.reserve(5 << 20);
    const qint64 lines = qint64(days) * 86400 / 5;
    char line[64];
    for (qint64 i = 0; i < lines; ++i) {
        if (pause_left == 0 && rng.bounded(60000) == 0)
            pause_left = 720 + static_cast<int>(rng.bounded(3600)); // 1 to 6 hours off
        if (unplugged_left == 0 && rng.bounded(30000) == 0)
            unplugged_left = 100 + static_cast<int>(rng.bounded(600));
        const double phase = 2 * std::numbers::pi * (secs / 86400.0);
        drift1 = std::clamp(drift1 + (rng.generateDouble() - 0.5) * 0.02, -4.0, 4.0);
        drift2 = std::clamp(drift2 + (rng.generateDouble() - 0.5) * 0.03, -6.0, 6.0);
        int s1 = static_cast<int>(std::lround(22 + 5 * std::sin(phase - 2) + drift1));
        int s2 = static_cast<int>(std::lround(29 + 7 * std::sin(phase - 1.5) + drift2));
        if (kind == log_kind::flicker) {
            s1 += static_cast<int>(rng.bounded(2));
            s2 += static_cast<int>(rng.bounded(2));
        }
        if (pause_left > 0) {
            --pause_left;
        } else {
            char r1[8], r2[8];
            if (rng.bounded(5000) == 0)
                std::strcpy(r1, " - - ");
            else
                std::snprintf(r1, sizeof r1,
                              "%d\xBA"
                              "C",
                              s1);
            if (unplugged_left > 0 || rng.bounded(5000) == 0)
                std::strcpy(r2, " - - ");
            else
                std::snprintf(r2, sizeof r2,
                              "%d\xBA"
                              "C",
                              s2);
            // Every other line an hour back (on the first day, not before it).
            const int at = kind == log_kind::back && i % 2 && secs >= 3600 ? secs - 3600 : secs;
            const int n =
                std::snprintf(line, sizeof line, "%02d-%02d-%04d\t%02d:%02d:%02d\t%s\t%s\r\n",
                              month, day, year, at / 3600, at / 60 % 60, at % 60, r1, r2);
            buf.append(line, n);
        }
        if (unplugged_left > 0)
            --unplugged_left;
        secs += 5;
        if (secs == 86400) {
            secs = 0;
            const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
            if (++day > month_days[month - 1] + (month == 2 && leap ? 1 : 0)) {
                day = 1;
                if (++month > 12) {
                    month = 1;
                    ++year;
                }
            }
        }
        if (buf.size() > (4 << 20) && kind != log_kind::reverse) {
            out.write(buf);
            buf.clear();
        }
    }
    if (kind == log_kind::reverse) {
        QByteArray reversed;
        reversed.reserve(buf.size());
        for (qsizetype end = buf.size(); end > 0;) {
            const qsizetype begin = buf.lastIndexOf('\n', end - 2) + 1;
            reversed.append(buf.constData() + begin, end - begin);
            end = begin;
        }
        buf = std::move(reversed);
    }
    out.write(buf);
    QFile ini(QDir(dir).filePath(QStringLiteral("Tarnwick.INI")));
    if (ini.open(QIODevice::WriteOnly | QIODevice::Truncate))
        ini.write("[VEZ]\r\nfrm_thermometer.Text3.text=26\r\nfrm_thermometer.Text4.text=17\r\n"
                  "frm_thermometer.Text6.text=35\r\nfrm_thermometer.Text5.text=22\r\n"
                  "frm_thermometer.Check2.value=1\r\nfrm_thermometer.Check3.value=1\r\n"
                  "frm_thermometer.Option8.value=1\r\n");
    return out.size();
}

// The bare parse: what reading the log costs at the least. The file mapped,
// one memchr per line, fixed fields, the date counted by hand, no time zone.
struct bare_point {
    std::uint32_t time;
    std::uint8_t sensor[2];
};

int bare_reading(const char* b, const char* e) {
    if (e - b >= 3 && b[0] >= '0' && b[0] <= '9') {
        int v = 0;
        while (b < e && *b >= '0' && *b <= '9')
            v = v * 10 + (*b++ - '0');
        return v;
    }
    return 255;
}

std::size_t bare_parse(const char* p, const char* end, std::vector<bare_point>& out) {
    static constexpr int before_month[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    while (p < end) {
        const auto* nl = static_cast<const char*>(std::memchr(p, '\n', end - p));
        if (!nl)
            break;
        if (nl - p >= 21) {
            const auto d2 = [p](int at) { return (p[at] - '0') * 10 + p[at + 1] - '0'; };
            const int month = d2(0), day = d2(3), year = d2(6) * 100 + d2(8);
            const int y = year - 1970;
            const long days = y * 365L + (y + 1) / 4 + before_month[(month - 1) % 12] + day - 1 +
                              (month > 2 && year % 4 == 0 ? 1 : 0);
            const long t = days * 86400 + d2(11) * 3600L + d2(14) * 60L + d2(17);
            const char* line_end = nl[-1] == '\r' ? nl - 1 : nl;
            const auto* tab =
                static_cast<const char*>(std::memchr(p + 20, '\t', line_end - p - 20));
            bare_point bp{static_cast<std::uint32_t>(t), {255, 255}};
            if (tab) {
                bp.sensor[0] = static_cast<std::uint8_t>(bare_reading(p + 20, tab));
                bp.sensor[1] = static_cast<std::uint8_t>(bare_reading(tab + 1, line_end));
            }
            out.push_back(bp);
        }
        p = nl + 1;
    }
    return out.size();
}

// Milliseconds for the bare parse of `path` on `threads` threads, split at
// line ends; the points stay in memory until the end, as the program's do.
double bare_parse_ms(const QString& path, int threads, std::size_t* lines = nullptr) {
    QElapsedTimer t;
    t.start();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size == 0)
        return 0;
    const auto size = static_cast<std::size_t>(st.st_size);
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED)
        return 0;
    const char* begin = static_cast<const char*>(map);
    std::vector<std::vector<bare_point>> parts(static_cast<std::size_t>(threads));
    std::vector<std::thread> helpers;
    const char* from = begin;
    for (int i = 0; i < threads; ++i) {
        const char* to = begin + size;
        if (i + 1 < threads) {
            const char* nominal =
                begin + size * static_cast<std::size_t>(i + 1) / static_cast<std::size_t>(threads);
            const auto* nl =
                static_cast<const char*>(std::memchr(nominal, '\n', begin + size - nominal));
            to = nl ? nl + 1 : begin + size;
        }
        auto& part = parts[static_cast<std::size_t>(i)];
        part.reserve(static_cast<std::size_t>(to - from) / 30);
        helpers.emplace_back([from, to, &part] { bare_parse(from, to, part); });
        from = to;
    }
    for (std::thread& h : helpers)
        h.join();
    const double ms = ms_since(t);
    std::size_t n = 0;
    for (const auto& part : parts)
        n += part.size();
    if (lines)
        *lines = n;
    ::munmap(map, size);
    return ms;
}

struct view {
    const char* name;
    double span; // 0: the whole log
};

constexpr view views[] = {{"all", 0}, {"7 days", 7 * 86400}, {"24 h", 86400}, {"1 h", 3600}};

void bench_reduction(const history::point_series& series, int columns, const QString& dir) {
    const history::log_settings settings = history::read_log_settings(dir);
    // The summaries are made as points arrive; here once for the whole log,
    // as after a change of settings.
    history::block_index blocks;
    QElapsedTimer b;
    b.start();
    blocks.update(series, settings.gaps, settings.limits);
    std::printf("block summaries of the whole log: %.1f ms, %.1f MB\n", ms_since(b),
                static_cast<double>(blocks.block_count() * 2 * sizeof(history::block_sensor)) /
                    1048576.0);
    history::trace_set traces;
    for (const view& v : views) {
        const double to = series.last_time();
        const double span = v.span > 0 ? v.span : to - series.first_time();
        std::vector<double> zoom_ms, pan_ms, reduce_ms, plain_ms;
        for (int i = 0; i < 15; ++i) {
            QElapsedTimer r;
            r.start();
            history::reduce(series, blocks, to - span, to, columns, traces);
            reduce_ms.push_back(ms_since(r));
            // The same window point by point, without the summaries.
            r.restart();
            const auto ranges = series.between(to - span, to);
            (void)history::summarize(series, ranges, settings.gaps, settings.limits);
            history::reduce(series, settings.gaps, to - span, to, columns, traces);
            plain_ms.push_back(ms_since(r));
            // Zoom: the window ending at the latest reading; pan: a step back.
            for (auto* out : {&zoom_ms, &pan_ms}) {
                const double shift = out == &pan_ms ? span / 8 * (i + 1) / 15 : 0;
                QElapsedTimer t;
                t.start();
                // As the chart does it, one after the other.
                history::reduce(series, blocks, to - span - shift, to - shift, columns, traces);
                const auto ranges = series.between(to - span - shift, to - shift);
                (void)history::summarize(series, blocks, ranges);
                out->push_back(ms_since(t));
            }
        }
        std::printf("reduction + figures, %-6s to %d columns: %7.2f ms median (pan %7.2f ms; "
                    "the reduction alone %.2f ms; point by point on one core %.2f ms)\n",
                    v.name, columns, median(zoom_ms), median(pan_ms), median(reduce_ms),
                    median(plain_ms));
    }
}

// The stroke of the reduced traces alone, as the chart draws them (a 1.6 px
// pen, round joins and caps, antialiased), beside other ways one might draw
// them, onto an image of the plot's size.
void bench_trace_paint(const history::trace_set& traces, QSize size, int columns) {
    struct way {
        const char* name;
        bool antialiased;
        double width;
        Qt::PenJoinStyle join;
        Qt::PenCapStyle cap;
    };
    constexpr way ways[] = {
        {"as drawn: antialiased 1.6 px, round joins", true, 1.6, Qt::RoundJoin, Qt::RoundCap},
        {"antialiased 1.6 px, bevel joins", true, 1.6, Qt::BevelJoin, Qt::RoundCap},
        {"antialiased 1.6 px, miter joins, square caps", true, 1.6, Qt::MiterJoin, Qt::SquareCap},
        {"antialiased 1 px, round joins", true, 1.0, Qt::RoundJoin, Qt::RoundCap},
        {"aliased 1.6 px, round joins", false, 1.6, Qt::RoundJoin, Qt::RoundCap},
        {"aliased 1 px (cosmetic)", false, 0, Qt::BevelJoin, Qt::SquareCap},
    };
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    const double sx = static_cast<double>(size.width()) / columns;
    const double lo = traces.lowest.value_or(0) - 1;
    const double hi = traces.highest.value_or(100) + 1;
    const double sy = size.height() / (hi - lo);
    std::vector<QPolygonF> lines[2];
    for (int s = 0; s < 2; ++s) {
        const history::trace& t = traces.sensor[s];
        for (std::size_t i = 0; i < t.polyline_count(); ++i) {
            QPolygonF line;
            for (std::size_t k = t.starts[i]; k < t.polyline_end(i); ++k)
                line << QPointF(t.points[k].x() * sx, (hi - t.points[k].y()) * sy);
            lines[s].push_back(line);
        }
    }
    // How far each way looks from the way the chart draws: the pixels that
    // differ by more than a quarter of a channel's range, per hundred pixels
    // that the traces cover.
    QImage drawn;
    const auto difference = [&drawn](const QImage& other) {
        long covered = 0;
        long differ = 0;
        for (int y = 0; y < drawn.height(); ++y) {
            const auto* a = reinterpret_cast<const QRgb*>(drawn.constScanLine(y));
            const auto* b = reinterpret_cast<const QRgb*>(other.constScanLine(y));
            for (int x = 0; x < drawn.width(); ++x) {
                covered += a[x] != 0xFFFFFFFF || b[x] != 0xFFFFFFFF;
                differ += std::abs(qRed(a[x]) - qRed(b[x])) > 64 ||
                          std::abs(qGreen(a[x]) - qGreen(b[x])) > 64 ||
                          std::abs(qBlue(a[x]) - qBlue(b[x])) > 64;
            }
        }
        return covered ? 100.0 * static_cast<double>(differ) / static_cast<double>(covered) : 0;
    };
    for (const way& w : ways) {
        std::vector<double> ms;
        for (int run = 0; run < 9; ++run) {
            image.fill(Qt::white);
            QElapsedTimer t;
            t.start();
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing, w.antialiased);
            for (int s = 0; s < 2; ++s) {
                QPen pen(s == 0 ? Qt::blue : Qt::darkRed, w.width);
                pen.setJoinStyle(w.join);
                pen.setCapStyle(w.cap);
                p.setPen(pen);
                for (const QPolygonF& line : lines[s])
                    p.drawPolyline(line);
            }
            p.end();
            ms.push_back(ms_since(t));
        }
        if (drawn.isNull())
            drawn = image.copy();
        std::printf("  trace stroke, %-44s %6.2f ms median, %4.1f %% of the pixels differ\n",
                    w.name, median(ms), difference(image));
    }
}

void bench_widget_redraw(const history::point_series& series) {
    history::history_chart chart(series);
    chart.resize(1200, 620);
    chart.show();
    chart.data_changed();
    chart.redraw();
    (void)chart.grab();
    const QRectF area = chart.chart()->plotArea();
    std::vector<double> zoom_ms, pan_ms;
    for (int i = 0; i < 12; ++i) {
        QElapsedTimer t;
        t.start();
        chart.zoom_at(area.left() + area.width() * 0.7, i < 6 ? 2.0 : 0.5);
        chart.redraw();
        chart.viewport()->repaint();
        zoom_ms.push_back(ms_since(t));
    }
    chart.show_last(86400 * 30);
    chart.redraw();
    for (int i = 0; i < 12; ++i) {
        QElapsedTimer t;
        t.start();
        chart.pan_by_pixels(i % 2 ? -90 : 120);
        chart.redraw();
        chart.viewport()->repaint();
        pan_ms.push_back(ms_since(t));
    }
    std::printf("chart widget redraw with paint (offscreen): zoom %.1f ms median, worst %.1f ms; "
                "pan %.1f ms median, worst %.1f ms\n",
                median(zoom_ms), *std::max_element(zoom_ms.begin(), zoom_ms.end()), median(pan_ms),
                *std::max_element(pan_ms.begin(), pan_ms.end()));
    // The last week, as the chart first shows it, and the whole log.
    for (const double span : {7.0 * 86400, 0.0}) {
        if (span > 0)
            chart.show_last(span);
        else
            chart.show_all();
        chart.redraw();
        const QRectF plot = chart.chart()->plotArea();
        std::printf("paint of the reduced traces of %s (%zu + %zu vertices):\n",
                    span > 0 ? "the last week" : "the whole log",
                    chart.traces().sensor[0].points.size(), chart.traces().sensor[1].points.size());
        bench_trace_paint(chart.traces(), plot.size().toSize(),
                          std::max(1, static_cast<int>(plot.width())));
    }
}

// Spawns `argv` with `env` added; its stdout comes back through `out_fd`.
pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            int& out_fd) {
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> envs;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "DISPLAY=", 8) != 0 && std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0)
            envs.emplace_back(*e);
    envs.insert(envs.end(), env.begin(), env.end());
    std::vector<char*> a, e;
    for (const auto& s : argv)
        a.push_back(const_cast<char*>(s.c_str()));
    a.push_back(nullptr);
    for (auto& s : envs)
        e.push_back(s.data());
    e.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, a[0], &fa, nullptr, a.data(), e.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    out_fd = fds[0];
    return pid;
}

// The peak resident memory of a process that still runs, from its own
// accounting: a child started by posix_spawn (vfork) inherits the parent's
// peak in its rusage, which would show the bench's own memory. 0 when the
// process has gone.
double peak_mb(pid_t pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return 0;
}

std::string read_line(int fd) {
    std::string s;
    char c = 0;
    while (read(fd, &c, 1) == 1 && c != '\n')
        s += c;
    return s;
}

void bench_program(const QString& log, int runs) {
    int xfd = -1;
    const pid_t xvfb = spawn(
        {"Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x800x24"}, {}, xfd);
    const std::string display = xvfb > 0 ? read_line(xfd) : std::string();
    if (display.empty()) {
        std::printf("Xvfb could not be started: no first-chart figures\n");
        return;
    }
    std::vector<double> first_ms, days_ms, rss_mb, bare1_ms, bare2_ms;
    for (int i = 0; i < runs; ++i) {
        bare1_ms.push_back(bare_parse_ms(log, 1));
        bare2_ms.push_back(bare_parse_ms(log, 2));
        int fd = -1;
        QElapsedTimer t;
        t.start();
        const pid_t p =
            spawn({KESTROVA_HISTORY_BINARY, "--exit-after-first-draw", log.toStdString()},
                  {"DISPLAY=:" + display, "QT_QPA_PLATFORM=xcb"}, fd);
        // First the readings on screen (the last days of a large log),
        // then the whole log.
        std::string said = read_line(fd);
        if (said.rfind("readings drawn", 0) == 0) {
            days_ms.push_back(ms_since(t));
            said = read_line(fd);
        }
        const double ms = ms_since(t);
        // Read before the program has ended; it prints its line once drawn.
        const double peak = peak_mb(p);
        close(fd);
        int status = 0;
        rusage use{};
        wait4(p, &status, 0, &use);
        first_ms.push_back(ms);
        rss_mb.push_back(peak > 0 ? peak : static_cast<double>(use.ru_maxrss) / 1024);
        std::printf("run %d: readings on screen %.0f ms, first complete chart %.0f ms after "
                    "start (program: \"%s\"), peak resident %.1f MB\n",
                    i + 1, days_ms.empty() ? 0.0 : days_ms.back(), ms, said.c_str(), rss_mb.back());
    }
    std::printf("kestrova-history under Xvfb, median of %d: readings (the last days) on screen "
                "%.0f ms, first complete chart %.0f ms, peak resident %.1f MB\n",
                runs, median(days_ms), median(first_ms), median(rss_mb));
    std::printf("bare parse beside it: one thread %.0f ms, two threads %.0f ms; the program "
                "takes %.2fx the one-thread and %.2fx the two-thread parse\n",
                median(bare1_ms), median(bare2_ms), median(first_ms) / median(bare1_ms),
                median(first_ms) / median(bare2_ms));
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
    close(xfd);
}

// A report of every whole day of the generated log: in this process (the
// log read, hashed and summed; then the PDF drawn and written) and as a
// scheduled job runs it (kestrova-history --report, without a display).
void bench_report(const QString& dir, int days, int runs) {
    const QString log = QDir(dir).filePath(QStringLiteral("TARNWICK.txt"));
    const QString pdf = QDir(dir).filePath(QStringLiteral("report.pdf"));
    const QDate first(2025, 1, 1);
    const QDate last = first.addDays(days - 1);
    std::vector<double> make_ms, pdf_ms, program_ms;
    qint64 pdf_bytes = 0;
    for (int i = 0; i < runs; ++i) {
        history::report_request request;
        request.log_path = log;
        request.dates = history::date_range{first, last};
        request.made_at = QDateTime::currentSecsSinceEpoch();
        request.host = QStringLiteral("bench");
        QElapsedTimer t;
        t.start();
        QString problem;
        const auto r = history::make_report(request, problem);
        make_ms.push_back(ms_since(t));
        t.restart();
        if (!r || !history::write_report_pdf(*r, pdf).isEmpty()) {
            std::printf("the report could not be made: %s\n", qPrintable(problem));
            return;
        }
        pdf_ms.push_back(ms_since(t));
        pdf_bytes = QFileInfo(pdf).size();

        int fd = -1;
        t.restart();
        const pid_t p = spawn({KESTROVA_HISTORY_BINARY, "--report", pdf.toStdString(), "--from",
                               first.toString(Qt::ISODate).toStdString(), "--to",
                               last.toString(Qt::ISODate).toStdString(), log.toStdString()},
                              {}, fd);
        int status = 0;
        waitpid(p, &status, 0);
        close(fd);
        program_ms.push_back(ms_since(t));
        std::printf("run %d: made %.0f ms, PDF drawn and written %.0f ms; kestrova-history "
                    "--report %.0f ms (status %d)\n",
                    i + 1, make_ms.back(), pdf_ms.back(), program_ms.back(),
                    WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }
    std::printf("report of %d days, median of %d: made %.0f ms + PDF %.0f ms (%.0f KB) = %.0f ms "
                "in process; kestrova-history --report end to end %.0f ms\n",
                days, runs, median(make_ms), median(pdf_ms), static_cast<double>(pdf_bytes) / 1024,
                median(make_ms) + median(pdf_ms), median(program_ms));
}

} // namespace

int main(int argc, char** argv) {
    // The bare parse alone, as a yardstick for timing the whole program
    // from outside (farm-bench --vs).
    if (argc >= 3 && std::strcmp(argv[1], "--bare-parse") == 0) {
        const int threads = argc >= 4 ? std::clamp(std::atoi(argv[3]), 1, 64) : 1;
        std::size_t lines = 0;
        const double ms = bare_parse_ms(QString::fromLocal8Bit(argv[2]), threads, &lines);
        std::printf("bare parse on %d thread(s): %zu lines in %.0f ms\n", threads, lines, ms);
        return lines > 0 ? 0 : 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int days = 365, runs = 5;
    QString out_dir;
    bool generate_only = false;
    bool report_only = false;
    log_kind kind = log_kind::smooth;
    const QStringList args = QApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1StringView("--days") && i + 1 < args.size())
            days = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1StringView("--runs") && i + 1 < args.size())
            runs = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1StringView("--out") && i + 1 < args.size())
            out_dir = args[++i];
        else if (args[i] == QLatin1StringView("--generate-only"))
            generate_only = true;
        else if (args[i] == QLatin1StringView("--report"))
            report_only = true;
        else if (args[i] == QLatin1StringView("--kind") && i + 1 < args.size()) {
            const QString& k = args[++i];
            kind = k == QLatin1StringView("flicker")   ? log_kind::flicker
                   : k == QLatin1StringView("back")    ? log_kind::back
                   : k == QLatin1StringView("reverse") ? log_kind::reverse
                                                       : log_kind::smooth;
        }
    }
    QTemporaryDir temp;
    const QString dir = out_dir.isEmpty() ? temp.path() : out_dir;
    QDir().mkpath(dir);
    const QString log = QDir(dir).filePath(QStringLiteral("TARNWICK.txt"));

    QElapsedTimer t;
    t.start();
    const qint64 bytes = generate(dir, days, kind);
    if (bytes < 0) {
        std::fprintf(stderr, "history_bench: cannot write %s\n", qPrintable(log));
        return 1;
    }
    std::printf("generated %d days at 5 s: %.1f MB in %.1f s (%s)\n", days,
                static_cast<double>(bytes) / 1048576.0, ms_since(t) / 1000, qPrintable(log));
    if (generate_only)
        return 0;
    if (report_only) {
        bench_report(dir, days, runs);
        return 0;
    }

    // The program's own reader, in this thread, into the program's series.
    history::point_series series;
    history::log_reader reader(log);
    QObject::connect(&reader, &history::log_reader::restarted, &reader,
                     [&](qint64, qint64) { series.clear(); });
    QObject::connect(&reader, &history::log_reader::batch_ready, &reader,
                     [&](const std::shared_ptr<const history::log_batch>& b) {
                         series.adopt(b->store, b->count);
                     });
    t.restart();
    reader.check();
    const double parse_ms = ms_since(t);
    std::printf("parse: %zu lines in %.0f ms, %.0f MB/s, %.1f M lines/s; points take %.1f MB\n",
                series.size(), parse_ms, static_cast<double>(bytes) / 1048576.0 / (parse_ms / 1000),
                static_cast<double>(series.size()) / (parse_ms / 1000) / 1e6,
                static_cast<double>(series.size() * sizeof(history::log_point)) / 1048576.0);
    // The program's line parser alone on one thread, beside the bare one.
    {
        QFile file(log);
        if (file.open(QIODevice::ReadOnly)) {
            if (const uchar* map = file.map(0, file.size())) {
                const QByteArrayView all(reinterpret_cast<const char*>(map), file.size());
                std::vector<double> program_ms, bare_ms;
                std::size_t lines = 0;
                for (int i = 0; i < 5; ++i) {
                    history::local_clock clock;
                    QElapsedTimer p;
                    p.start();
                    history::point_store points(history::most_points(all.size()));
                    history::parse_log_bytes(all, clock, points.data());
                    program_ms.push_back(ms_since(p));
                    bare_ms.push_back(bare_parse_ms(log, 1, &lines));
                }
                const double mb = static_cast<double>(bytes) / 1048576.0;
                std::printf("line parser on one thread: %.0f ms, %.0f MB/s; bare parse: %.0f ms, "
                            "%.0f MB/s (%zu lines); ratio %.2f\n",
                            median(program_ms), mb / (median(program_ms) / 1000), median(bare_ms),
                            mb / (median(bare_ms) / 1000), lines,
                            median(program_ms) / median(bare_ms));
            }
        }
    }

    bench_reduction(series, 1100, dir);
    bench_widget_redraw(series);
    bench_program(log, runs);
    return 0;
}
