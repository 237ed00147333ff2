#include "notify/mail_courier.h"

#include "logging/logging.h"
#include "notify/chart_picture.h"
#include "notify/smtp_client.h"

#include <QDateTime>

namespace notify {

using std::chrono::steady_clock;

mail_courier::mail_courier(rules::mail::mail_settings settings, options o, QObject* parent)
    : QObject(parent)
    , options_(std::move(o))
    , box_(options_.outbox_dir)
    , settings_(std::move(settings)) {
    worker_ = std::thread([this] { work(); });
}

mail_courier::~mail_courier() {
    finish(std::chrono::milliseconds(0));
}

void mail_courier::post(request r) {
    {
        const std::lock_guard lock(mutex_);
        requests_.push_back(std::move(r));
        idle_ = false;
    }
    wake_.notify_all();
}

void mail_courier::set_settings(const rules::mail::mail_settings& settings) {
    {
        const std::lock_guard lock(mutex_);
        settings_ = settings;
        settings_new_ = true;
    }
    wake_.notify_all();
}

void mail_courier::finish(std::chrono::milliseconds wait) {
    if (!worker_.joinable())
        return;
    {
        std::unique_lock lock(mutex_);
        finishing_ = true;
        wake_.notify_all();
        idle_changed_.wait_for(lock, wait, [this] { return idle_; });
    }
    // A send or a chart still under way is broken off; it waits in the outbox.
    stop_ = true;
    wake_.notify_all();
    worker_.join();
    // What was posted while a send was under way (the last word at a stop)
    // waits there too, without its chart.
    for (const request& r : requests_)
        if (const rules::result kept = box_.put(r.message, nullptr); !kept)
            qCWarning(logging::log_notify).noquote()
                << QStringLiteral("a message is lost at the end: %1 (%2)")
                       .arg(r.message.subject, kept.why());
    requests_.clear();
}

void mail_courier::tell(int sensor, const QString& phase, bool ok, const QString& reason) {
    QMetaObject::invokeMethod(
        this, [this, sensor, phase, ok, reason] { Q_EMIT attempted(sensor, phase, ok, reason); },
        Qt::QueuedConnection);
}

void mail_courier::tell_dropped(const QString& subject, const QString& why) {
    QMetaObject::invokeMethod(
        this, [this, subject, why] { Q_EMIT dropped(subject, why); }, Qt::QueuedConnection);
}

void mail_courier::work() {
    std::deque<entry> entries;
    for (const QString& file : box_.waiting())
        entries.push_back({file, std::nullopt, {}});
    std::chrono::milliseconds wait{0};
    steady_clock::time_point retry_at{};
    // While the server is away, its port is looked at every half minute,
    // so that what waits goes within that of its return, whatever the
    // back-off has come to.
    std::optional<steady_clock::time_point> look_at;
    std::unique_lock lock(mutex_);
    for (;;) {
        const auto due = [&] {
            const auto now = steady_clock::now();
            return stop_ || !requests_.empty() || settings_new_ ||
                   (!entries.empty() && (now >= retry_at || (look_at && now >= *look_at)));
        };
        idle_ = requests_.empty() && (entries.empty() || steady_clock::now() < retry_at);
        idle_changed_.notify_all();
        if (finishing_ && idle_)
            return;
        if (entries.empty())
            wake_.wait(lock, due);
        else
            wake_.wait_until(lock, look_at ? std::min(retry_at, *look_at) : retry_at, due);
        if (stop_)
            return;
        if (settings_new_)
            retry_at = {};
        settings_new_ = false;
        std::deque<request> taken;
        taken.swap(requests_);
        const rules::mail::mail_settings s = settings_;
        lock.unlock();
        take(std::move(taken), entries);
        if (look_at && steady_clock::now() >= *look_at && steady_clock::now() < retry_at) {
            look_at = steady_clock::now() + options_.look_every;
            if (server_listens(s, std::chrono::seconds(2)))
                retry_at = {};
        }
        while (!entries.empty() && !stop_ && steady_clock::now() >= retry_at) {
            bool reached = true;
            if (send_first(entries, s, reached)) {
                wait = {};
                look_at.reset();
                continue;
            }
            wait = wait == std::chrono::milliseconds(0) ? options_.first_wait
                                                        : std::min(wait * 2, options_.longest_wait);
            retry_at = steady_clock::now() + wait;
            if (reached)
                look_at.reset();
            else
                look_at = steady_clock::now() + options_.look_every;
        }
        lock.lock();
    }
}

void mail_courier::take(std::deque<request> requests, std::deque<entry>& entries) {
    for (request& r : requests) {
        if (r.chart && !stop_)
            r.message.png =
                chart_picture(options_.chart_program, options_.log_path, r.message.made, 6, stop_);
        entry e;
        if (const rules::result kept = box_.put(r.message, &e.file); !kept) {
            tell_dropped(QString(), QStringLiteral("a message could not be kept in the outbox "
                                                   "%1 (%2): it is sent from memory, if "
                                                   "the monitor runs until then")
                                        .arg(box_.dir(), kept.why()));
            e.message = std::move(r.message);
        }
        entries.push_back(std::move(e));
        while (entries.size() > options_.most) {
            const entry& old = entries.front();
            const auto m = old.message ? old.message : box_.read(old.file);
            if (!old.file.isEmpty())
                box_.remove(old.file);
            tell_dropped(m ? m->subject : old.file,
                         QStringLiteral("the outbox holds %1 messages at most").arg(options_.most));
            entries.pop_front();
        }
    }
}

bool mail_courier::send_first(std::deque<entry>& entries, const rules::mail::mail_settings& s,
                              bool& reached) {
    entry& e = entries.front();
    if (!e.message)
        e.message = box_.read(e.file);
    if (!e.message) {
        // Not a message (a file cut short by an older program): set aside.
        tell_dropped(e.file, QStringLiteral("it is not a whole message"));
        box_.remove(e.file);
        entries.pop_front();
        return true;
    }
    const rules::mail::message& m = *e.message;
    const auto late = std::chrono::seconds(m.made.secsTo(QDateTime::currentDateTime()));
    const QString note = rules::mail::late_note(
        late, e.first_failure.isEmpty() ? QStringLiteral("the mail server did not answer")
                                        : e.first_failure);
    const rules::result sent = send_mail(s, m, note, options_.timeout, &stop_, &reached);
    if (!sent && stop_)
        return false; // broken off at the end: it waits for the next run
    tell(m.sensor, m.phase, sent.ok(), sent.why());
    if (!sent) {
        // The reader of a late message is told why in a few words.
        if (e.first_failure.isEmpty())
            e.first_failure =
                reached ? sent.why() : QStringLiteral("the mail server did not answer");
        if (!e.file.isEmpty())
            e.message.reset(); // read again when it is its turn
        return false;
    }
    if (!e.file.isEmpty())
        box_.remove(e.file);
    entries.pop_front();
    return true;
}

} // namespace notify
