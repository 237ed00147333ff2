#include "publish/mqtt_link.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <future>
#include <mosquitto.h>
#include <mutex>
#include <optional>

using namespace std::chrono_literals;

namespace {

constexpr int keepalive_s = 30;
constexpr auto longest_backoff = 60s;

QString why(int rc) {
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(errno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

} // namespace

// Shared by the window's thread and the network thread, and kept alive by
// the latter when the program ends while it is still caught in a lookup.
struct mqtt_link::shared {
    mqtt::settings settings;
    std::vector<mqtt::message> discovery;
    resolver resolve;
    mosquitto* mosq = nullptr;

    std::mutex mutex;
    std::condition_variable wake;
    mqtt_link* owner = nullptr; // null once the link object is gone
    std::optional<QByteArray> latest;
    QString reported;
    std::atomic<bool> stop{false};
    std::atomic<bool> connected{false};
    std::atomic<bool> answered{false};
    std::promise<void> done;

    ~shared() {
        if (mosq)
            mosquitto_destroy(mosq);
    }

    void send(const QString& topic, const QByteArray& payload) {
        mosquitto_publish(mosq, nullptr, topic.toUtf8().constData(),
                          static_cast<int>(payload.size()), payload.constData(), 1, true);
    }

    void report(const QString& status) {
        const std::lock_guard lock(mutex);
        if (status == reported || !owner)
            return;
        reported = status;
        mqtt_link* link = owner;
        QMetaObject::invokeMethod(
            link, [link, status] { Q_EMIT link->status_changed(status); }, Qt::QueuedConnection);
    }

    bool wait_or_stop(std::chrono::milliseconds d) {
        std::unique_lock lock(mutex);
        return wake.wait_for(lock, d, [this] { return stop.load(); });
    }

    void on_connect(int rc) {
        answered = true;
        if (rc != 0) {
            report(QStringLiteral("not connected: %1")
                       .arg(QString::fromUtf8(mosquitto_connack_string(rc))));
            mosquitto_disconnect(mosq);
            return;
        }
        connected = true;
        send(mqtt::status_topic(settings), QByteArrayLiteral("online"));
        for (const mqtt::message& m : discovery)
            send(m.topic, m.payload);
        std::optional<QByteArray> state;
        {
            const std::lock_guard lock(mutex);
            state = latest;
        }
        if (state)
            send(mqtt::state_topic(settings), *state);
        report(QStringLiteral("connected"));
    }

    // One connection, from connect to its loss or the end.
    void converse(const std::string& address) {
        answered = false;
        const int rc = mosquitto_connect(mosq, address.c_str(), settings.port, keepalive_s);
        if (rc != MOSQ_ERR_SUCCESS) {
            report(QStringLiteral("not connected: %1").arg(why(rc)));
            return;
        }
        const auto asked = std::chrono::steady_clock::now();
        while (!stop) {
            const int loop = mosquitto_loop(mosq, 1000, 1);
            if (loop != MOSQ_ERR_SUCCESS) {
                if (!stop)
                    report(QStringLiteral("not connected: %1").arg(why(loop)));
                break;
            }
            if (!answered && std::chrono::steady_clock::now() - asked > answer_timeout) {
                report(QStringLiteral("not connected: the broker does not answer"));
                break;
            }
        }
        if (stop && connected) {
            // "offline" is on its way; let it out, then say goodbye.
            for (int i = 0; i < 20 && mosquitto_want_write(mosq); ++i)
                mosquitto_loop(mosq, 50, 1);
        }
        mosquitto_disconnect(mosq);
        mosquitto_loop(mosq, 50, 1);
        connected = false;
    }

    void run() {
        auto backoff = 1s;
        const std::string host = settings.host.toUtf8().toStdString();
        while (!stop) {
            const std::string address = resolve(host);
            if (stop)
                break;
            const auto started = std::chrono::steady_clock::now();
            converse(address);
            // A connection that lasted starts the back-off afresh.
            if (std::chrono::steady_clock::now() - started > longest_backoff)
                backoff = 1s;
            if (stop || wait_or_stop(backoff))
                break;
            backoff = std::min<std::chrono::seconds>(backoff * 2, longest_backoff);
        }
    }
};

mqtt_link::mqtt_link(mqtt::settings settings, std::vector<mqtt::message> discovery,
                     resolver resolve, QObject* parent)
    : QObject(parent)
    , shared_(std::make_shared<shared>()) {
    static const int initialised = mosquitto_lib_init();
    (void)initialised;
    shared& s = *shared_;
    s.settings = std::move(settings);
    s.discovery = std::move(discovery);
    s.resolve = resolve ? std::move(resolve) : resolver([](const std::string& h) { return h; });
    s.owner = this;
    s.mosq = mosquitto_new(s.settings.client_id.toUtf8().constData(), true, &s);
    if (!s.mosq) {
        s.report(
            QStringLiteral("not connected: cannot make a client (%1)").arg(why(MOSQ_ERR_ERRNO)));
        return;
    }
    mosquitto_threaded_set(s.mosq, true);
    mosquitto_int_option(s.mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(
        s.mosq, [](mosquitto*, void* self, int rc) { static_cast<shared*>(self)->on_connect(rc); });
    mosquitto_disconnect_callback_set(
        s.mosq, [](mosquitto*, void* self, int) { static_cast<shared*>(self)->connected = false; });
    const QByteArray status = mqtt::status_topic(s.settings).toUtf8();
    mosquitto_will_set(s.mosq, status.constData(), 7, "offline", 1, true);
    if (!s.settings.username.isEmpty())
        mosquitto_username_pw_set(
            s.mosq, s.settings.username.toUtf8().constData(),
            s.settings.password.isEmpty() ? nullptr : s.settings.password.toUtf8().constData());
    if (s.settings.tls()) {
        const int rc = mosquitto_tls_set(s.mosq, s.settings.cafile.toLocal8Bit().constData(),
                                         nullptr, nullptr, nullptr, nullptr);
        mosquitto_tls_insecure_set(s.mosq, false);
        if (rc != MOSQ_ERR_SUCCESS) {
            s.report(QStringLiteral("not connected: the CA file %1 cannot be used (%2)")
                         .arg(s.settings.cafile, why(rc)));
            return;
        }
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
    {
        const std::lock_guard lock(s.mutex);
        s.latest = json;
    }
    // In threaded mode the library hands the packet to the network thread
    // and wakes it; nothing here waits on the network.
    if (s.connected)
        s.send(mqtt::state_topic(s.settings), json);
}

void mqtt_link::finish() {
    shared& s = *shared_;
    if (worker_.joinable()) {
        if (s.connected)
            s.send(mqtt::status_topic(s.settings), QByteArrayLiteral("offline"));
        s.stop = true;
        s.wake.notify_all();
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
