#include "history_runs.h"

#include "history/report.h"
#include "history_logs.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

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

std::string read_line(int fd) {
    std::string s;
    char c = 0;
    while (read(fd, &c, 1) == 1 && c != '\n')
        s += c;
    return s;
}

// A figure of the running process from /proc/PID/status, in MB; 0 when
// the process has gone.
double status_mb(pid_t pid, const char* field) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(static_cast<qsizetype>(std::strlen(field)))
                       .trimmed()
                       .split(' ')
                       .value(0)
                       .toDouble() /
                   1024;
    return 0;
}

} // namespace

double page_cache_mb(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size == 0) {
        if (fd >= 0)
            ::close(fd);
        return 0;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED)
        return 0;
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> in((size + page - 1) / page);
    std::size_t cached = 0;
    if (::mincore(map, size, in.data()) == 0)
        for (const unsigned char c : in)
            cached += c & 1;
    ::munmap(map, size);
    return static_cast<double>(cached * page) / 1048576.0;
}

namespace {

// An Xvfb of the bench's own, for as long as it lives.
class xvfb {
public:
    xvfb() {
        pid_ = spawn({"Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x800x24"},
                     {}, fd_);
        display_ = pid_ > 0 ? read_line(fd_) : std::string();
    }
    ~xvfb() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0)
            close(fd_);
    }
    xvfb(const xvfb&) = delete;
    xvfb& operator=(const xvfb&) = delete;
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    int fd_ = -1;
    std::string display_;
};

struct one_run {
    double readings_ms = 0; // 0 when the program said nothing of them
    double complete_ms = 0;
    double peak_mb = 0;
    double anon_mb = 0;
    double file_mb = 0;
    std::string said;
};

// kestrova-history --exit-after-first-draw `options` `log` under `x`.
one_run run_program(const xvfb& x, const QString& log, const QStringList& options) {
    one_run r;
    int fd = -1;
    QElapsedTimer t;
    t.start();
    std::vector<std::string> argv = {KESTROVA_HISTORY_BINARY, "--exit-after-first-draw"};
    for (const QString& o : options)
        argv.push_back(o.toStdString());
    argv.push_back(log.toStdString());
    const pid_t p = spawn(argv, {"DISPLAY=:" + x.display(), "QT_QPA_PLATFORM=xcb"}, fd);
    // First the readings on screen (the last days of a large log), then
    // the whole log.
    r.said = read_line(fd);
    if (r.said.rfind("readings drawn", 0) == 0) {
        r.readings_ms = ms_since(t);
        r.said = read_line(fd);
    }
    r.complete_ms = ms_since(t);
    // Read before the program has ended; it prints its line once drawn.
    // A child started by posix_spawn (vfork) inherits the parent's peak
    // in its rusage, which would show the bench's own memory.
    const double peak = status_mb(p, "VmHWM:");
    r.anon_mb = status_mb(p, "RssAnon:");
    r.file_mb = status_mb(p, "RssFile:") + status_mb(p, "RssShmem:");
    close(fd);
    int status = 0;
    rusage use{};
    wait4(p, &status, 0, &use);
    r.peak_mb = peak > 0 ? peak : static_cast<double>(use.ru_maxrss) / 1024;
    return r;
}

