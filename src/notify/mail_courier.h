#pragma once

#include "notify/outbox.h"
#include "rules/mail_message.h"
#include "rules/mail_settings.h"

#include <QObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace notify {

// Takes the alarms' messages to the mail server on a thread of its own: each
// is first kept in the outbox, then sent in the order made. A message the
// server does not take now waits there, and is tried again after 30 s, then
// after twice as long each time up to 10 min (a server that did not answer
// at all is looked for every 30 s, and tried as soon as it listens), also
// after the monitor has been restarted; one that goes out late says how late and why. The outbox
// holds a thousand messages at most: the oldest gives way. Nothing here
// runs on the window thread, and nothing waits for it there.
class mail_courier : public QObject {
    Q_OBJECT
public:
    struct options {
        QString outbox_dir;
        // Draws the chart attached (the history program); empty: none.
        QString chart_program;
        QString log_path;
        std::chrono::seconds timeout{60}; // one attempt at most
        std::chrono::milliseconds first_wait{std::chrono::seconds(30)};
        std::chrono::milliseconds longest_wait{std::chrono::minutes(10)};
        // How often the port of a server that did not answer is looked at.
        std::chrono::milliseconds look_every{std::chrono::seconds(30)};
        std::size_t most = 1000;
    };
    struct request {
        rules::mail::message message;
        bool chart = false; // attach the last six hours of the log
    };

    mail_courier(rules::mail::mail_settings settings, options o, QObject* parent = nullptr);
    ~mail_courier() override;
    mail_courier(const mail_courier&) = delete;
    mail_courier& operator=(const mail_courier&) = delete;

    void post(request r);
    // New settings; what waits is tried with them at once.
    void set_settings(const rules::mail::mail_settings& settings);
    // Sends what it can within `wait`, then stops; what is left waits in the
    // outbox for the next run.
    void finish(std::chrono::milliseconds wait);

Q_SIGNALS:
    // One attempt at a message of a sensor's alarm (sensor 0: none).
    void attempted(int sensor, const QString& phase, bool ok, const QString& reason);
    // The outbox let a message go unsent, and why.
    void dropped(const QString& subject, const QString& why);

private:
    struct entry {
        QString file; // empty: held in memory only (the outbox could not keep it)
        std::optional<rules::mail::message> message;
        QString first_failure;
    };
    void work();
    void take(std::deque<request> requests, std::deque<entry>& entries);
    bool send_first(std::deque<entry>& entries, const rules::mail::mail_settings& s, bool& reached);
    void tell(int sensor, const QString& phase, bool ok, const QString& reason);
    void tell_dropped(const QString& subject, const QString& why);

    options options_;
    outbox box_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_changed_;
    std::deque<request> requests_;
    rules::mail::mail_settings settings_;
    bool settings_new_ = false;
    bool finishing_ = false;
    bool idle_ = false;
    std::atomic<bool> stop_{false};
    std::thread worker_;
};

} // namespace notify
