#include "chart/history_series.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace chart {

point_store::point_store(std::size_t capacity)
    : data_(static_cast<log_point*>(
          std::malloc(std::max<std::size_t>(1, capacity) * sizeof(log_point))))
    , capacity_(capacity) {
    // Large blocks come straight from the system, whose pages are only
    // given memory once written.
    if (!data_)
        throw std::bad_alloc();
}

void point_store::release::operator()(log_point* p) const {
    std::free(p);
}

void point_series::clear() {
    store_.reset();
    own_ = nullptr;
    size_ = 0;
    blocks_.clear();
    blocks_.shrink_to_fit();
    ascending_ = true;
    first_time_ = last_time_ = 0;
    ++generation_;
}

void point_series::append(std::span<const log_point> points) {
    if (points.empty())
        return;
    const std::size_t count = size_ + points.size();
    if (!own_ || own_ != store_.get() || own_->capacity() < count) {
        auto grown = std::make_shared<point_store>(std::max(count, 2 * size_));
        if (size_ > 0)
            std::memcpy(grown->data(), store_->data(), size_ * sizeof(log_point));
        own_ = grown.get();
        store_ = std::move(grown);
    }
    std::memcpy(own_->data() + size_, points.data(), points.size() * sizeof(log_point));
    summarise_times(count);
}

void point_series::adopt(std::shared_ptr<const point_store> store, std::size_t count) {
    store_ = std::move(store);
    summarise_times(count);
}

void point_series::summarise_times(std::size_t count) {
    const log_point* pts = store_->data();
    if (size_ == 0 && count > 0)
        first_time_ = last_time_ = pts[0].time;
    // Block by block, the last one (if part full) made again.
    for (std::size_t b = size_ / block_size; b * block_size < count; ++b) {
        const std::size_t begin = b * block_size;
        const std::size_t end = std::min(count, begin + block_size);
        std::uint32_t lo = pts[begin].time;
        std::uint32_t hi = lo;
        bool ascending = begin == 0 || lo >= pts[begin - 1].time;
        for (std::size_t i = begin + 1; i < end; ++i) {
            const std::uint32_t t = pts[i].time;
            lo = std::min(lo, t);
            hi = std::max(hi, t);
            ascending &= t >= pts[i - 1].time;
        }
        if (b < blocks_.size())
            blocks_[b] = {lo, hi, ascending};
        else
            blocks_.push_back({lo, hi, ascending});
        ascending_ = ascending_ && ascending;
        first_time_ = std::min(first_time_, lo);
        last_time_ = std::max(last_time_, hi);
    }
    size_ = count;
}

std::pair<std::size_t, std::size_t> point_series::blocks_between(double from, double to) const {
    if (!ascending_)
        return {0, blocks_.size()};
    const auto first = std::partition_point(blocks_.begin(), blocks_.end(),
                                            [from](const time_block& b) { return b.max < from; });
    const auto last = std::partition_point(first, blocks_.end(),
                                           [to](const time_block& b) { return b.min <= to; });
    return {static_cast<std::size_t>(first - blocks_.begin()),
            static_cast<std::size_t>(last - blocks_.begin())};
}

std::optional<std::uint32_t> point_series::latest_until(std::uint32_t limit) const {
    std::optional<std::uint32_t> best;
    const std::size_t end = blocks_between(0, limit).second;
    // Where time never goes back, the last of those blocks holds it.
    for (std::size_t b = ascending_ && end > 0 ? end - 1 : 0; b < end; ++b) {
        const time_block& block = blocks_[b];
        if (block.min > limit || (best && block.max <= *best))
            continue;
        if (block.max <= limit) {
            best = block.max;
            continue;
        }
        for (std::size_t i = b * block_size; i < block_end(b); ++i)
            if (data()[i].time <= limit && (!best || data()[i].time > *best))
                best = data()[i].time;
    }
    return best;
}

