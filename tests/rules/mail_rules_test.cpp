#include "rules/mail_message.h"
#include "rules/mail_settings.h"

#include <QMap>
#include <gtest/gtest.h>

namespace {

rules::mail::mail_settings read(const QMap<QString, QString>& file,
                                QStringList* problems = nullptr) {
    return rules::mail::read_mail_settings(
        [&](const QString& key) {
            return file.contains(key) ? std::optional<QString>(file.value(key)) : std::nullopt;
        },
        problems);
}

} // namespace

TEST(mail_settings, the_port_follows_the_security_and_wrong_values_leave_their_defaults) {
    using rules::mail::security;
    EXPECT_FALSE(read({}).enabled());
    const auto s = read({{"host", "mail.lab"}, {"to", " a@lab, b@lab ,"}});
    EXPECT_TRUE(s.enabled());
    EXPECT_EQ(s.to, (QStringList{"a@lab", "b@lab"}));
    EXPECT_EQ(s.url(), QStringLiteral("smtp://mail.lab:587"));
    EXPECT_EQ(read({{"host", "mail.lab"}, {"security", "TLS"}}).url(),
              QStringLiteral("smtps://mail.lab:465"));
    EXPECT_EQ(read({{"host", "::1"}, {"security", "none"}}).url(),
              QStringLiteral("smtp://[::1]:25"));
    EXPECT_EQ(read({{"host", "h"}, {"security", "tls"}, {"port", "2465"}}).port, 2465);
    QStringList problems;
    const auto wrong = read({{"host", "h"},
                             {"port", "70000"},
                             {"security", "ssl"},
                             {"to", "ops@lab, not an address"},
                             {"from", "me"},
                             {"password", " kept as typed "}},
                            &problems);
    EXPECT_EQ(problems.size(), 4) << problems.join(u'\n').toStdString();
    EXPECT_EQ(wrong.port, 587);
    EXPECT_EQ(wrong.security, security::starttls);
    EXPECT_TRUE(wrong.to.isEmpty());
    EXPECT_FALSE(wrong.enabled()) << "no address to send to";
    EXPECT_EQ(wrong.password, QStringLiteral(" kept as typed "));
    // An address with a line break or brackets would reach the headers.
    EXPECT_FALSE(rules::mail::mail_setting_problem("to", "a@b\r\nBcc: x@y").isEmpty());
    EXPECT_FALSE(rules::mail::mail_setting_problem("from", "<a@b>").isEmpty());
}

TEST(mail_message, headers_thread_a_reply_and_encode_what_is_not_ascii) {
    rules::mail::mail_settings s;
    s.from = QStringLiteral("kestrova@lab");
    s.to = {QStringLiteral("a@lab"), QStringLiteral("b@lab")};
    rules::mail::message m;
    m.made = QDateTime(QDate(2026, 12, 9), QTime(3, 12, 5), Qt::OffsetFromUTC, 3600);
    m.id = rules::mail::make_id(QStringLiteral("lab-pc"), m.made, 7);
    m.thread = QStringLiteral("first@lab-pc");
    m.subject =
        QString::fromUtf8("[KESTROVA lab-pc] Freezer A high alarm: 31 °C\n(threshold 30 °C)");
    const QStringList h = rules::mail::headers(m, s);
    EXPECT_EQ(h[0], QStringLiteral("Date: Wed, 09 Dec 2026 03:12:05 +0100"));
    EXPECT_EQ(h[2], QStringLiteral("To: a@lab, b@lab"));
    EXPECT_TRUE(h[3].startsWith(QStringLiteral("Subject: =?UTF-8?B?"))) << h[3].toStdString();
    EXPECT_FALSE(h[3].contains(u'\n'));
    EXPECT_TRUE(h.contains(QStringLiteral("In-Reply-To: <first@lab-pc>")));
    EXPECT_TRUE(h.contains(QStringLiteral("References: <first@lab-pc>")));
    EXPECT_TRUE(m.id.endsWith(QStringLiteral("@lab-pc")));
    EXPECT_NE(m.id, rules::mail::make_id(QStringLiteral("lab-pc"), m.made, 7)) << "a random part";
    m.png = QByteArray("\x89PNG\r\n", 6);
    EXPECT_EQ(rules::mail::from_file(rules::mail::to_file(m)), m);
    EXPECT_FALSE(rules::mail::from_file("{\"id\":\"x\"")) << "a file cut short";
}

TEST(mail_message, a_late_message_says_how_late_and_why) {
    using namespace std::chrono;
    const QString why = QStringLiteral("the mail server did not answer");
    EXPECT_EQ(rules::mail::late_note(seconds(59), why), QString());
    EXPECT_EQ(rules::mail::late_note(minutes(5), why),
              QStringLiteral("Sent 5 min late: the mail server did not answer."));
    EXPECT_EQ(rules::mail::late_note(hours(2) + minutes(10), why),
              QStringLiteral("Sent 2 h late: the mail server did not answer."));
    EXPECT_EQ(rules::mail::late_note(hours(72), why),
              QStringLiteral("Sent 3 days late: the mail server did not answer."));
}
