// The history chart on a year of data log at the 5 s period (6.3 million
// lines, with pauses and missing readings), or on ten:
//   the program's reader into the index of the whole log (its time and the
//   index's memory), the work of a redraw on the index at several zooms and
//   pans, and at a day, a week, a month and a year anywhere in the log (with
//   the lines read back from the log), the chart widget (offscreen) redrawn
//   and painted after a zoom or pan there, and, under an Xvfb of its own,
//   the time from starting kestrova-history to the last days on screen and
//   to its first complete chart, and the program's peak resident memory.
// Prints figures; never pass/fail.
// The floor the reader is measured against: a bare parse of the same file
// (mapped, every line into an 8-byte point, no Qt, no time zone), on one
// thread and on two, timed beside each run of the program.
//   history_bench [--days N] [--runs N] [--kind K] [--out DIR] [--reuse]
//                 [--generate-only] [--report] [--day]
//   history_bench --bare-parse FILE [THREADS]   (only the bare parse of FILE)
// --kind: smooth (the default), flicker (readings that move by 1 ºC at random
// between neighbouring lines), back (the clock an hour back on every other
// line), reverse (the lines in reverse order, as after tac), decade (ten
// smooth years, 1.8 GB, measured as logs of 1, 4 and 10 years, with a table
// of the figures at the end).
// --kind sawtooth and compressor: sensor 1 a thermostat's sawtooth (a step
// a minute) or a fridge's compressor (8 min on, 12 off), as the drawing's
// cost must not depend on how often the readings step.
// --report times only the report of all the log's days, in this process and
// as kestrova-history --report (a year: under 2 s is the aim); with --kind
// decade, reports of a week, a month and a year at random places of the ten
// years instead.
// --day times only kestrova-history opened on a day, a week and a month at
// random places (--from/--to), from its start to its first chart, with the
// log in the page cache and dropped from it; with --kind decade, in each of
// the 1-, 4- and 10-year logs.
// --out keeps the generated TARNWICK.txt and Tarnwick.INI in DIR (scripts/demo
// uses --days 7 --out DIR --generate-only); --reuse measures a log generated
// there before instead of a new one.

#include "chart/history_stats.h"
#include "chart/history_trace.h"
#include "chart/history_view.h"
#include "history/history_chart.h"
#include "history/log_reader.h"
#include "history_logs.h"
#include "history_runs.h"

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
#include <utility>
#include <vector>

