#include "rules/mail_settings.h"

#include <QRegularExpression>

namespace rules::mail {

namespace {

const QString security_key = QStringLiteral("security");

std::optional<security> security_of(const QString& text) {
    const QString t = text.trimmed().toLower();
    if (t.isEmpty() || t == QLatin1String("starttls"))
        return security::starttls;
    if (t == QLatin1String("tls"))
        return security::tls;
    if (t == QLatin1String("none"))
        return security::none;
    return std::nullopt;
}

int default_port(security s) {
    switch (s) {
    case security::tls:
        return 465;
    case security::none:
        return 25;
    case security::starttls:
        break;
    }
    return 587;
}

// An address as a mail server takes it: something@somewhere, no spaces,
// no angle brackets or line breaks that could reach the headers.
bool is_address(const QString& text) {
    static const QRegularExpression address(QStringLiteral("^[^\\s<>@,;\"]+@[^\\s<>@,;\"]+$"));
    return address.match(text).hasMatch();
}

QStringList addresses(const QString& text) {
    QStringList out;
    for (const QString& a : text.split(u',', Qt::SkipEmptyParts))
        if (!a.trimmed().isEmpty())
            out << a.trimmed();
    return out;
}

} // namespace

QString mail_settings::url() const {
    const QString scheme =
        security == security::tls ? QStringLiteral("smtps") : QStringLiteral("smtp");
    const QString h = host.contains(u':') ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("%1://%2:%3").arg(scheme, h).arg(port);
}

const QStringList& mail_keys() {
    static const QStringList keys = {QStringLiteral("host"),     QStringLiteral("port"),
                                     QStringLiteral("security"), QStringLiteral("cafile"),
                                     QStringLiteral("username"), QStringLiteral("password"),
                                     QStringLiteral("from"),     QStringLiteral("to")};
    return keys;
}

QString mail_setting_problem(const QString& key, const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return {};
    if (key == QLatin1String("port")) {
        bool ok = false;
        const int n = t.toInt(&ok);
        return ok && n >= 1 && n <= 65535 ? QString()
                                          : QStringLiteral("a port number from 1 to 65535");
    }
    if (key == security_key)
        return security_of(t) ? QString() : QStringLiteral("starttls, tls or none");
    if (key == QLatin1String("host"))
        return t.contains(QRegularExpression(QStringLiteral("[\\s/@]")))
                   ? QStringLiteral("a host name or address")
                   : QString();
    if (key == QLatin1String("from"))
        return is_address(t) ? QString() : QStringLiteral("an e-mail address");
    if (key == QLatin1String("to")) {
        for (const QString& a : addresses(t))
            if (!is_address(a))
                return QStringLiteral("e-mail addresses separated by commas");
        return {};
    }
    return {};
}

mail_settings read_mail_settings(const std::function<std::optional<QString>(const QString&)>& key,
                                 QStringList* problems) {
    mail_settings s;
    bool port_given = false;
    for (const QString& k : mail_keys()) {
        const QString text = key(k).value_or(QString());
        if (const QString problem = mail_setting_problem(k, text); !problem.isEmpty()) {
            if (problems)
                *problems << QStringLiteral("[Mail] %1=%2 is not %3; the default stands")
                                 .arg(k, k == QLatin1String("password") ? QString() : text,
                                      problem);
            continue;
        }
        const QString t = k == QLatin1String("password") ? text : text.trimmed();
        if (t.isEmpty())
            continue;
        if (k == QLatin1String("host"))
            s.host = t;
        else if (k == QLatin1String("port")) {
            s.port = t.toInt();
            port_given = true;
        } else if (k == security_key)
            s.security = *security_of(t);
        else if (k == QLatin1String("cafile"))
            s.cafile = t;
        else if (k == QLatin1String("username"))
            s.username = t;
        else if (k == QLatin1String("password"))
            s.password = t;
        else if (k == QLatin1String("from"))
            s.from = t;
        else
            s.to = addresses(t);
    }
    if (!port_given)
        s.port = default_port(s.security);
    return s;
}

} // namespace rules::mail
