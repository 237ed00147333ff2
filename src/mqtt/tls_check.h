#pragma once

#include <QString>
#include <chrono>
#include <string>

// What the CA file and the broker's certificate say, where TLS with the
// broker fails: told apart with the system's OpenSSL, the library the broker
// link itself uses. Built without it, nothing can be told (empty results).
namespace mqtt {

// Why `path` holds no certificate that TLS can read ("it holds no readable
// certificate": a PEM block with a damaged body); empty when it holds one.
QString ca_file_unreadable(const QString& path);

// After a failed TLS handshake with the broker at `host`:`port`: the
// broker's certificate checked against the CA file, in a handshake of our
// own (nothing of MQTT is sent), and why it is not trusted ("the broker's
// certificate is not signed by the CA file's"). Empty when that cannot be
// told within `wait`.
QString certificate_problem(const std::string& host, int port, const QString& cafile,
                            std::chrono::milliseconds wait);

} // namespace mqtt