namespace {

struct view {
    const char* name;
    double span; // 0: the whole log
};

constexpr view views[] = {{"all", 0}, {"7 days", 7 * 86400}, {"24 h", 86400}, {"1 h", 3600}};

// One redraw's work on the index: the blocks in view gathered (with the
// lines of those at the edges of columns read back from the log), reduced
// and summed up. Its time, and how many lines it read back.
double redraw_ms(const chart::log_index& index, double from, double to, int columns,
                 std::size_t* read_back = nullptr) {
    chart::trace_set traces;
    QElapsedTimer t;
    t.start();
    const chart::log_window w = chart::gather(index, from, to, columns);
    chart::reduce(index, w, traces);
    (void)chart::summarize(index, w);
    if (read_back)
        *read_back = w.points.size();
    return ms_since(t);
}

// The views that end at the latest reading, and pans back from them.
void bench_views(const chart::log_index& index, int columns) {
    for (const view& v : views) {
        const double to = index.last_time();
        const double span = v.span > 0 ? v.span : to - index.first_time();
        std::vector<double> zoom_ms, pan_ms;
        std::size_t read_back = 0;
        for (int i = 0; i < 15; ++i) {
            zoom_ms.push_back(redraw_ms(index, to - span, to, columns, &read_back));
            const double shift = span / 8 * (i + 1) / 15;
            pan_ms.push_back(redraw_ms(index, to - span - shift, to - shift, columns));
        }
        std::printf("lines + figures, %-6s to %d columns: %7.2f ms median (pan %7.2f ms), "
                    "%zu lines read back\n",
                    v.name, columns, median(zoom_ms), median(pan_ms), read_back);
    }
}

// A day, a week, a month and a year anywhere in the log: opened there, then
// panned by a tenth; figures of the work on the index alone.
void bench_anywhere(const chart::log_index& index, int columns) {
    QRandomGenerator rng(28);
    const double first = index.first_time();
    const double last = index.last_time();
    for (const auto& [name, span] :
         {std::pair{"day", 86400.0}, std::pair{"week", 7 * 86400.0},
          std::pair{"month", 30 * 86400.0}, std::pair{"year", 365 * 86400.0}}) {
        if (span > last - first)
            break;
        std::vector<double> open_ms, pan_ms, lines;
        for (int i = 0; i < 21; ++i) {
            const double from = first + rng.generateDouble() * (last - first - span);
            std::size_t read_back = 0;
            open_ms.push_back(redraw_ms(index, from, from + span, columns, &read_back));
            pan_ms.push_back(redraw_ms(index, from + span / 10, from + span * 1.1, columns));
            lines.push_back(static_cast<double>(read_back));
        }
        std::printf("a %-5s anywhere, lines + figures: opened %6.2f ms median (worst %6.2f), "
                    "panned %6.2f ms (worst %6.2f), %.0f lines read back\n",
                    name, median(open_ms), *std::max_element(open_ms.begin(), open_ms.end()),
                    median(pan_ms), *std::max_element(pan_ms.begin(), pan_ms.end()), median(lines));
    }
}

// The stroke of the reduced traces alone, as the chart draws them (upright
// strokes per column and the lines between, chart::column_strokes, a 1.6 px
// pen, antialiased), beside polylines as it drew them before and other ways
// one might draw them, onto an image of the plot's size.
void bench_trace_paint(const chart::trace_set& traces, QSize size, int columns) {
    struct way {
        const char* name;
        bool columns; // as column strokes, else as polylines
        bool antialiased;
        double width;
        Qt::PenJoinStyle join;
        Qt::PenCapStyle cap;
    };
    constexpr way ways[] = {
        {"as drawn: column strokes, antialiased 1.6 px", true, true, 1.6, Qt::MiterJoin,
         Qt::SquareCap},
        {"polylines, antialiased 1.6 px, round joins", false, true, 1.6, Qt::RoundJoin,
         Qt::RoundCap},
        {"polylines, antialiased 1.6 px, bevel joins", false, true, 1.6, Qt::BevelJoin,
         Qt::RoundCap},
        {"polylines, antialiased 1 px, round joins", false, true, 1.0, Qt::RoundJoin, Qt::RoundCap},
        {"polylines, aliased 1 px (cosmetic)", false, false, 0, Qt::BevelJoin, Qt::SquareCap},
        {"column strokes, aliased 1 px (cosmetic)", true, false, 0, Qt::MiterJoin, Qt::SquareCap},
    };
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    const double sx = static_cast<double>(size.width()) / columns;
    const double lo = traces.lowest.value_or(0) - 1;
    const double hi = traces.highest.value_or(100) + 1;
    const double sy = size.height() / (hi - lo);
    const auto at = [&](QPointF p) { return QPointF(p.x() * sx, (hi - p.y()) * sy); };
    std::vector<QPolygonF> lines[2];
    std::vector<QLineF> strokes[2];
    for (int s = 0; s < 2; ++s) {
        const chart::trace& t = traces.sensor[s];
        for (std::size_t i = 0; i < t.polyline_count(); ++i) {
            QPolygonF line;
            for (std::size_t k = t.starts[i]; k < t.polyline_end(i); ++k)
                line << at(t.points[k]);
            lines[s].push_back(line);
        }
        std::vector<QPointF> dots;
        chart::column_strokes(t, strokes[s], dots);
        for (QLineF& l : strokes[s])
            l = QLineF(at(l.p1()), at(l.p2()));
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
                if (w.columns)
                    p.drawLines(strokes[s].data(), static_cast<int>(strokes[s].size()));
                else
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

// The time from a change of view to the chart redrawn and painted, as a
// user waits for it.
template <typename change> double drawn_ms(history::history_chart& chart, change to_view) {
    QElapsedTimer t;
    t.start();
    to_view();
    chart.redraw();
    chart.viewport()->repaint();
    return ms_since(t);
}

struct widget_figures {
    double anywhere_median = 0; // zoom or pan anywhere, drawn
    double anywhere_worst = 0;
};

// The chart widget (offscreen) after a zoom or pan: from the whole log in
// and out, along the last month, and anywhere: a day, a week, a month and a
// year opened at random places, zoomed in and out and panned there. With
// `strokes`, the paint of the traces beside other pens.
widget_figures bench_widget_redraw(const chart::log_index& index, bool strokes) {
    history::history_chart chart(index);
    chart.resize(1200, 620);
    chart.show();
    chart.data_changed();
    chart.redraw();
    (void)chart.grab();
    const QRectF area = chart.chart()->plotArea();
    const double x = area.left() + area.width() * 0.7;
    std::vector<double> zoom_ms, pan_ms;
    for (int i = 0; i < 12; ++i)
        zoom_ms.push_back(drawn_ms(chart, [&] { chart.zoom_at(x, i < 6 ? 2.0 : 0.5); }));
    chart.show_last(86400 * 30);
    chart.redraw();
    for (int i = 0; i < 12; ++i)
        pan_ms.push_back(drawn_ms(chart, [&] { chart.pan_by_pixels(i % 2 ? -90 : 120); }));
    std::printf("chart widget redraw with paint (offscreen): zoom %.1f ms median, worst %.1f ms; "
                "pan %.1f ms median, worst %.1f ms\n",
                median(zoom_ms), *std::max_element(zoom_ms.begin(), zoom_ms.end()), median(pan_ms),
                *std::max_element(pan_ms.begin(), pan_ms.end()));

    QRandomGenerator rng(2016);
    const double first = index.first_time();
    const double last = index.last_time();
    std::vector<double> all_ms;
    for (const auto& [name, span] :
         {std::pair{"day", 86400.0}, std::pair{"week", 7 * 86400.0},
          std::pair{"month", 30 * 86400.0}, std::pair{"year", 365 * 86400.0}}) {
        if (span > last - first)
            break;
        std::vector<double> open_ms, in_ms, out_ms, moved_ms;
        for (int i = 0; i < 9; ++i) {
            const double from = first + rng.generateDouble() * (last - first - span);
            const double to = from + span;
            open_ms.push_back(drawn_ms(chart, [&] { chart.show_range(from, to); }));
            in_ms.push_back(drawn_ms(chart, [&] { chart.zoom_at(x, 2.0); }));
            out_ms.push_back(drawn_ms(chart, [&] { chart.zoom_at(x, 0.5); }));
            moved_ms.push_back(drawn_ms(chart, [&] { chart.pan_by_pixels(i % 2 ? -120 : 120); }));
        }
        for (const auto* v : {&open_ms, &in_ms, &out_ms, &moved_ms})
            all_ms.insert(all_ms.end(), v->begin(), v->end());
        const auto worst = [](const std::vector<double>& v) {
            return *std::max_element(v.begin(), v.end());
        };
        std::printf("a %-5s anywhere, drawn: opened %5.1f ms median (worst %5.1f), zoomed in "
                    "%5.1f (%5.1f), out %5.1f (%5.1f), panned %5.1f (%5.1f)\n",
                    name, median(open_ms), worst(open_ms), median(in_ms), worst(in_ms),
                    median(out_ms), worst(out_ms), median(moved_ms), worst(moved_ms));
    }
    widget_figures f;
    if (!all_ms.empty())
        f = {median(all_ms), *std::max_element(all_ms.begin(), all_ms.end())};
    if (!strokes)
        return f;
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
    return f;
}

// The program's line parser alone on one thread, beside the bare one, on
// a log that fits in memory as points.
void bench_parser(const QString& log) {
    QFile file(log);
    if (!file.open(QIODevice::ReadOnly) || file.size() > (qint64(1) << 30))
        return;
    const uchar* map = file.map(0, file.size());
    if (!map)
        return;
    const QByteArrayView all(reinterpret_cast<const char*>(map), file.size());
    std::vector<double> program_ms, bare_ms;
    std::size_t lines = 0;
    for (int i = 0; i < 5; ++i) {
        chart::local_clock clock;
        QElapsedTimer p;
        p.start();
        chart::point_store points(chart::most_points(all.size()));
        chart::parse_log_bytes(all, clock, points.data());
        program_ms.push_back(ms_since(p));
        bare_ms.push_back(bare_parse_ms(log, 1, &lines));
    }
    const double mb = static_cast<double>(file.size()) / 1048576.0;
    std::printf("line parser on one thread: %.0f ms, %.0f MB/s; bare parse: %.0f ms, %.0f MB/s "
                "(%zu lines); ratio %.2f\n",
                median(program_ms), mb / (median(program_ms) / 1000), median(bare_ms),
                mb / (median(bare_ms) / 1000), lines, median(program_ms) / median(bare_ms));
}

struct log_figures {
    program_figures program;
    widget_figures widget;
    double index_mb = 0;
    std::uint64_t lines = 0;
    double size_mb = 0;
};

// Everything about one log: read in this process, drawn in this process,
// and the program on it.
log_figures bench_log(const QString& dir, int runs, bool strokes) {
    log_figures f;
    const QString log = QDir(dir).filePath(QStringLiteral("TARNWICK.txt"));
    f.size_mb = static_cast<double>(QFileInfo(log).size()) / 1048576.0;
    // The program's own reader, in this thread, into an index as the
    // window keeps it.
    chart::log_index index;
    history::log_reader reader(log);
    QObject::connect(&reader, &history::log_reader::restarted, &reader,
                     [&](qint64) { index.clear(); });
    QObject::connect(&reader, &history::log_reader::batch_ready, &reader,
                     [&](const std::shared_ptr<const history::log_batch>& b) {
                         index.splice(b->from, *b->blocks);
                     });
    QElapsedTimer t;
    t.start();
    reader.check();
    const double read_ms = ms_since(t);
    f.lines = index.points();
    f.index_mb = static_cast<double>(index.memory()) / 1048576.0;
    std::printf("read: %llu lines, %.0f MB, in %.0f ms, %.0f MB/s; the index takes %.1f MB "
                "(%zu blocks)\n",
                static_cast<unsigned long long>(f.lines), f.size_mb, read_ms,
                f.size_mb / (read_ms / 1000), f.index_mb, index.size());
    bench_parser(log);
    bench_views(index, 1100);
    bench_anywhere(index, 1100);
    f.widget = bench_widget_redraw(index, strokes);
    f.program = bench_program(log, runs);
    return f;
}

struct options {
    int days = 365;
    int runs = 5;
    QString out_dir;
    bool generate_only = false;
    bool report_only = false;
    bool days_only = false;
    bool reuse = false;
    bool decade = false;
    log_kind kind = log_kind::smooth;
};

options read_options(const QStringList& args) {
    options o;
    bool days_given = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool value = i + 1 < args.size();
        if (a == QLatin1StringView("--days") && value) {
            o.days = std::max(1, args[++i].toInt());
            days_given = true;
        } else if (a == QLatin1StringView("--runs") && value) {
            o.runs = std::max(1, args[++i].toInt());
        } else if (a == QLatin1StringView("--out") && value) {
            o.out_dir = args[++i];
        } else if (a == QLatin1StringView("--generate-only")) {
            o.generate_only = true;
        } else if (a == QLatin1StringView("--report")) {
            o.report_only = true;
        } else if (a == QLatin1StringView("--day")) {
            o.days_only = true;
        } else if (a == QLatin1StringView("--reuse")) {
            o.reuse = true;
        } else if (a == QLatin1StringView("--kind") && value) {
            const QString& k = args[++i];
            o.decade = k == QLatin1StringView("decade");
            o.kind = k == QLatin1StringView("flicker")      ? log_kind::flicker
                     : k == QLatin1StringView("back")       ? log_kind::back
                     : k == QLatin1StringView("reverse")    ? log_kind::reverse
                     : k == QLatin1StringView("sawtooth")   ? log_kind::sawtooth
                     : k == QLatin1StringView("compressor") ? log_kind::compressor
                                                            : log_kind::smooth;
        }
    }
    if (o.decade && !days_given)
        o.days = 3650;
    return o;
}

void print_table(const std::vector<std::pair<QString, QString>>& logs,
                 const std::vector<log_figures>& figures) {
    std::printf("\n%-9s %9s %11s %9s %11s %11s %8s %8s %13s %13s\n", "log", "MB", "lines",
                "index MB", "last week", "complete", "x bare", "peak MB", "zoom/pan med",
                "zoom/pan worst");
    for (std::size_t i = 0; i < logs.size(); ++i) {
        const log_figures& f = figures[i];
        std::printf("%-9s %9.0f %11llu %9.1f %8.0f ms %8.0f ms %8.2f %8.1f %10.1f ms %10.1f ms\n",
                    qPrintable(logs[i].first), f.size_mb, static_cast<unsigned long long>(f.lines),
                    f.index_mb, f.program.readings_ms, f.program.complete_ms,
                    f.program.complete_ms / f.program.bare1_ms, f.program.peak_mb,
                    f.widget.anywhere_median, f.widget.anywhere_worst);
    }
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
    const options o = read_options(QApplication::arguments());
    QTemporaryDir temp;
    const QString dir = o.out_dir.isEmpty() ? temp.path() : o.out_dir;
    QDir().mkpath(dir);
    const QString log = QDir(dir).filePath(QStringLiteral("TARNWICK.txt"));
    // A decade is the years before it too: 1 and 4 years of it, as logs of
    // their own.
    std::vector<std::pair<QString, QString>> logs;
    if (o.decade)
        for (const int years : {1, 4})
            logs.emplace_back(QStringLiteral("%1 year%2").arg(years).arg(years > 1 ? "s" : ""),
                              QDir(dir).filePath(QStringLiteral("%1y").arg(years)));
    logs.emplace_back(o.decade ? QStringLiteral("10 years") : QStringLiteral("the log"), dir);

    if (!o.reuse || !QFileInfo::exists(log)) {
        QElapsedTimer t;
        t.start();
        std::vector<qint64> day_starts;
        const qint64 bytes = generate(dir, o.days, o.kind, &day_starts);
        if (bytes < 0) {
            std::fprintf(stderr, "history_bench: cannot write %s\n", qPrintable(log));
            return 1;
        }
        std::printf("generated %d days at 5 s: %.1f MB in %.1f s (%s)\n", o.days,
                    static_cast<double>(bytes) / 1048576.0, ms_since(t) / 1000, qPrintable(log));
        for (std::size_t i = 0; o.decade && i + 1 < logs.size(); ++i) {
            const std::size_t day = i == 0 ? 365 : 4 * 365 + 1;
            if (day > day_starts.size() || !copy_log(dir, logs[i].second, day_starts[day - 1])) {
                std::fprintf(stderr, "history_bench: cannot write %s\n",
                             qPrintable(logs[i].second));
                return 1;
            }
        }
    }
    if (o.generate_only)
        return 0;
    const QDate first_day(2025, 1, 1);
    if (o.report_only && o.decade) {
        bench_report_periods(log, first_day, first_day.addDays(o.days - 1), o.runs);
        return 0;
    }
    if (o.report_only) {
        bench_report(dir, o.days, o.runs);
        return 0;
    }
    if (o.days_only) {
        for (std::size_t i = 0; i < logs.size(); ++i) {
            const int days =
                o.decade && i + 1 < logs.size() ? (i == 0 ? 365 : 4 * 365 + 1) : o.days;
            std::printf("\n== %s\n", qPrintable(logs[i].first));
            bench_periods(QDir(logs[i].second).filePath(QStringLiteral("TARNWICK.txt")), first_day,
                          first_day.addDays(days - 1), o.runs);
        }
        return 0;
    }
    std::vector<log_figures> figures;
    for (const auto& [name, log_dir] : logs) {
        std::printf("\n== %s\n", qPrintable(name));
        figures.push_back(bench_log(log_dir, o.runs, !o.decade));
    }
    if (o.decade)
        print_table(logs, figures);
    return 0;
}
