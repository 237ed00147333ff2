#pragma once

#include <QString>
#include <cstddef>
#include <vector>

// The logs the history bench measures, and the floor it measures them
// against.

// A log as the monitor writes it, in civil time counted by hand (a clock
// call per line would take longer than the rest): two sensors with a daily
// swing and a slow drift, the logger off now and then for hours, sensor 2
// unplugged for stretches, and a lost reading here and there, from
// 2025-01-01 on at the 5 s period; Tarnwick.INI beside it. `kind`: smooth,
// flicker (readings that move by 1 ºC at random between neighbouring
// lines), back (the clock an hour back on every other line), reverse (the
// lines in reverse order, as after tac), sawtooth (sensor 1 a thermostat's
// sawtooth: one degree a minute up and down 20..26 ºC), compressor (sensor 1
// a fridge's compressor: 8 min on cooling 8 to 3 ºC, 12 min off warming
// again).
enum class log_kind { smooth, flicker, back, reverse, sawtooth, compressor };

// TARNWICK.txt in `dir`, of `days` days; its size, or -1. Where each day
// after the first begins goes into `day_starts`.
qint64 generate(const QString& dir, int days, log_kind kind,
                std::vector<qint64>* day_starts = nullptr);

// The first `bytes` of the log in `from_dir`, and its Tarnwick.INI, into
// `to_dir`.
bool copy_log(const QString& from_dir, const QString& to_dir, qint64 bytes);

// Milliseconds for the bare parse of `path` on `threads` threads: the file
// mapped, split at line ends, one memchr per line, fixed fields, the date
// counted by hand, no time zone, every line into an 8-byte point that stays
// in memory until the end. `lines` gets their number.
double bare_parse_ms(const QString& path, int threads, std::size_t* lines = nullptr);
