#include "mqtt/tls_check.h"

#include <QFile>

#ifdef KESTROVA_HAVE_OPENSSL
#include <arpa/inet.h>
#include <fcntl.h>
#include <memory>
#include <netdb.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace mqtt {

#ifdef KESTROVA_HAVE_OPENSSL

namespace {

// A TCP connection to host:port within `wait`; -1 when there is none.
int connect_within(const std::string& host, int port, std::chrono::milliseconds wait) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return -1;
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0)
            continue;
        pollfd p{fd, POLLOUT, 0};
        int error = 0;
        socklen_t length = sizeof error;
        const bool connected =
            (::connect(fd, a->ai_addr, a->ai_addrlen) == 0 || errno == EINPROGRESS) &&
            ::poll(&p, 1, static_cast<int>(wait.count())) == 1 &&
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
        if (!connected) {
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    if (fd >= 0) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        timeval t{static_cast<time_t>(wait.count() / 1000),
                  static_cast<suseconds_t>(wait.count() % 1000 * 1000)};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &t, sizeof t);
    }
    return fd;
}

QString verify_text(long result, const std::string& host) {
    switch (result) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
        return QStringLiteral("the broker's certificate is not signed by the CA file's");
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return QStringLiteral("the broker's certificate is made out to another name than %1")
            .arg(QString::fromStdString(host));
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return QStringLiteral("the broker's certificate has expired");
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return QStringLiteral("the broker's certificate is not valid yet");
    default:
        return QStringLiteral("the broker's certificate is not trusted: %1")
            .arg(QString::fromUtf8(X509_verify_cert_error_string(result)));
    }
}

} // namespace

QString ca_file_unreadable(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return f.errorString();
    const QByteArray text = f.read(1 << 20);
    std::unique_ptr<BIO, decltype(&BIO_free)> in(
        BIO_new_mem_buf(text.constData(), static_cast<int>(text.size())), BIO_free);
    X509* cert = in ? PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr) : nullptr;
    ERR_clear_error();
    if (!cert)
        return QStringLiteral("it holds no readable certificate");
    X509_free(cert);
    return {};
}

QString certificate_problem(const std::string& host, int port, const QString& cafile,
                            std::chrono::milliseconds wait) {
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(SSL_CTX_new(TLS_client_method()),
                                                          SSL_CTX_free);
    if (!ctx ||
        SSL_CTX_load_verify_locations(ctx.get(), cafile.toLocal8Bit().constData(), nullptr) != 1) {
        ERR_clear_error();
        return {};
    }
    SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, nullptr);
    const int fd = connect_within(host, port, wait);
    if (fd < 0)
        return {};
    std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(ctx.get()), SSL_free);
    QString problem;
    if (ssl) {
        in6_addr ip{};
        const bool is_ip = ::inet_pton(AF_INET, host.c_str(), &ip) == 1 ||
                           ::inet_pton(AF_INET6, host.c_str(), &ip) == 1;
        X509_VERIFY_PARAM* param = SSL_get0_param(ssl.get());
        if (is_ip)
            X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
        else {
            // SSL_set_tlsext_host_name(), without the macro's C cast.
            SSL_ctrl(ssl.get(), SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                     const_cast<char*>(host.c_str()));
            X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0);
        }
        SSL_set_fd(ssl.get(), fd);
        if (SSL_connect(ssl.get()) != 1) {
            const long result = SSL_get_verify_result(ssl.get());
            if (result != X509_V_OK)
                problem = verify_text(result, host);
        } else {
            SSL_shutdown(ssl.get());
        }
    }
    ERR_clear_error();
    ::close(fd);
    return problem;
}

#else

QString ca_file_unreadable(const QString&) {
    return {};
}

QString certificate_problem(const std::string&, int, const QString&, std::chrono::milliseconds) {
    return {};
}

#endif

} // namespace mqtt