std::vector<index_range> point_series::between(double from, double to) const {
    std::vector<index_range> out;
    if (!(from <= to))
        return out;
    const auto add = [&out](std::size_t begin, std::size_t end) {
        if (begin >= end)
            return;
        if (!out.empty() && out.back().end == begin)
            out.back().end = end;
        else
            out.push_back({begin, end});
    };
    const auto [first, last] = blocks_between(from, to);
    for (std::size_t b = first; b < last; ++b) {
        const time_block& block = blocks_[b];
        if (to < block.min || block.max < from)
            continue;
        const std::size_t begin = b * block_size;
        const std::size_t end = block_end(b);
        // Most blocks of a wide window lie wholly inside it.
        if (from <= block.min && block.max <= to) {
            add(begin, end);
            continue;
        }
        if (block.ascending) {
            const auto first = data() + static_cast<std::ptrdiff_t>(begin);
            const auto last = data() + static_cast<std::ptrdiff_t>(end);
            const auto lo = std::lower_bound(
                first, last, from, [](const log_point& p, double t) { return p.time < t; });
            const auto hi = std::upper_bound(
                lo, last, to, [](double t, const log_point& p) { return t < p.time; });
            add(static_cast<std::size_t>(lo - data()), static_cast<std::size_t>(hi - data()));
            continue;
        }
        for (std::size_t i = begin; i < end; ++i)
            if (data()[i].time >= from && data()[i].time <= to)
                add(i, i + 1);
    }
    return out;
}

std::vector<std::size_t> point_series::crossings(double from, double to) const {
    std::vector<std::size_t> out;
    if (!(from <= to))
        return out;
    const auto crossing = [&](std::size_t i) {
        return data()[i - 1].time < from && data()[i].time > to;
    };
    // The block after the last candidate may begin with a crossing.
    const auto [first, last] = blocks_between(from, to);
    for (std::size_t b = first; b < std::min(last + 1, blocks_.size()); ++b) {
        const std::size_t begin = b * block_size;
        const std::size_t end = block_end(b);
        if (begin > 0 && crossing(begin))
            out.push_back(begin);
        const time_block& block = blocks_[b];
        if (!(block.min < from && block.max > to))
            continue;
        if (block.ascending) {
            const auto lo = static_cast<std::size_t>(
                std::lower_bound(data() + static_cast<std::ptrdiff_t>(begin),
                                 data() + static_cast<std::ptrdiff_t>(end), from,
                                 [](const log_point& p, double t) { return p.time < t; }) -
                data());
            if (lo > begin && lo < end && crossing(lo))
                out.push_back(lo);
            continue;
        }
        for (std::size_t i = begin + 1; i < end; ++i)
            if (crossing(i))
                out.push_back(i);
    }
    return out;
}

std::size_t point_series::ascending_end(std::size_t i, std::size_t end) const {
    std::size_t j = i + 1;
    while (j < end) {
        const std::size_t b = j / block_size;
        const std::size_t stop = std::min(block_end(b), end);
        // The flag covers every step into the block's points, its first
        // one's from the block before included.
        if (blocks_[b].ascending) {
            j = stop;
            continue;
        }
        for (; j < stop; ++j)
            if (data()[j].time < data()[j - 1].time)
                return j;
    }
    return std::min(j, end);
}

std::optional<std::size_t> point_series::nearest(double time, double within) const {
    std::optional<std::size_t> best;
    double best_distance = within;
    const auto consider = [&](std::size_t i) {
        const double d = std::abs(static_cast<double>(data()[i].time) - time);
        if (d <= best_distance) {
            best_distance = d;
            best = i;
        }
    };
    const auto [first, last] = blocks_between(time - within, time + within);
    for (std::size_t b = first; b < last; ++b) {
        const time_block& block = blocks_[b];
        if (block.max < time - best_distance || block.min > time + best_distance)
            continue;
        const std::size_t begin = b * block_size;
        const std::size_t end = block_end(b);
        if (!block.ascending) {
            for (std::size_t i = begin; i < end; ++i)
                consider(i);
            continue;
        }
        const auto at = std::lower_bound(data() + static_cast<std::ptrdiff_t>(begin),
                                         data() + static_cast<std::ptrdiff_t>(end), time,
                                         [](const log_point& p, double t) { return p.time < t; });
        const auto at_index = static_cast<std::size_t>(at - data());
        // The last of equal times, so that the later line wins a tie.
        if (at_index > begin)
            consider(at_index - 1);
        std::size_t k = at_index;
        while (k + 1 < end && data()[k + 1].time == data()[k].time)
            ++k;
        if (k < end)
            consider(k);
    }
    return best;
}

} // namespace chart
