#include "mqtt/mqtt_trial.h"

#include "logging/logging.h"
#include "mqtt/mqtt_wait.h"
#include "mqtt/tls_check.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mosquitto.h>
#include <mutex>
#include <thread>

#ifdef Q_OS_UNIX
#include <netdb.h>
#endif

namespace mqtt {

using namespace std::chrono_literals;

struct mqtt_trial::attempt {
    rules::mqtt::settings settings;
    target to;
    std::chrono::milliseconds limit{};
    std::chrono::steady_clock::time_point deadline;

    std::mutex mutex;
    mqtt_trial* owner = nullptr; // null once nobody waits for the verdict
    QString doing = QStringLiteral("looking up the name");
    QString logged; // the library's error lines: OpenSSL's reasons
    std::atomic<int> connack{-1};
    std::atomic<int> puback{-1}; // the broker's reason code for the test message
    int test_mid = 0;
    std::atomic<bool> stop{false}; // nobody wants the verdict any more
    bool ended = false;            // the thread is about to end
    std::condition_variable ended_changed;
    mqtt_wait wait; // poll() takes any socket number, select() none from 1024 on

    // The verdict is no longer wanted: the wait for the broker ends now.
    void drop() {
        {
            const std::lock_guard lock(mutex);
            owner = nullptr;
        }
        stop = true;
        wait.poke();
    }

    void end() {
        const std::lock_guard lock(mutex);
        ended = true;
        ended_changed.notify_all();
    }

    bool wait_for_end(std::chrono::steady_clock::time_point until) {
        std::unique_lock lock(mutex);
        return ended_changed.wait_until(lock, until, [this] { return ended; });
    }

    void set_doing(const QString& what) {
        const std::lock_guard lock(mutex);
        doing = what;
    }

    // Hands the verdict to the window's thread, if it still waits for it.
    void deliver(const verdict& v, const std::shared_ptr<attempt>& self) {
        const std::lock_guard lock(mutex);
        if (!owner)
            return;
        mqtt_trial* o = owner;
        QMetaObject::invokeMethod(
            o, [o, self, v] { o->conclude(self, v); }, Qt::QueuedConnection);
    }

    QString logged_now() {
        const std::lock_guard lock(mutex);
        return logged;
    }

    verdict look_up() {
        const std::string host = to.host.toStdString();
        if (is_reserved_invalid(to.host))
            return name_not_found(to);
#ifdef Q_OS_UNIX
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        errno = 0;
        const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
        if (rc != 0)
            return lookup_verdict(rc, errno, to);
        ::freeaddrinfo(found);
#endif
        return {outcome::connected, {}};
    }

    verdict run() {
        if (!settings.problem.isEmpty())
            return {outcome::failed, settings.problem};
        if (verdict found = look_up(); found.kind != outcome::connected)
            return found;
        if (settings.tls()) {
            const QString problem = ca_file_problem(settings.cafile);
            if (!problem.isEmpty())
                return {outcome::failed, QStringLiteral("the CA file %1 cannot be used: %2")
                                             .arg(settings.cafile, problem)};
        }
        verdict v = converse(MQTT_PROTOCOL_V5);
        // A broker that knows no MQTT 5 is asked again in 3.1.1.
        if (v.kind == outcome::refused && is_protocol_refusal(connack))
            v = converse(MQTT_PROTOCOL_V311);
        return v;
    }

    verdict converse(int version) {
        connack = -1;
        puback = -1;
        const QByteArray id = (settings.client_id + QStringLiteral("-test")).toUtf8();
        std::unique_ptr<mosquitto, void (*)(mosquitto*)> m(
            mosquitto_new(id.constData(), true, this), mosquitto_destroy);
        if (!m)
            return connect_verdict(MOSQ_ERR_ERRNO, errno, {}, to);
        set_up(m.get(), version);
        if (settings.tls() &&
            mosquitto_tls_set(m.get(), settings.cafile.toLocal8Bit().constData(), nullptr, nullptr,
                              nullptr, nullptr) != MOSQ_ERR_SUCCESS)
            return {outcome::failed,
                    QStringLiteral("the CA file %1 cannot be used").arg(settings.cafile)};

        set_doing(QStringLiteral("connecting"));
        errno = 0;
        const std::string host = settings.host.toUtf8().toStdString();
        int rc = mosquitto_connect(m.get(), host.c_str(), settings.port, 10);
        if (stop)
            return {outcome::failed, {}};
        if (rc != MOSQ_ERR_SUCCESS)
            return failed(rc, errno);
        set_doing(QStringLiteral("waiting for the broker's answer"));
        while (connack < 0 && !stop && std::chrono::steady_clock::now() < deadline) {
            errno = 0;
            rc = wait.loop_once(m.get(), 100);
            if (rc != MOSQ_ERR_SUCCESS && connack < 0)
                return failed(rc, errno);
        }
        if (connack < 0)
            return timeout_verdict(doing_now(), limit, to);
        if (connack != 0)
            return connack_verdict(connack);
        verdict v = publish_test(m.get(), version);
        // A clean goodbye: no last will was set, and none is sent.
        mosquitto_disconnect(m.get());
        mosquitto_loop_write(m.get(), 1);
        return v;
    }

