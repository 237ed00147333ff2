// The reader on real files: what it reads, what it counts, and how it
// follows a log that grows, is replaced, truncated, or appears late.

#include "chart/history_stats.h"
#include "chart/history_trace.h"
#include "chart/history_view.h"
#include "history/log_reader.h"
#include "history_files.h"
#include "support/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>
#include <optional>

namespace {

using history::log_batch;
using history::log_reader;

// Every line of an index, read back from the log.
std::vector<chart::log_point> points_of(const chart::log_index& index) {
    std::vector<chart::log_point> out;
    EXPECT_TRUE(chart::for_each_between(index, 0, 1e10, [&](auto points) {
        out.insert(out.end(), points.begin(), points.end());
        return true;
    }));
    return out;
}

// Everything the reader told, as the window would keep it.
struct collected {
    chart::log_index index;
    std::shared_ptr<const log_batch> last;
    std::shared_ptr<const log_batch> tail;
    std::size_t points_before_tail = 0;
    int restarts = 0;
    int missing = 0;
    bool caught_up = false;

    std::vector<chart::log_point> all() const { return points_of(index); }
};

class reader_test : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("TARNWICK.txt"));
    }

    std::unique_ptr<log_reader> start(std::optional<std::pair<double, double>> first = {},
                                      const history::log_settings& settings = {}) {
        auto r = std::make_unique<log_reader>(path, settings, chart::local_clock(QTimeZone::utc()));
        if (first)
            r->read_first(first->first, first->second);
        QObject::connect(r.get(), &log_reader::restarted, r.get(), [this](qint64) {
            got.index.clear();
            ++got.restarts;
        });
        QObject::connect(r.get(), &log_reader::batch_ready, r.get(),
                         [this](const std::shared_ptr<const log_batch>& b) {
                             got.index.splice(b->from, *b->blocks);
                             got.last = b;
                         });
        QObject::connect(r.get(), &log_reader::tail_ready, r.get(),
                         [this](const std::shared_ptr<const log_batch>& b) {
                             got.tail = b;
                             got.points_before_tail = got.index.points();
                         });
        QObject::connect(r.get(), &log_reader::missing, r.get(), [this] { ++got.missing; });
        QObject::connect(r.get(), &log_reader::caught_up, r.get(),
                         [this] { got.caught_up = true; });
        r->start();
        return r;
    }

    bool append(const QByteArray& bytes) {
        QFile f(path);
        return f.open(QIODevice::Append) && f.write(bytes) == bytes.size();
    }

    QTemporaryDir dir;
    QString path;
    collected got;
    const QDateTime t0{QDate(2026, 12, 5), QTime(21, 10, 0), QTimeZone::utc()};
};

TEST_F(reader_test, reads_good_lines_and_counts_every_kind_of_bad_one) {
    QByteArray lf_line = log_lines(t0.addSecs(100), 1, 5, 50);
    lf_line.replace("\r\n", "\n");
    ASSERT_TRUE(write_file(path, log_lines(t0, 3) + // three good lines
                                     "13-45-2026\t21:10:00\t20\xBA"
                                     "C\t\r\n" // bad date
                                     "12-05-2026\t21:10:00\t20\xBA"
                                     "C\r\n" // three fields
                                     + bytes_of("\x00\x01\xFE\xFF garbage\r\n") + lf_line +
                                     "12-05-2026\t21:2")); // half a line at the end
    auto r = start();
    ASSERT_TRUE(got.caught_up);
    ASSERT_EQ(got.index.points(), 4u);
    EXPECT_EQ(got.all()[0].time, t0.toSecsSinceEpoch());
    EXPECT_EQ(got.all()[2].sensor[0], 22);
    EXPECT_EQ(got.all()[2].sensor[1], 30);
    EXPECT_EQ(got.all()[3].sensor[0], 50);
    EXPECT_EQ(got.last->unreadable, 4);
    EXPECT_TRUE(got.last->partial_tail);

    // The half line is completed: it is read, and no longer counted.
    ASSERT_TRUE(append("0:00\t - - \t7\xBA"
                       "C\r\n"));
    r->check();
    ASSERT_EQ(got.index.points(), 5u);
    EXPECT_EQ(got.all()[4].sensor[0], chart::no_reading);
    EXPECT_EQ(got.all()[4].sensor[1], 7);
    EXPECT_EQ(got.last->unreadable, 3);
    EXPECT_FALSE(got.last->partial_tail);
}

TEST_F(reader_test, empty_file_is_read_as_no_lines) {
    ASSERT_TRUE(write_file(path, {}));
    auto r = start();
    EXPECT_TRUE(got.caught_up);
    EXPECT_EQ(got.restarts, 1);
    EXPECT_TRUE(got.index.empty());
}