// The log's pages dropped from the page cache: the next read is cold.
void evict(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

// The first of `days` days at a random place of [first, last].
QDate somewhere(QRandomGenerator& rng, QDate first, QDate last, int days) {
    return first.addDays(
        rng.bounded(static_cast<int>(std::max<qint64>(1, first.daysTo(last) - days + 1))));
}

double worst(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

} // namespace

program_figures bench_program(const QString& log, int runs, const QStringList& options) {
    program_figures f;
    const xvfb x;
    if (x.display().empty()) {
        std::printf("Xvfb could not be started: no first-chart figures\n");
        return f;
    }
    std::vector<double> first_ms, days_ms, rss_mb, anon_mb, file_mb, bare1_ms, bare2_ms;
    for (int i = 0; i < runs; ++i) {
        bare1_ms.push_back(bare_parse_ms(log, 1));
        bare2_ms.push_back(bare_parse_ms(log, 2));
        const one_run r = run_program(x, log, options);
        if (r.readings_ms > 0)
            days_ms.push_back(r.readings_ms);
        first_ms.push_back(r.complete_ms);
        rss_mb.push_back(r.peak_mb);
        anon_mb.push_back(r.anon_mb);
        file_mb.push_back(r.file_mb);
        std::printf("run %d: readings on screen %.0f ms, first complete chart %.0f ms after "
                    "start (program: \"%s\"), peak resident %.1f MB\n",
                    i + 1, r.readings_ms, r.complete_ms, r.said.c_str(), r.peak_mb);
    }
    f = {median(days_ms), median(first_ms), median(rss_mb),  median(anon_mb),
         median(file_mb), median(bare1_ms), median(bare2_ms)};
    std::printf("kestrova-history under Xvfb, median of %d: readings (the last days) on screen "
                "%.0f ms, first complete chart %.0f ms, peak resident %.1f MB (when drawn: %.1f MB "
                "of its own, %.1f MB of files: libraries and fonts; the log is read, not "
                "mapped)\n",
                runs, f.readings_ms, f.complete_ms, f.peak_mb, f.anon_mb, f.file_mb);
    std::printf("bare parse beside it: one thread %.0f ms, two threads %.0f ms; the program "
                "takes %.2fx the one-thread and %.2fx the two-thread parse\n",
                f.bare1_ms, f.bare2_ms, f.complete_ms / f.bare1_ms, f.complete_ms / f.bare2_ms);
    std::printf("the log in the page cache, outside the process: %.0f MB of %.0f MB\n",
                page_cache_mb(log), static_cast<double>(QFileInfo(log).size()) / 1048576.0);
    return f;
}

void bench_periods(const QString& log, QDate first, QDate last, int runs) {
    const xvfb x;
    if (x.display().empty()) {
        std::printf("Xvfb could not be started: no figures of days\n");
        return;
    }
    QRandomGenerator rng(37);
    for (const int days : {1, 7, 30}) {
        for (const bool cold : {false, true}) {
            std::vector<double> ms, mb;
            for (int i = 0; i < runs; ++i) {
                const QDate from = somewhere(rng, first, last, days);
                if (cold)
                    evict(log);
                const one_run r = run_program(x, log,
                                              {QStringLiteral("--from"), from.toString(Qt::ISODate),
                                               QStringLiteral("--to"),
                                               from.addDays(days - 1).toString(Qt::ISODate)});
                ms.push_back(r.complete_ms);
                mb.push_back(r.peak_mb);
            }
            std::printf("%2d day%s anywhere, %s cache, start to first chart: %.0f ms median, worst "
                        "%.0f ms; peak resident %.1f MB median, most %.1f MB (%d runs)\n",
                        days, days > 1 ? "s" : " ", cold ? "cold" : "warm", median(ms), worst(ms),
                        median(mb), worst(mb), runs);
        }
    }
}

void bench_report_periods(const QString& log, QDate first, QDate last, int runs) {
    const QString pdf = QFileInfo(log).absolutePath() + QStringLiteral("/period.pdf");
    QRandomGenerator rng(2020);
    for (const int days : {7, 30, 365}) {
        std::vector<double> ms;
        for (int i = 0; i < runs; ++i) {
            const QDate from = somewhere(rng, first, last, days);
            int fd = -1;
            QElapsedTimer t;
            t.start();
            const pid_t p = spawn({KESTROVA_HISTORY_BINARY, "--report", pdf.toStdString(), "--from",
                                   from.toString(Qt::ISODate).toStdString(), "--to",
                                   from.addDays(days - 1).toString(Qt::ISODate).toStdString(),
                                   log.toStdString()},
                                  {}, fd);
            int status = 0;
            waitpid(p, &status, 0);
            close(fd);
            ms.push_back(ms_since(t));
        }
        std::printf("report of %3d days anywhere, kestrova-history --report end to end: %.0f ms "
                    "median, worst %.0f ms (%d runs)\n",
                    days, median(ms), worst(ms), runs);
    }
}

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
        request.dates = chart::date_range{first, last};
        request.made_at = QDateTime::currentSecsSinceEpoch();
        request.host = QStringLiteral("bench");
        QElapsedTimer t;
        t.start();
        QString problem;
        const auto r = history::make_report(request, problem);
        make_ms.push_back(ms_since(t));
        t.restart();
        if (!r || !history::write_report_pdf(*r, pdf)) {
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

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double ms_since(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}