    // One message, not retained, on the station's own topic: whether the
    // broker publishes what the station sends. MQTT 5 says why not; a broker
    // speaking 3.1.1 may close the link instead.
    verdict publish_test(mosquitto* m, int version) {
        const QString topic = settings.topic + QStringLiteral("/test");
        set_doing(QStringLiteral("waiting for the broker to take a test message"));
        static constexpr char payload[] = "KESTROVA connection test";
        if (mosquitto_publish(m, &test_mid, topic.toUtf8().constData(), sizeof payload - 1, payload,
                              1, false) != MOSQ_ERR_SUCCESS)
            return {outcome::failed, QStringLiteral("cannot send a test message")};
        while (puback < 0 && !stop && std::chrono::steady_clock::now() < deadline) {
            if (wait.loop_once(m, 100) != MOSQ_ERR_SUCCESS && puback < 0)
                return {outcome::publish_refused,
                        QStringLiteral("connected, but the broker closed the link on a test "
                                       "message to `%1`%2")
                            .arg(topic, version == MQTT_PROTOCOL_V311
                                            ? QStringLiteral(" (with MQTT 3.1.1, the way a "
                                                             "broker refuses to publish)")
                                            : QString())};
        }
        if (puback < 0)
            return timeout_verdict(doing_now(), limit, to);
        return publish_verdict(topic, puback);
    }

    // A failed connect or handshake; a certificate that did not check out
    // is looked at in a handshake of our own, in the time left.
    verdict failed(int rc, int saved_errno) {
        const QString logged = logged_now();
        const bool tls_failed = settings.tls() && (rc == MOSQ_ERR_TLS ||
                                                   logged.contains(QLatin1String("verify failed")));
        const QString certificate =
            tls_failed ? certificate_problem(settings.host.toUtf8().toStdString(), settings.port,
                                             settings.cafile,
                                             std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 deadline - std::chrono::steady_clock::now()))
                       : QString();
        return connect_verdict(rc, saved_errno, logged, to, certificate);
    }

    void set_up(mosquitto* m, int version) {
        mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, version);
        mosquitto_publish_v5_callback_set(
            m, [](mosquitto*, void* self, int mid, int reason, const mosquitto_property*) {
                auto* a = static_cast<attempt*>(self);
                if (mid == a->test_mid)
                    a->puback = reason;
            });
        mosquitto_log_callback_set(m, [](mosquitto*, void* self, int level, const char* line) {
            if (level != MOSQ_LOG_ERR)
                return;
            auto* a = static_cast<attempt*>(self);
            const std::lock_guard lock(a->mutex);
            a->logged +=
                (a->logged.isEmpty() ? QString() : QStringLiteral("; ")) + QString::fromUtf8(line);
        });
        mosquitto_connect_callback_set(
            m, [](mosquitto*, void* self, int rc) { static_cast<attempt*>(self)->connack = rc; });
        if (!settings.username.isEmpty())
            mosquitto_username_pw_set(
                m, settings.username.toUtf8().constData(),
                settings.password.isEmpty() ? nullptr : settings.password.toUtf8().constData());
    }

    QString doing_now() {
        const std::lock_guard lock(mutex);
        return doing;
    }
};

mqtt_trial::mqtt_trial(std::chrono::milliseconds limit, QObject* parent)
    : QObject(parent)
    , limit_(limit) {
    static const int initialised = mosquitto_lib_init();
    (void)initialised;
    guard_.setSingleShot(true);
    // The thread may be caught in a lookup or a connect that no time-out
    // of ours reaches: the verdict is given without it.
    connect(&guard_, &QTimer::timeout, this, [this] {
        if (const std::shared_ptr<attempt> a = current_)
            conclude(a, timeout_verdict(a->doing_now(), limit_, a->to));
    });
}

mqtt_trial::~mqtt_trial() {
    drop_current();
    // A thread that has been told to stop ends within a turn of its wait;
    // one inside a lookup or a connect may not, and is not waited for long.
    const auto until = std::chrono::steady_clock::now() + 500ms;
    for (worker& w : workers_) {
        if (w.a->wait_for_end(until)) {
            w.thread.join();
            continue;
        }
        qCInfo(logging::log_mqtt).noquote()
            << QStringLiteral("a connection test to %1 is still %2; it is left to end on its own")
                   .arg(w.a->to.host, w.a->doing_now());
        w.thread.detach();
    }
}

void mqtt_trial::join_ended() {
    std::erase_if(workers_, [](worker& w) {
        if (!w.a->wait_for_end(std::chrono::steady_clock::now()))
            return false;
        w.thread.join();
        return true;
    });
}

void mqtt_trial::start(const rules::mqtt::settings& settings) {
    drop_current();
    join_ended();
    auto a = std::make_shared<attempt>();
    a->settings = settings;
    a->to = {settings.host, settings.port, settings.tls()};
    a->limit = limit_;
    a->deadline = std::chrono::steady_clock::now() + limit_;
    a->owner = this;
    current_ = a;
    // The thread's own deadline comes first; the guard only catches a
    // thread that cannot look at the clock.
    guard_.start(limit_ + 1s);
    workers_.push_back({a, std::thread([a] {
                            a->deliver(a->run(), a);
                            a->end();
                        })});
}

void mqtt_trial::conclude(const std::shared_ptr<attempt>& a, const verdict& v) {
    if (a != current_)
        return;
    drop_current();
    Q_EMIT finished(v);
}

void mqtt_trial::drop_current() {
    guard_.stop();
    if (current_)
        current_->drop();
    current_.reset();
}

} // namespace mqtt
