#include "support/broker.h"

#include "support/files.h"

#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <mosquitto.h>

namespace {

int free_port() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool accepts(int port) {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    return s.waitForConnected(200);
}

bool run(const QString& dir, const QStringList& args) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(QStringLiteral("openssl"), args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// The broker lives in /usr/sbin on Debian, which a user's PATH lacks.
QString broker_program() {
    const QString name = QStringLiteral("mosquitto");
    const QString on_path = QStandardPaths::findExecutable(name);
    return on_path.isEmpty()
               ? QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"),
                                                       QStringLiteral("/usr/local/sbin"),
                                                       QStringLiteral("/sbin")})
               : on_path;
}

} // namespace

test_broker::test_broker(const tls_files& tls)
    : port_(free_port()) {
    // Run as root, the broker would drop to the user "mosquitto", who cannot
    // read the test's private files; as anybody else the line does nothing.
    QByteArray conf = "user root\nlog_dest none\nlistener " + QByteArray::number(port_) +
                      " 127.0.0.1\nallow_anonymous true\n";
    if (!tls.ca.isEmpty())
        conf += "cafile " + tls.ca.toLocal8Bit() + "\ncertfile " + tls.cert.toLocal8Bit() +
                "\nkeyfile " + tls.key.toLocal8Bit() + "\n";
    write_file(dir_.filePath(QStringLiteral("mosquitto.conf")), conf);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

test_broker::~test_broker() {
    stop();
}

bool test_broker::start() {
    process_.start(broker_program(),
                   {QStringLiteral("-c"), dir_.filePath(QStringLiteral("mosquitto.conf"))});
    if (!process_.waitForStarted(5000))
        return false;
    return QTest::qWaitFor([this] { return accepts(port_); }, 10000);
}

void test_broker::stop() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

void test_broker::add_config(const QByteArray& lines) {
    const QString conf = dir_.filePath(QStringLiteral("mosquitto.conf"));
    write_file(conf, read_file(conf) + lines + '\n');
}

void test_broker::kill() {
    process_.kill();
    process_.waitForFinished(5000);
}

bool make_test_certificates(const QString& dir) {
    const auto ca = [&](const char* name) {
        const QString n = QString::fromLatin1(name);
        return run(dir, {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                         QStringLiteral("rsa:2048"), QStringLiteral("-nodes"),
                         QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                         QStringLiteral("/CN=KESTROVA test ") + n, QStringLiteral("-keyout"),
                         n + QStringLiteral(".key"), QStringLiteral("-out"),
                         n + QStringLiteral(".crt")});
    };
    write_file(QDir(dir).filePath(QStringLiteral("san.ext")),
               "subjectAltName=IP:127.0.0.1,DNS:localhost\n");
    return ca("ca") && ca("other_ca") &&
           run(dir,
               {QStringLiteral("req"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                QStringLiteral("-nodes"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                QStringLiteral("-keyout"), QStringLiteral("server.key"), QStringLiteral("-out"),
                QStringLiteral("server.csr")}) &&
           run(dir, {QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                     QStringLiteral("server.csr"), QStringLiteral("-CA"), QStringLiteral("ca.crt"),
                     QStringLiteral("-CAkey"), QStringLiteral("ca.key"),
                     QStringLiteral("-CAcreateserial"), QStringLiteral("-days"),
                     QStringLiteral("2"), QStringLiteral("-extfile"), QStringLiteral("san.ext"),
                     QStringLiteral("-out"), QStringLiteral("server.crt")});
}

test_subscriber::test_subscriber(int port)
    : test_subscriber(port, {}) {}

test_subscriber::test_subscriber(int port, const QString& client_id) {
    mosquitto_lib_init();
    mosq_ = client_id.isEmpty() ? mosquitto_new(nullptr, true, this)
                                : mosquitto_new(client_id.toUtf8().constData(), false, this);
    mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
        auto* sub = static_cast<test_subscriber*>(self);
        const std::lock_guard lock(sub->mutex_);
        sub->messages_.push_back({QString::fromUtf8(m->topic),
                                  QByteArray(static_cast<const char*>(m->payload), m->payloadlen),
                                  m->retain, std::chrono::steady_clock::now()});
    });
    mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void*, int rc) {
        if (rc == 0)
            mosquitto_subscribe(m, nullptr, "#", 1);
    });
    // The library reconnects by itself when the broker comes back.
    mosquitto_reconnect_delay_set(mosq_, 1, 1, false);
    mosquitto_connect(mosq_, "127.0.0.1", port, 30);
    mosquitto_loop_start(mosq_);
}

test_subscriber::~test_subscriber() {
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, true);
    mosquitto_destroy(mosq_);
}

void test_subscriber::publish(const QString& topic, const QByteArray& payload) {
    mosquitto_publish(mosq_, nullptr, topic.toUtf8().constData(), static_cast<int>(payload.size()),
                      payload.constData(), 1, false);
}

std::vector<test_subscriber::message> test_subscriber::messages() const {
    const std::lock_guard lock(mutex_);
    return messages_;
}

test_subscriber::message test_subscriber::last(const QString& topic) const {
    const std::lock_guard lock(mutex_);
    for (auto it = messages_.rbegin(); it != messages_.rend(); ++it)
        if (it->topic == topic)
            return *it;
    return {};
}

bool test_subscriber::wait(const std::function<bool(const std::vector<message>&)>& done,
                           int ms) const {
    return QTest::qWaitFor([&] { return done(messages()); }, ms);
}

void test_subscriber::clear() {
    const std::lock_guard lock(mutex_);
    messages_.clear();
}
