#include "alerts/seal_clock.h"

#include "alerts/journal.h"

#include <QTimeZone>

namespace alerts {

namespace {

// Past midnight by as much, so that the day's last line is in the log.
constexpr qint64 after_midnight_ms = 3000;

} // namespace

seal_clock::seal_clock(journal& out, QString log_path, clock now, QObject* parent)
    : QObject(parent)
    , out_(out)
    , log_path_(std::move(log_path))
    , now_(now ? std::move(now) : clock([] { return QDateTime::currentDateTime(); })) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::VeryCoarseTimer);
    connect(&timer_, &QTimer::timeout, this, &seal_clock::on_midnight);
    arm();
}

void seal_clock::seal_today() {
    out_.seal(log_path_, now_().date());
}

void seal_clock::arm() {
    const QDateTime now = now_();
    last_ = now.date();
    const QDateTime midnight(now.date().addDays(1), QTime(0, 0), now.timeZone());
    timer_.start(std::chrono::milliseconds(now.msecsTo(midnight) + after_midnight_ms));
}

void seal_clock::on_midnight() {
    const QDate today = now_().date();
    // Every day since the last, should the timer come late (a suspend).
    for (QDate d = last_; d.isValid() && d < today; d = d.addDays(1))
        out_.seal(log_path_, d);
    arm();
}

} // namespace alerts
