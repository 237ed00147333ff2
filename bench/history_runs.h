#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <vector>

class QElapsedTimer;

// kestrova-history measured as a user runs it: in a process of its own,
// under an Xvfb of its own, beside the bare parse of the same log.

struct program_figures {
    double readings_ms = 0; // from the start to the last days on screen
    double complete_ms = 0; // to the first complete chart
    double peak_mb = 0;     // peak resident memory
    double anon_mb = 0;     // resident when drawn: its own memory
    double file_mb = 0;     // and pages of files (libraries, fonts)
    double bare1_ms = 0;    // the bare parse on one thread, beside it
    double bare2_ms = 0;    // and on two
};

// Medians of `runs` runs of kestrova-history --exit-after-first-draw
// `options` `log`, each after a bare parse on one and on two threads.
program_figures bench_program(const QString& log, int runs, const QStringList& options = {});

// kestrova-history opened on a day, a week and a month at random places of
// `log` (from `first` to `last`), with the log in the page cache and not:
// the time from its start to the first complete chart, and its peak
// resident memory.
void bench_periods(const QString& log, QDate first, QDate last, int runs);

// kestrova-history --report of a week, a month and a year at random places
// of `log`, end to end.
void bench_report_periods(const QString& log, QDate first, QDate last, int runs);

// How much of a file the page cache holds, in MB.
double page_cache_mb(const QString& path);

// A report of every whole day of the generated log in `dir` of `days` days:
// in this process (the log read, hashed and summed; then the PDF drawn and
// written) and as a scheduled job runs it (kestrova-history --report,
// without a display).
void bench_report(const QString& dir, int days, int runs);

// The middle of `v` (0 when empty), and the milliseconds since `t` started.
double median(std::vector<double> v);
double ms_since(const QElapsedTimer& t);
