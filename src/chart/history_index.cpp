#include "chart/history_index.h"

#include <algorithm>

namespace chart {

namespace {

bool same_point(const log_point& a, const log_point& b) {
    return a.time == b.time && a.sensor[0] == b.sensor[0] && a.sensor[1] == b.sensor[1];
}

void take(reading_run& run, std::uint8_t v) {
    // As a column takes its readings one by one: the extreme that moved
    // last is drawn second.
    if (v < run.low) {
        run.low = v;
        run.low_before_high = false;
    }
    if (v > run.high) {
        run.high = v;
        run.low_before_high = true;
    }
    run.last = v;
}

// The figures' sums of one sensor over all points but the last, exactly as
// summarize() weighs each one.
void sum_up(block_sensor& out, std::span<const log_point> pts, int s, const gap_rule& gaps,
            const reading_bounds& bounds) {
    const std::uint32_t limit = gaps.limit();
    for (std::size_t i = 0; i + 1 < pts.size(); ++i) {
        const int v = pts[i].sensor[s];
        if (v == no_reading)
            continue;
        const std::uint32_t dt = pts[i + 1].time - pts[i].time;
        const std::int64_t w = dt - 1 < limit ? dt : gaps.period_seconds;
        out.weight += w;
        out.weighted += w * v;
        out.above += v >= bounds.high ? w : 0;
        out.below += v <= bounds.low ? w : 0;
    }
}

// One sensor of a block in which every line has its reading and joins the
// one before: one run, summed up in a single pass. False, and `out` left
// as it was, where a reading is missing.
bool sum_up_plain(block_sensor& out, std::span<const log_point> pts, int s, const gap_rule& gaps,
                  const reading_bounds& bounds) {
    const std::uint32_t limit = gaps.limit();
    int low = 256, high = -1;
    std::size_t low_at = 0, high_at = 0;
    std::int64_t weight = 0, weighted = 0, above = 0, below = 0;
    const std::size_t n = pts.size();
    for (std::size_t i = 0; i < n; ++i) {
        const int v = pts[i].sensor[s];
        if (v == no_reading)
            return false;
        if (v < low) {
            low = v;
            low_at = i;
        }
        if (v > high) {
            high = v;
            high_at = i;
        }
        if (i + 1 == n)
            break;
        const std::uint32_t dt = pts[i + 1].time - pts[i].time;
        const std::int64_t w = dt - 1 < limit ? dt : gaps.period_seconds;
        weight += w;
        weighted += w * v;
        above += v >= bounds.high ? w : 0;
        below += v <= bounds.low ? w : 0;
    }
    out.weight = weight;
    out.weighted = weighted;
    out.above = above;
    out.below = below;
    out.low = static_cast<std::uint8_t>(low);
    out.high = static_cast<std::uint8_t>(high);
    out.runs = 1;
    // Each extreme moved last where it was first met: the later of the two
    // is drawn second.
    out.head = {pts[0].sensor[s], out.low, out.high, pts[n - 1].sensor[s], high_at >= low_at};
    out.tail = out.head;
    return true;
}

} // namespace

log_index::log_index(const gap_rule& gaps, const std::array<sensor_limits, 2>& limits)
    : gaps_(gaps)
    , limits_(limits)
    , bounds_(bounds_of(limits)) {}

void log_index::add_block(std::span<const log_point> pts, std::uint64_t at, std::uint32_t bytes) {
    if (pts.empty())
        return;
    log_block b;
    b.at = at;
    b.bytes = bytes;
    b.points = static_cast<std::uint32_t>(pts.size());
    b.first = pts.front();
    b.last = pts.back();
    b.min_time = b.max_time = b.first.time;
    // Whether every step in time is one that joins.
    bool steps_join = true;
    for (std::size_t i = 1; i < pts.size(); ++i) {
        b.min_time = std::min(b.min_time, pts[i].time);
        b.max_time = std::max(b.max_time, pts[i].time);
        b.ascending = b.ascending && pts[i].time >= pts[i - 1].time;
        steps_join = steps_join && pts[i].time - pts[i - 1].time <= gaps_.limit();
    }
    for (int s = 0; s < 2; ++s)
        if (!steps_join || !sum_up_plain(b.sensor[s], pts, s, gaps_, bounds_[s]))
            summarise(b.sensor[s], pts, s);
    take_in(b);
}

void log_index::summarise(block_sensor& out, std::span<const log_point> pts, int s) {
    sum_up(out, pts, s, gaps_, bounds_[s]);
    std::vector<reading_run>& runs = runs_;
    runs.clear();
    for (std::size_t i = 0; i < pts.size(); ++i) {
        const std::uint8_t v = pts[i].sensor[s];
        if (v == no_reading)
            continue;
        out.low = std::min(out.low, v);
        out.high = std::max(out.high, v);
        if (i > 0 && gaps_.joins(pts[i - 1], pts[i], s))
            take(runs.back(), v);
        else
            runs.push_back({v, v, v, v, true});
    }
    if (runs.empty())
        return;
    out.runs = static_cast<std::uint8_t>(std::min<std::size_t>(runs.size(), 3));
    out.head = runs.front();
    out.tail = runs.back();
    if (runs.size() < 3)
        return;
    // A run of one reading (or of one reading again and again) ends up as
    // a dot: those are kept as bits.
    block_middle middle;
    middle.first_run = static_cast<std::uint32_t>(middle_runs_.size());
    for (std::size_t r = 1; r + 1 < runs.size(); ++r) {
        if (runs[r].low == runs[r].high)
            middle.dots[runs[r].low / 64] |= std::uint64_t(1) << (runs[r].low % 64);
        else
            middle_runs_.push_back(runs[r]);
    }
    middle.run_count = static_cast<std::uint32_t>(middle_runs_.size()) - middle.first_run;
    middles_.push_back(middle);
    out.middle = static_cast<std::uint32_t>(middles_.size());
}

void log_index::take_in(const log_block& block) {
    if (blocks_.empty()) {
        first_time_ = block.min_time;
        last_time_ = block.max_time;
    } else {
        ascending_ = ascending_ && blocks_.back().last.time <= block.first.time;
        first_time_ = std::min(first_time_, block.min_time);
        last_time_ = std::max(last_time_, block.max_time);
    }
    ascending_ = ascending_ && block.ascending;
    points_ += block.points;
    blocks_.push_back(block);
}

parse_result log_index::add_text(QByteArrayView text, std::uint64_t at, local_clock& clock,
                                 bool whole, std::vector<log_point>* kept) {
    parse_result total;
    const qsizetype complete = text.lastIndexOf('\n') + 1;
    qsizetype begin = 0;
    while (begin < complete) {
        if (!whole && complete - begin < block_bytes)
            break;
        const qsizetype cut = std::min(begin + block_bytes, complete) - 1;
        const qsizetype end = text.indexOf('\n', cut) + 1;
        scratch_.resize(most_points(end - begin));
        const parse_result r =
            parse_log_bytes(text.sliced(begin, end - begin), clock, scratch_.data());
        total.unreadable += r.unreadable;
        total.points += r.points;
        if (r.points > 0) {
            add_block(std::span(scratch_.data(), r.points), at + static_cast<std::uint64_t>(begin),
                      static_cast<std::uint32_t>(end - begin));
            blocks_.back().unreadable = static_cast<std::uint32_t>(r.unreadable);
            if (kept)
                kept->insert(kept->end(), scratch_.begin(),
                             scratch_.begin() + static_cast<std::ptrdiff_t>(r.points));
        }
        begin = end;
    }
    total.consumed = begin;
    return total;
}

void log_index::splice(std::size_t from, const log_index& part) {
    if (from < blocks_.size()) {
        ++generation_;
        // The middles of the blocks taken out are the last ones kept.
        std::size_t keep = middles_.size();
        for (std::size_t b = from; b < blocks_.size(); ++b)
            for (const block_sensor& s : blocks_[b].sensor)
                if (s.middle != 0)
                    keep = std::min<std::size_t>(keep, s.middle - 1);
        if (keep < middles_.size())
            middle_runs_.resize(middles_[keep].first_run);
        middles_.resize(keep);
        blocks_.resize(from);
        recount();
    }
    gaps_ = part.gaps_;
    limits_ = part.limits_;
    bounds_ = part.bounds_;
    source_ = part.source_;
    const auto middle_base = static_cast<std::uint32_t>(middles_.size());
    const auto run_base = static_cast<std::uint32_t>(middle_runs_.size());
    middle_runs_.insert(middle_runs_.end(), part.middle_runs_.begin(), part.middle_runs_.end());
    for (block_middle m : part.middles_) {
        m.first_run += run_base;
        middles_.push_back(m);
    }
    for (log_block b : part.blocks_) {
        for (block_sensor& s : b.sensor)
            if (s.middle != 0)
                s.middle += middle_base;
        take_in(b);
    }
}

void log_index::recount() {
    const std::vector<log_block> blocks = std::move(blocks_);
    blocks_.clear();
    points_ = 0;
    first_time_ = last_time_ = 0;
    ascending_ = true;
    blocks_.reserve(blocks.size());
    for (const log_block& b : blocks)
        take_in(b);
}

void log_index::clear() {
    blocks_ = {};
    middles_ = {};
    middle_runs_ = {};
    points_ = 0;
    first_time_ = last_time_ = 0;
    ascending_ = true;
    ++generation_;
}

bool parse_blocks(QByteArrayView text, std::uint64_t text_at, const log_index& index,
                  std::span<const std::size_t> blocks, local_clock& clock,
                  std::vector<log_point>& out) {
    const auto text_end = text_at + static_cast<std::uint64_t>(text.size());
    for (const std::size_t b : blocks) {
        const log_block& block = index[b];
        if (block.at < text_at || block.at + block.bytes > text_end)
            return false;
        const QByteArrayView lines = text.sliced(static_cast<qsizetype>(block.at - text_at),
                                                 static_cast<qsizetype>(block.bytes));
        const std::size_t at = out.size();
        out.resize(at + most_points(lines.size()));
        const parse_result r = parse_log_bytes(lines, clock, out.data() + at);
        out.resize(at + r.points);
        if (r.points != block.points || r.consumed != lines.size() ||
            !same_point(out[at], block.first) || !same_point(out.back(), block.last))
            return false;
    }
    return true;
}

bool memory_points::read(const log_index& index, std::span<const std::size_t> blocks,
                         std::vector<log_point>& out) const {
    for (const std::size_t b : blocks) {
        const log_block& block = index[b];
        const std::size_t at = b < starts_.size() ? starts_[b] : block.at;
        if (at + block.points > points_.size())
            return false;
        const auto first = points_.begin() + static_cast<std::ptrdiff_t>(at);
        out.insert(out.end(), first, first + block.points);
    }
    return true;
}

bool text_points::read(const log_index& index, std::span<const std::size_t> blocks,
                       std::vector<log_point>& out) const {
    return parse_blocks(text_, 0, index, blocks, clock_, out);
}

} // namespace chart
