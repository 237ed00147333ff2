#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

namespace alerts {

class journal;

// Asks the journal for the seal of each day of the data log just after its
// local midnight, and of the day so far when the monitor stops cleanly.
class seal_clock : public QObject {
    Q_OBJECT
public:
    using clock = std::function<QDateTime()>;

    seal_clock(journal& out, QString log_path, clock now, QObject* parent = nullptr);

    // The clean stop: the day's lines so far.
    void seal_today();

private:
    void arm();
    void on_midnight();

    journal& out_;
    QString log_path_;
    clock now_;
    QTimer timer_;
    QDate last_; // the day the timer was armed on
};

} // namespace alerts
