#pragma once

#include <QString>
#include <chrono>

// What came of an attempt to reach the broker, told apart and in the
// operator's words ("nothing answers on port 1883 of broker.lab"). The texts
// begin in lower case, so that they can follow "not connected: " as well as
// stand alone.
namespace mqtt {

enum class outcome {
    connected,
    refused,         // the broker answered no: bad user name or password, not authorised
    publish_refused, // connected, but the broker refuses to publish what is sent
    untrusted,       // the broker's certificate does not check out against the CA file
    not_found,       // no such host name
    port_closed,     // the host is there, but nothing takes connections on the port
    timed_out,       // no answer in time
    unreachable,     // no way to the host (no route, network down)
    failed,          // anything else, as the library or the system says it
};

struct verdict {
    outcome kind = outcome::failed;
    QString text;
};

// Where the attempt went.
struct target {
    QString host;
    int port = 0;
    bool tls = false;
};

// Names under ".invalid" never exist (RFC 6761): they are not looked up.
bool is_reserved_invalid(const QString& host);

verdict name_not_found(const target& to);
// getaddrinfo()'s error code, with errno for a system error.
verdict lookup_verdict(int eai_error, int saved_errno, const target& to);
// mosquitto_connect() or a turn of the network loop failed with `mosq_error`
// (MOSQ_ERR_*), errno as it was then, and the errors the library logged
// (OpenSSL's reasons among them); for a TLS failure, what the broker's
// certificate was found to be (certificate_problem()), where that is known.
verdict connect_verdict(int mosq_error, int saved_errno, const QString& logged, const target& to,
                        const QString& certificate = {});
// The broker's CONNACK code, MQTT 3.1.1's (1 to 5) or MQTT 5's reason code
// (128 and up); 0 is connected.
verdict connack_verdict(int code);
// Why the broker refused a message, from MQTT 5's reason code (128 and up):
// "not authorised".
QString publish_refusal(int reason);
// "connected, but the broker refuses to publish on `kestrova/lab/test` (not authorised)"
verdict publish_verdict(const QString& topic, int reason);
// The broker does not speak the protocol version asked for.
bool is_protocol_refusal(int code);
// MQTT 5 reasons for a DISCONNECT from the broker.
inline constexpr int server_shutting_down = 0x8B;
inline constexpr int session_taken_over = 0x8E;
// Nothing came within `waited` while `doing` ("looking up the name",
// "connecting", "waiting for the broker's answer").
verdict timeout_verdict(const QString& doing, std::chrono::milliseconds waited, const target& to);

// Why the CA file cannot be used; empty when it holds a certificate. Only a
// regular file is opened: a FIFO would hold the caller up.
QString ca_file_problem(const QString& path);

} // namespace mqtt