TEST_F(reader_test, follows_appended_lines_without_being_asked) {
    ASSERT_TRUE(write_file(path, log_lines(t0, 2)));
    auto r = start();
    ASSERT_EQ(got.index.points(), 2u);
    ASSERT_TRUE(append(log_lines(t0.addSecs(10), 3)));
    (void)QTest::qWaitFor([&] { return got.index.points() == 5u; });
    ASSERT_EQ(got.index.points(), 5u);
    EXPECT_EQ(got.restarts, 1);

    // Many more: the short last block is made again with them, and the
    // lines before stay as they were.
    ASSERT_TRUE(append(log_lines(t0.addSecs(25), 9000)));
    r->check();
    ASSERT_EQ(got.index.points(), 9005u);
    EXPECT_EQ(got.all()[1].time, t0.toSecsSinceEpoch() + 5);
    EXPECT_EQ(got.all()[9004].time, t0.toSecsSinceEpoch() + 25 + 5LL * 8999);
    EXPECT_EQ(got.all()[9004].sensor[0], 20 + 8999 % 50);
}

TEST_F(reader_test, a_large_log_gives_its_last_week_first_then_all_of_it_in_order) {
    // 40 days, 21 MB.
    const QByteArray log = lines_from(t0.toSecsSinceEpoch() - 40LL * 86400, 40 * 17280);
    ASSERT_TRUE(write_file(path, log));
    auto r = start();
    ASSERT_TRUE(got.tail);
    EXPECT_EQ(got.points_before_tail, 0u);
    std::vector<chart::log_point> whole;
    chart::local_clock utc(QTimeZone::utc());
    chart::parse_log_bytes(log, utc, whole);
    ASSERT_EQ(got.index.points(), whole.size());
    // Field by field: the bytes between them are left as they come.
    const auto same = [](const chart::log_point& a, const chart::log_point& b) {
        return a.time == b.time && a.sensor[0] == b.sensor[0] && a.sensor[1] == b.sensor[1];
    };
    const std::vector<chart::log_point> all = got.all();
    ASSERT_EQ(all.size(), whole.size());
    // From the first line of the log on, however long it is.
    EXPECT_TRUE(std::equal(whole.begin(), whole.end(), all.begin(), same));
    EXPECT_EQ(got.last->unreadable, 0);
    // The week: the last lines of the log, as the whole read has them.
    const std::vector<chart::log_point> week = points_of(*got.tail->blocks);
    ASSERT_GE(week.size(), 7u * 17280);
    ASSERT_LT(week.size(), whole.size() / 2);
    EXPECT_TRUE(std::equal(whole.end() - static_cast<std::ptrdiff_t>(week.size()), whole.end(),
                           week.begin(), same));
}

// What a view of [from, to] shows: its lines per column and its figures.
struct view_of {
    chart::trace_set traces;
    std::array<chart::sensor_summary, 2> figures;

    view_of(const chart::log_index& index, double from, double to) {
        const chart::log_window w = chart::gather(index, from, to, 700);
        chart::reduce(index, w, traces);
        figures = chart::summarize(index, w);
    }
    bool operator==(const view_of& o) const {
        for (int s = 0; s < 2; ++s) {
            const chart::sensor_summary& a = figures[s];
            const chart::sensor_summary& b = o.figures[s];
            if (traces.sensor[s].points != o.traces.sensor[s].points || a.any != b.any ||
                a.min != b.min || a.max != b.max || a.mean != b.mean ||
                a.above_high != b.above_high || a.below_low != b.below_low)
                return false;
        }
        return true;
    }
};

TEST_F(reader_test, days_asked_for_come_first_and_show_what_the_whole_log_shows) {
    history::log_settings settings;
    settings.limits[0] = {45, 25};
    const qint64 first = t0.toSecsSinceEpoch() - 20LL * 86400;
    const double from = static_cast<double>(first) + 10 * 86400;
    const double to = from + 86400;
    const QByteArray in_order = lines_from(first, 20 * 17280);
    // The same with the clock set back two days from the day after on.
    QByteArray set_back = in_order.first(qsizetype{11} * 17280 * 31);
    set_back += lines_from(first + 9LL * 86400, 9 * 17280);
    for (const bool ordered : {true, false}) {
        got = {};
        ASSERT_TRUE(write_file(path, ordered ? in_order : set_back));
        auto r = start(std::pair{from, to}, settings);
        // In order, the rest waits until a view needs it.
        EXPECT_EQ(got.caught_up, !ordered);
        r->read_all();
        ASSERT_TRUE(got.caught_up);
        const view_of whole(got.index, from, to);
        EXPECT_TRUE(whole.figures[0].any);
        if (ordered) {
            // Found by their time, not much more than the day read.
            ASSERT_TRUE(got.tail && got.tail->period);
            EXPECT_LT(got.tail->blocks->points(), 2u * 17280);
            EXPECT_TRUE(view_of(*got.tail->blocks, from, to) == whole);
        } else {
            // Out of order: no day is shown before the whole log is read.
            EXPECT_FALSE(got.tail && got.tail->period);
        }
    }
}

