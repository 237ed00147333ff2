#include "history_logs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <numbers>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

double ms_since(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

} // namespace

qint64 generate(const QString& dir, int days, log_kind kind, std::vector<qint64>* day_starts) {
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
        } else if (kind == log_kind::sawtooth) {
            const int step = secs / 60 % 12;
            s1 = 20 + (step < 6 ? step : 12 - step);
        } else if (kind == log_kind::compressor) {
            const int at = secs % 1200;
            s1 = at < 480 ? 8 - at * 5 / 480 : 3 + (at - 480) * 5 / 720;
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
            if (day_starts)
                day_starts->push_back(out.pos() + buf.size());
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

bool copy_log(const QString& from_dir, const QString& to_dir, qint64 bytes) {
    QDir().mkpath(to_dir);
    QFile in(QDir(from_dir).filePath(QStringLiteral("TARNWICK.txt")));
    QFile out(QDir(to_dir).filePath(QStringLiteral("TARNWICK.txt")));
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    for (qint64 left = bytes; left > 0;) {
        const QByteArray piece = in.read(std::min<qint64>(left, 8 << 20));
        if (piece.isEmpty() || out.write(piece) != piece.size())
            return false;
        left -= piece.size();
    }
    const QString ini = QStringLiteral("Tarnwick.INI");
    QFile::remove(QDir(to_dir).filePath(ini));
    return QFile::copy(QDir(from_dir).filePath(ini), QDir(to_dir).filePath(ini));
}

namespace {

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

} // namespace

double bare_parse_ms(const QString& path, int threads, std::size_t* lines) {
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
