#include "notify/smtp_client.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace notify {

namespace {

void init_curl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct slist_free {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct easy_free {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct mime_free {
    void operator()(curl_mime* m) const { curl_mime_free(m); }
};
using slist_ptr = std::unique_ptr<curl_slist, slist_free>;

void append(slist_ptr& list, const QString& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.toUtf8().constData());
    if (grown) {
        (void)list.release();
        list.reset(grown);
    }
}

int stop_asked(void* stop, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return stop && static_cast<const std::atomic<bool>*>(stop)->load() ? 1 : 0;
}

// What went wrong, as the operator would put it.
QString reason(CURLcode code, const char* detail, const rules::mail::mail_settings& s) {
    const QString d = QString::fromUtf8(detail);
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return QStringLiteral("no such host: %1").arg(s.host);
    case CURLE_COULDNT_CONNECT:
        return QStringLiteral("nothing answers at %1 port %2").arg(s.host).arg(s.port);
    case CURLE_OPERATION_TIMEDOUT:
        return QStringLiteral("the mail server did not answer in time");
    case CURLE_LOGIN_DENIED:
        return QStringLiteral("login refused for %1").arg(s.username);
    case CURLE_USE_SSL_FAILED:
        return QStringLiteral("the mail server does not offer STARTTLS");
    case CURLE_SSL_CACERT_BADFILE:
        return QStringLiteral("the CA file %1 cannot be read").arg(s.cafile);
    case CURLE_PEER_FAILED_VERIFICATION:
        if (d.contains(QLatin1String("name")))
            return QStringLiteral("the server's certificate is not for %1").arg(s.host);
        return s.cafile.isEmpty()
                   ? QStringLiteral("the server's certificate is not signed by an authority "
                                    "this machine trusts")
                   : QStringLiteral("the server's certificate is not signed by the CA file");
    case CURLE_ABORTED_BY_CALLBACK:
        return QStringLiteral("stopped");
    default:
        break;
    }
    if (d.contains(QLatin1String("RCPT")))
        return QStringLiteral("recipient refused (%1)").arg(d);
    if (d.contains(QLatin1String("MAIL")))
        return QStringLiteral("sender %1 refused (%2)").arg(s.from, d);
    return d.isEmpty() ? QString::fromUtf8(curl_easy_strerror(code)) : d;
}

bool connected(CURL* c) {
    long port = 0;
    return curl_easy_getinfo(c, CURLINFO_PRIMARY_PORT, &port) == CURLE_OK && port > 0;
}

} // namespace

bool server_listens(const rules::mail::mail_settings& s, std::chrono::seconds timeout) {
    init_curl();
    const std::unique_ptr<CURL, easy_free> curl(curl_easy_init());
    if (!curl)
        return false;
    // Plain TCP: the port answers or it does not.
    const QByteArray url = QStringLiteral("telnet://%1:%2")
                               .arg(s.host.contains(u':') ? u'[' + s.host + u']' : s.host)
                               .arg(s.port)
                               .toUtf8();
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.constData());
    curl_easy_setopt(curl.get(), CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT, static_cast<long>(timeout.count()));
    return curl_easy_perform(curl.get()) == CURLE_OK;
}

rules::result send_mail(const rules::mail::mail_settings& s, const rules::mail::message& m,
                        const QString& note, std::chrono::seconds timeout,
                        const std::atomic<bool>* stop, bool* reached) {
    init_curl();
    const std::unique_ptr<CURL, easy_free> curl(curl_easy_init());
    if (!curl)
        return rules::result::failure(QStringLiteral("no mail client could be made"));
    CURL* c = curl.get();
    char error[CURL_ERROR_SIZE] = {};
    const QByteArray url = s.url().toUtf8();
    const QByteArray from = QStringLiteral("<%1>").arg(s.from).toUtf8();
    const QByteArray user = s.username.toUtf8();
    const QByteArray password = s.password.toUtf8();
    const QByteArray cafile = s.cafile.toUtf8();
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, static_cast<long>(timeout.count()));
    curl_easy_setopt(c, CURLOPT_TIMEOUT, static_cast<long>(timeout.count()));
    curl_easy_setopt(c, CURLOPT_USE_SSL,
                     s.security == rules::mail::security::starttls
                         ? static_cast<long>(CURLUSESSL_ALL)
                         : static_cast<long>(CURLUSESSL_NONE));
    if (!s.cafile.isEmpty())
        curl_easy_setopt(c, CURLOPT_CAINFO, cafile.constData());
    if (!s.username.isEmpty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, password.constData());
    }
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.constData());
    slist_ptr recipients;
    for (const QString& to : s.to)
        append(recipients, QStringLiteral("<%1>").arg(to));
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, recipients.get());
    slist_ptr headers;
    for (const QString& h : rules::mail::headers(m, s))
        append(headers, h);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());

    const std::unique_ptr<curl_mime, mime_free> mime(curl_mime_init(c));
    QString plain = note.isEmpty() ? m.body : note + QStringLiteral("\n\n") + m.body;
    const QByteArray text = plain.replace(u'\n', QStringLiteral("\r\n")).toUtf8();
    curl_mimepart* part = curl_mime_addpart(mime.get());
    curl_mime_data(part, text.constData(), static_cast<size_t>(text.size()));
    curl_mime_type(part, "text/plain; charset=utf-8");
    curl_mime_encoder(part, "quoted-printable");
    const QByteArray png_name = m.png_name.toUtf8();
    if (!m.png.isEmpty()) {
        part = curl_mime_addpart(mime.get());
        curl_mime_data(part, m.png.constData(), static_cast<size_t>(m.png.size()));
        curl_mime_type(part, "image/png");
        curl_mime_filename(part, png_name.isEmpty() ? "chart.png" : png_name.constData());
        curl_mime_encoder(part, "base64");
    }
    curl_easy_setopt(c, CURLOPT_MIMEPOST, mime.get());
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &stop_asked);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(stop));
    const CURLcode code = curl_easy_perform(c);
    if (reached)
        *reached = code != CURLE_COULDNT_RESOLVE_HOST && code != CURLE_COULDNT_CONNECT &&
                   !(code == CURLE_OPERATION_TIMEDOUT && !connected(c));
    if (code == CURLE_OK)
        return {};
    return rules::result::failure(reason(code, error, s));
}

} // namespace notify