TEST_F(reader_test, a_reader_stopped_while_it_reads_stops_at_the_next_stretch) {
    // 40 days, 21 MB: some stretches of a few MB.
    ASSERT_TRUE(write_file(path, lines_from(t0.toSecsSinceEpoch() - 40LL * 86400, 40 * 17280)));
    log_reader r(path, history::log_settings(), chart::local_clock(QTimeZone::utc()));
    int batches = 0;
    QObject::connect(&r, &log_reader::batch_ready, &r, [&] {
        ++batches;
        r.stop();
    });
    bool caught_up = false;
    QObject::connect(&r, &log_reader::caught_up, &r, [&] { caught_up = true; });
    r.start();
    EXPECT_EQ(batches, 1);
    EXPECT_FALSE(caught_up);
}

TEST_F(reader_test, replaced_or_truncated_log_is_read_again_from_the_start) {
    ASSERT_TRUE(write_file(path, log_lines(t0, 5)));
    auto r = start();
    ASSERT_EQ(got.index.points(), 5u);

    // Replaced by rename, as an editor or a copy does it, with more lines.
    const QString other = dir.filePath(QStringLiteral("new.txt"));
    ASSERT_TRUE(write_file(other, log_lines(t0.addSecs(3600), 7, 5, 60)));
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::rename(other, path));
    (void)QTest::qWaitFor([&] { return got.restarts == 2; });
    ASSERT_EQ(got.restarts, 2);
    (void)QTest::qWaitFor([&] { return got.index.points() == 7u; });
    ASSERT_EQ(got.index.points(), 7u);
    EXPECT_EQ(got.all()[0].sensor[0], 60);

    // Truncated in place and written anew.
    ASSERT_TRUE(write_file(path, log_lines(t0, 1, 5, 10)));
    (void)QTest::qWaitFor([&] { return got.restarts == 3; });
    ASSERT_EQ(got.restarts, 3);
    (void)QTest::qWaitFor([&] { return got.index.points() == 1u; });
    ASSERT_EQ(got.index.points(), 1u);
    EXPECT_EQ(got.all()[0].sensor[0], 10);
}

TEST_F(reader_test, a_log_cut_short_while_it_is_read_is_read_again_from_the_start) {
    // Cut to a million bytes (inside a line) as soon as the first stretch of
    // a long log, or the last week of a larger one, has been read; the
    // stretches still to come lie past the new end.
    const struct {
        const char* when;
        int lines;
        void (log_reader::*signal)(const std::shared_ptr<const log_batch>&);
    } rows[] = {{"between stretches", 400000, &log_reader::batch_ready},
                {"after the last week", 40 * 17280, &log_reader::tail_ready}};
    constexpr qint64 cut = 1000000;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.when);
        got = {};
        const QByteArray log = lines_from(t0.toSecsSinceEpoch() - 40LL * 86400, row.lines);
        ASSERT_TRUE(write_file(path, log));
        log_reader r(path, history::log_settings(), chart::local_clock(QTimeZone::utc()));
        QObject::connect(&r, row.signal, &r, [this] { QFile::resize(path, cut); });
        QObject::connect(&r, &log_reader::restarted, &r, [this](qint64) {
            ++got.restarts;
            got.index.clear();
        });
        QObject::connect(&r, &log_reader::batch_ready, &r,
                         [this](const std::shared_ptr<const log_batch>& b) {
                             got.index.splice(b->from, *b->blocks);
                             got.last = b;
                         });
        r.check();
        ASSERT_EQ(QFileInfo(path).size(), cut);
        r.check();
        EXPECT_EQ(got.restarts, 2);
        ASSERT_TRUE(got.last);
        EXPECT_EQ(got.index.points(), static_cast<std::size_t>(log.left(cut).count('\n')));
        EXPECT_EQ(points_of(got.index).size(), got.index.points());
        EXPECT_EQ(got.last->file_size, cut);
    }
}

TEST_F(reader_test, missing_log_is_read_once_it_appears) {
    auto r = start();
    EXPECT_EQ(got.missing, 1);
    EXPECT_EQ(got.restarts, 0);
    ASSERT_TRUE(write_file(path, log_lines(t0, 3)));
    (void)QTest::qWaitFor([&] { return got.index.points() == 3u; });
    ASSERT_EQ(got.index.points(), 3u);
}

TEST_F(reader_test, line_longer_than_any_log_line_is_skipped_as_one) {
    QByteArray garbage(20 << 20, 'x'); // longer than the stretch mapped at a time
    garbage += "\r\n";
    ASSERT_TRUE(write_file(path, log_lines(t0, 1) + garbage + log_lines(t0.addSecs(5), 1)));
    auto r = start();
    EXPECT_EQ(got.index.points(), 2u);
    EXPECT_EQ(got.last->unreadable, 1);
}

} // namespace
