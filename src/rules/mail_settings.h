#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// The [Mail] section of the settings file: the mail server that alarms are
// sent through, and to whom. `host=` switches it on.
namespace rules::mail {

enum class security { starttls, tls, none };

struct mail_settings {
    QString host; // empty: no e-mail
    int port = 587;
    mail::security security = mail::security::starttls;
    QString cafile; // empty: the system's authorities
    QString username;
    QString password;
    QString from;
    QStringList to;

    bool enabled() const { return !host.isEmpty() && !to.isEmpty(); }
    // "smtp://host:587" (STARTTLS or none) or "smtps://host:465".
    QString url() const;
    friend bool operator==(const mail_settings&, const mail_settings&) = default;
};

// The keys in the order they are written.
const QStringList& mail_keys();

// What is wrong with `text` as the value of `key`, in the operator's words;
// empty when it can be used (an empty text is the default).
QString mail_setting_problem(const QString& key, const QString& text);

// [Mail] as `key` reads it whole (nullopt for a missing key). A value that
// cannot be used leaves its default, and is named in `problems`.
mail_settings read_mail_settings(const std::function<std::optional<QString>(const QString&)>& key,
                                 QStringList* problems = nullptr);

} // namespace rules::mail
