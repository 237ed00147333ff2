#include "mqtt/mqtt_outcome.h"

#include "mqtt/tls_check.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <mosquitto.h>

#ifdef Q_OS_UNIX
#include <netdb.h>
#endif

namespace mqtt {

namespace {

QString system_text(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

verdict name_not_found(const target& to) {
    return {outcome::not_found, QStringLiteral("the name %1 was not found").arg(to.host)};
}

bool is_reserved_invalid(const QString& host) {
    QString h = host.toLower();
    if (h.endsWith(u'.'))
        h.chop(1);
    return h == QLatin1String("invalid") || h.endsWith(QLatin1String(".invalid"));
}

verdict lookup_verdict(int eai_error, int saved_errno, const target& to) {
#ifdef Q_OS_UNIX
    switch (eai_error) {
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
        return name_not_found(to);
    case EAI_AGAIN:
        return {outcome::failed,
                QStringLiteral("the name %1 cannot be looked up now (%2)")
                    .arg(to.host, QString::fromLocal8Bit(gai_strerror(eai_error)))};
    case EAI_SYSTEM:
        return {outcome::failed, QStringLiteral("the name %1 cannot be looked up: %2")
                                     .arg(to.host, system_text(saved_errno))};
    default:
        return {outcome::failed,
                QStringLiteral("the name %1 cannot be looked up: %2")
                    .arg(to.host, QString::fromLocal8Bit(gai_strerror(eai_error)))};
    }
#else
    Q_UNUSED(eai_error);
    Q_UNUSED(saved_errno);
    return name_not_found(to);
#endif
}

verdict connect_verdict(int mosq_error, int saved_errno, const QString& logged, const target& to,
                        const QString& certificate) {
    const QString where = QStringLiteral("%1:%2").arg(to.host).arg(to.port);
    switch (mosq_error) {
    case MOSQ_ERR_ERRNO:
        switch (saved_errno) {
        case ECONNREFUSED:
            return {outcome::port_closed,
                    QStringLiteral("nothing answers on port %1 of %2").arg(to.port).arg(to.host)};
        case ETIMEDOUT:
            return {outcome::timed_out, QStringLiteral("timed out connecting to %1").arg(where)};
        case EHOSTUNREACH:
        case ENETUNREACH:
#ifdef EHOSTDOWN
        case EHOSTDOWN:
#endif
        case ENETDOWN:
            return {
                outcome::unreachable,
                QStringLiteral("%1 cannot be reached: %2").arg(to.host, system_text(saved_errno))};
        default:
            return {
                outcome::failed,
                QStringLiteral("cannot connect to %1: %2").arg(where, system_text(saved_errno))};
        }
    case MOSQ_ERR_EAI:
        return {outcome::not_found,
                QStringLiteral("the name %1 was not found or cannot be looked up").arg(to.host)};
    case MOSQ_ERR_TLS:
        if (!certificate.isEmpty())
            return {outcome::untrusted, certificate};
        if (logged.contains(QLatin1String("certificate verify failed")))
            return {outcome::untrusted,
                    QStringLiteral("the broker's certificate is not trusted: it is not signed by "
                                   "the CA file, or not made out to %1")
                        .arg(to.host)};
        return {outcome::failed,
                QStringLiteral("TLS with %1 failed%2")
                    .arg(where, logged.isEmpty() ? QString() : QStringLiteral(": ") + logged)};
    case MOSQ_ERR_CONN_LOST:
    case MOSQ_ERR_NO_CONN:
        // A TLS listener drops a client that does not speak TLS, and the
        // other way round.
        return {outcome::failed, QStringLiteral("%1 closed the connection%2")
                                     .arg(where, to.tls ? QStringLiteral(" (is it a TLS port?)")
                                                        : QStringLiteral(" (does it want TLS?)"))};
    case MOSQ_ERR_PROTOCOL:
    case MOSQ_ERR_MALFORMED_PACKET:
        return {outcome::failed, QStringLiteral("%1 does not answer as an MQTT broker").arg(where)};
    default:
        return {outcome::failed, QString::fromUtf8(mosquitto_strerror(mosq_error))};
    }
}

verdict connack_verdict(int code) {
    const auto refused = [](const QString& why) {
        return verdict{outcome::refused, QStringLiteral("refused by the broker: ") + why};
    };
    switch (code) {
    case 0:
        return {outcome::connected, QStringLiteral("connected")};
    case 4:
    case 0x86:
        return refused(QStringLiteral("bad user name or password"));
    case 5:
    case 0x87:
        return refused(QStringLiteral("not authorised"));
    case 2:
    case 0x85:
        return refused(QStringLiteral("it does not take the client id"));
    case 3:
    case 0x88:
        return refused(QStringLiteral("it is unavailable"));
    case 0x89:
        return refused(QStringLiteral("it is busy"));
    case 0x8A:
        return refused(QStringLiteral("this client is banned"));
    default:
        return refused(QString::fromUtf8(code >= 0x80 ? mosquitto_reason_string(code)
                                                      : mosquitto_connack_string(code)));
    }
}

QString publish_refusal(int reason) {
    switch (reason) {
    case 0x87:
        return QStringLiteral("not authorised");
    case 0x90:
        return QStringLiteral("the topic name is not valid");
    case 0x95:
        return QStringLiteral("the message is too large");
    case 0x97:
        return QStringLiteral("over its quota");
    case 0x99:
        return QStringLiteral("the payload format is not valid");
    default:
        return QString::fromUtf8(mosquitto_reason_string(reason)).toLower();
    }
}

verdict publish_verdict(const QString& topic, int reason) {
    if (reason < 0x80)
        return {outcome::connected, QStringLiteral("connected")};
    return {outcome::publish_refused,
            QStringLiteral("connected, but the broker refuses to publish on `%1` (%2)")
                .arg(topic, publish_refusal(reason))};
}

bool is_protocol_refusal(int code) {
    return code == 1 || code == 0x84;
}

verdict timeout_verdict(const QString& doing, std::chrono::milliseconds waited, const target& to) {
    const auto seconds = (waited.count() + 500) / 1000;
    return {outcome::timed_out, QStringLiteral("timed out %1 (no answer from %2:%3 within %4 s)")
                                    .arg(doing, to.host)
                                    .arg(to.port)
                                    .arg(seconds)};
}

QString ca_file_problem(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("it does not exist");
    if (info.isDir())
        return QStringLiteral("it is a folder");
    if (!info.isFile())
        return QStringLiteral("it is not a regular file");
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return f.errorString();
    if (!f.read(1 << 20).contains("-----BEGIN CERTIFICATE-----"))
        return QStringLiteral("it holds no PEM certificate");
    return ca_file_unreadable(path);
}

} // namespace mqtt
