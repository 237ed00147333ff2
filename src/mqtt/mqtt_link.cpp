#include "mqtt/mqtt_link.h"

#include "mqtt/mqtt_link_shared.h"
#include "mqtt/tls_check.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace mqtt {

using namespace std::chrono_literals;

namespace {

constexpr auto longest_backoff = 60s;

QString why(int rc) {
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(errno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

} // namespace

// The library's client, made afresh for every connection: a client that
// lost its link keeps what the broker had not acknowledged and sends it
// again after the next connect, after the latest state, and the broker
// would keep an old reading. Why it cannot be made; empty when it is.
QString mqtt_link::shared::make_client() {
    const QByteArray id = settings.client_id.toUtf8();
    if (mosq)
        mosquitto_reinitialise(mosq, id.constData(), true, this);
    else
        mosq = mosquitto_new(id.constData(), true, this);
    if (!mosq)
        return QStringLiteral("cannot make a client (%1)").arg(why(MOSQ_ERR_ERRNO));
    mosquitto_threaded_set(mosq, true);
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION,
                         mqtt5 ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
    logged.clear();
    mosquitto_log_callback_set(mosq, [](mosquitto*, void* self, int level, const char* line) {
        if (level != MOSQ_LOG_ERR)
            return;
        auto* s = static_cast<shared*>(self);
        const std::lock_guard lock(s->mutex);
        s->logged +=
            (s->logged.isEmpty() ? QString() : QStringLiteral("; ")) + QString::fromUtf8(line);
    });
    mosquitto_connect_callback_set(
        mosq, [](mosquitto*, void* self, int rc) { static_cast<shared*>(self)->on_connect(rc); });
    mosquitto_disconnect_callback_set(mosq, [](mosquitto*, void* self, int rc) {
        auto* s = static_cast<shared*>(self);
        s->connected = false;
        // The first word counts: the library calls again as it closes.
        if (s->lost_reason == 0)
            s->lost_reason = rc;
    });
    mosquitto_publish_v5_callback_set(
        mosq, [](mosquitto*, void* self, int mid, int reason, const mosquitto_property*) {
            static_cast<shared*>(self)->on_acknowledged(mid, reason);
        });
    mosquitto_subscribe_callback_set(mosq, [](mosquitto*, void* self, int mid, int, const int*) {
        static_cast<shared*>(self)->on_subscribed(mid);
    });
    mosquitto_message_callback_set(mosq, [](mosquitto*, void* self, const mosquitto_message* m) {
        static_cast<shared*>(self)->on_message(*m);
    });
    const QByteArray status = rules::mqtt::status_topic(settings).toUtf8();
    mosquitto_will_set(mosq, status.constData(), 7, "offline", 1, true);
    if (!settings.username.isEmpty())
        mosquitto_username_pw_set(
            mosq, settings.username.toUtf8().constData(),
            settings.password.isEmpty() ? nullptr : settings.password.toUtf8().constData());
    if (settings.tls()) {
        const int rc = mosquitto_tls_set(mosq, settings.cafile.toLocal8Bit().constData(), nullptr,
                                         nullptr, nullptr, nullptr);
        mosquitto_tls_insecure_set(mosq, false);
        if (rc != MOSQ_ERR_SUCCESS)
            return QStringLiteral("the CA file %1 cannot be used (%2)")
                .arg(settings.cafile, why(rc));
    }
    return {};
}

// One connection, from connect to its loss or the end.
void mqtt_link::shared::converse(const std::string& address) {
    answered = false;
    refused = false;
    lost_reason = 0;
    QString problem;
    {
        const std::lock_guard lock(mutex);
        problem = make_client();
    }
    if (!problem.isEmpty()) {
        report(QStringLiteral("not connected: %1").arg(problem));
        return;
    }
    errno = 0;
    const int rc = mosquitto_connect(mosq, address.c_str(), settings.port,
                                     static_cast<int>(settings.keepalive.count()));
    if (rc != MOSQ_ERR_SUCCESS) {
        report(QStringLiteral("not connected: %1").arg(failure(rc, errno, address)));
        return;
    }
    const auto asked = std::chrono::steady_clock::now();
    while (!stop) {
        errno = 0;
        const int loop = loop_once(1000);
        if (loop != MOSQ_ERR_SUCCESS) {
            if (!stop && !refused)
                report(QStringLiteral("not connected: %1").arg(lost(loop, errno, address)));
            break;
        }
        if (connected && announced_now()) {
            answer_birth_when_due();
            if (const QString status = connected_status(); !status.isEmpty())
                report(status);
        } else if (connected && std::chrono::steady_clock::now() - asked > answer_timeout) {
            // No answer to whose the topic is: nothing is published.
            report(QStringLiteral("connected, but the broker does not acknowledge"));
        }
        if (!answered && std::chrono::steady_clock::now() - asked > answer_timeout) {
            quick_drops = 0;
            report(QStringLiteral("not connected: the broker does not answer"));
            break;
        }
    }
    if (stop && connected) {
        // "offline" is on its way: let it out and its acknowledgement in
        // (for at most a second), then say goodbye. A link closed with
        // an acknowledgement unread is reset, and the broker may lose the
        // goodbye and send the last will after our "offline".
        const auto waiting = [this] {
            const std::lock_guard lock(mutex);
            return unacknowledged > 0;
        };
        for (int i = 0; i < 20 && (mosquitto_want_write(mosq) || waiting()); ++i)
            loop_once(50);
    }
    // The goodbye is written at once, before the loop reads: waiting in
    // the loop, the link was closed with it still queued (libmosquitto
    // 2.0.11).
    mosquitto_disconnect(mosq);
    mosquitto_loop_write(mosq, 1);
    loop_once(50);
    connected = false;
}

// Why mosquitto_connect() failed, in the operator's words.
QString mqtt_link::shared::failure(int rc, int saved_errno, const std::string& address) {
    quick_drops = 0;
    const target to{settings.host, settings.port, settings.tls()};
    QString said;
    {
        const std::lock_guard lock(mutex);
        said = logged;
    }
    const bool tls_failed =
        settings.tls() && (rc == MOSQ_ERR_TLS || said.contains(QLatin1String("verify failed")));
    const QString certificate =
        tls_failed
            ? certificate_problem(address, settings.port, settings.cafile, answer_timeout / 2)
            : QString();
    return connect_verdict(rc, saved_errno, said, to, certificate).text;
}

// Why a connection ended: before the broker's answer as a failure to
// connect; after it, as the broker or the library said.
QString mqtt_link::shared::lost(int rc, int saved_errno, const std::string& address) {
    if (!answered)
        return failure(rc, saved_errno, address);
    switch (lost_reason) {
    case MOSQ_ERR_KEEPALIVE:
        return QStringLiteral("the broker stopped answering");
    case session_taken_over:
        // A broker drops a client when another connects with its id;
        // two stations that share an id take turns at that forever.
        return QStringLiteral("the broker gave the connection to another client with the "
                              "client id %1")
            .arg(settings.client_id);
    case server_shutting_down:
        return QStringLiteral("the broker is shutting down");
    default:
        return why(rc) + dropped_hint() + closed_on_publish();
    }
}

bool mqtt_link::shared::announced_now() {
    const std::lock_guard lock(mutex);
    return claim == claim_state::ours;
}

// MQTT 3.1.1 has no word for a refused message: a broker may close the
// link on it instead.
QString mqtt_link::shared::closed_on_publish() {
    const std::lock_guard lock(mutex);
    if (mqtt5 || in_flight.empty())
        return {};
    return QStringLiteral(" (with a message to `%1` unanswered: a broker speaking MQTT 3.1.1 "
                          "closes the link on a message it refuses to publish)")
        .arg(in_flight.begin()->second);
}

QString mqtt_link::shared::dropped_hint() {
    {
        const std::lock_guard lock(mutex);
        if (std::chrono::steady_clock::now() - accepted_at > answer_timeout) {
            quick_drops = 0;
            return {};
        }
    }
    if (++quick_drops < 3)
        return {};
    return QStringLiteral(" (the broker has dropped the link right after accepting it %1 "
                          "times in a row: another client may be using the client id %2)")
        .arg(quick_drops)
        .arg(settings.client_id);
}

// Seconds from a lost link to its next attempt. The attempts after a
// loss are due at u, g u, g^2 u, ... with u drawn once per loss between
// 1 s and g s, evenly on a log scale, and at most a minute apart.
// Stations that lost a broker together for D seconds then come back over
// the (g - 1) D seconds after its return, thickest at first: about
// 1 / (D ln g) of them in the first second (a fifth for D = 5 s).
double mqtt_link::shared::next_due(double last) {
    constexpr double growth = 2.5;
    if (last <= 0)
        return std::pow(growth, std::uniform_real_distribution<double>(0, 1)(random));
    return std::min(last * growth, last + double(longest_backoff.count()));
}

void mqtt_link::shared::run() {
    double due = 0;
    const std::string host = settings.host.toUtf8().toStdString();
    while (!stop) {
        const std::string address = resolve(host);
        if (stop)
            break;
        const auto started = std::chrono::steady_clock::now();
        converse(address);
        if (std::exchange(again_at_once, false))
            continue;
        // A connection that lasted starts the back-off afresh.
        if (std::chrono::steady_clock::now() - started > longest_backoff)
            due = 0;
        const double last = due;
        due = next_due(last);
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::duration<double>(due - last));
        if (stop || wait_or_stop(wait))
            break;
    }
}

mqtt_link::mqtt_link(rules::mqtt::settings settings, announcement what, resolver resolve,
                     QObject* parent)
    : QObject(parent)
    , shared_(std::make_shared<shared>()) {
    static const int initialised = mosquitto_lib_init();
    (void)initialised;
    shared& s = *shared_;
    s.settings = std::move(settings);
    s.discovery = std::move(what.discovery);
    s.take_back = std::move(what.take_back);
    s.me = std::move(what.owner);
    s.resolve = resolve ? std::move(resolve) : resolver([](const std::string& h) { return h; });
    s.owner = this;
    if (!s.settings.problem.isEmpty()) {
        s.report(QStringLiteral("not publishing: %1").arg(s.settings.problem));
        return;
    }
    if (s.settings.tls()) {
        const QString problem = ca_file_problem(s.settings.cafile);
        if (!problem.isEmpty()) {
            s.report(QStringLiteral("not connected: the CA file %1 cannot be used: %2")
                         .arg(s.settings.cafile, problem));
            return;
        }
    }
    const QString problem = s.make_client();
    if (!problem.isEmpty()) {
        s.report(QStringLiteral("not connected: %1").arg(problem));
        return;
    }
    worker_ = std::thread([keep = shared_] {
        keep->run();
        keep->done.set_value();
    });
}

mqtt_link::~mqtt_link() {
    finish();
}

void mqtt_link::publish_state(const QByteArray& json) {
    shared& s = *shared_;
    // In threaded mode the library hands the packet to the network thread
    // and wakes it; nothing here waits on the network.
    const std::lock_guard lock(s.mutex);
    s.latest = json;
    s.latest_sent = false;
    s.send_latest_locked();
}

void mqtt_link::finish() {
    shared& s = *shared_;
    if (worker_.joinable()) {
        if (s.connected) {
            // The last state goes out even when the broker is behind: it
            // is what a consumer keeps.
            const std::lock_guard lock(s.mutex);
            if (s.claim == shared::claim_state::ours) {
                if (s.latest && !s.latest_sent)
                    s.latest_sent = s.send_locked(rules::mqtt::state_topic(s.settings), *s.latest);
                s.send_locked(rules::mqtt::status_topic(s.settings), QByteArrayLiteral("offline"));
            }
        }
        s.stop = true;
        s.wake.notify_all();
        s.poke();
        // A thread caught in a slow name lookup or connect is left to the
        // end of the process rather than holding the program up.
        if (s.done.get_future().wait_for(2s) == std::future_status::ready)
            worker_.join();
        else
            worker_.detach();
    }
    const std::lock_guard lock(s.mutex);
    s.owner = nullptr;
}

bool mqtt_link::announced() const {
    return shared_->announced;
}

} // namespace mqtt
