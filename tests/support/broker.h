#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

struct mosquitto;

// A real mosquitto broker on a free port of 127.0.0.1, with a configuration
// of its own; optionally TLS with the given certificate files.
class test_broker {
public:
    struct tls_files {
        QString ca, cert, key;
    };
    explicit test_broker(const tls_files& tls = {});
    ~test_broker();
    test_broker(const test_broker&) = delete;
    test_broker& operator=(const test_broker&) = delete;

    bool start(); // true once it takes connections
    void stop();
    int port() const { return port_; }

    // Lines for the configuration, before start().
    void add_config(const QByteArray& lines);
    // A file in the broker's own folder (its log, its persistence).
    QString path(const QString& name) const { return dir_.filePath(name); }
    qint64 pid() const { return process_.processId(); }
    // The way a crash ends it: no goodbye to the clients, nothing saved.
    void kill();

private:
    QTemporaryDir dir_;
    QProcess process_;
    int port_ = 0;
};

// Makes a CA and a server certificate for 127.0.0.1 (the address, so that no
// name needs resolving; "localhost" too) signed by it in `dir` with openssl;
// and a second CA that signed nothing. False if openssl fails.
bool make_test_certificates(const QString& dir);

// A subscriber to every topic, on a network thread of its own.
class test_subscriber {
public:
    struct message {
        QString topic;
        QByteArray payload;
        bool retained;
        std::chrono::steady_clock::time_point at; // when it arrived
    };
    explicit test_subscriber(int port);
    // With a session the broker keeps while this subscriber is away: what
    // arrives meanwhile at QoS 1 is handed over when it is back.
    test_subscriber(int port, const QString& client_id);
    ~test_subscriber();
    test_subscriber(const test_subscriber&) = delete;
    test_subscriber& operator=(const test_subscriber&) = delete;

    std::vector<message> messages() const;
    // Not retained, QoS 1, as another client on the broker would.
    void publish(const QString& topic, const QByteArray& payload);
    // The latest message on `topic`, or an empty one.
    message last(const QString& topic) const;
    // Runs the Qt event loop until `done` holds for the messages or ms pass.
    bool wait(const std::function<bool(const std::vector<message>&)>& done, int ms = 10000) const;
    void clear();

private:
    mosquitto* mosq_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<message> messages_;
};
