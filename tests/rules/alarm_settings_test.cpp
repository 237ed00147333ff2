#include "rules/alarm_settings.h"
#include "rules/journal_rules.h"

#include <QJsonDocument>
#include <QMap>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(alarm_settings, a_value_that_cannot_be_used_leaves_its_default_and_is_named) {
    struct row {
        QMap<QString, QString> file;
        rules::alarms::alarm_settings want;
        int problems;
    };
    rules::alarms::alarm_settings named;
    named.name = {QStringLiteral("Freezer A"), QStringLiteral("Sensor 2")};
    named.delay = {30s, 0s};
    named.hold = 0s;
    named.remind = 0min;
    rules::alarms::alarm_settings defaults;
    const row table[] = {
        {{}, defaults, 0},
        {{{QStringLiteral("name1"), QStringLiteral(" Freezer A ")},
          {QStringLiteral("delay1"), QStringLiteral("30")},
          {QStringLiteral("hold"), QStringLiteral("0")},
          {QStringLiteral("remind"), QStringLiteral("0")}},
         named,
         0},
        {{{QStringLiteral("hold"), QStringLiteral("-1")},
          {QStringLiteral("delay2"), QStringLiteral("2.5")},
          {QStringLiteral("remind"), QStringLiteral("10081")},
          {QStringLiteral("delay1"), QStringLiteral("86401")},
          {QStringLiteral("name2"), QString(65, u'x')}},
         defaults,
         5},
    };
    for (const row& r : table) {
        QStringList problems;
        const auto got = rules::alarms::read_alarm_settings(
            [&](const QString& k) -> std::optional<QString> {
                return r.file.contains(k) ? std::optional(r.file.value(k)) : std::nullopt;
            },
            &problems);
        EXPECT_EQ(got, r.want) << problems.join(u'\n').toStdString();
        EXPECT_EQ(problems.size(), r.problems) << problems.join(u'\n').toStdString();
    }
}

TEST(journal_rules, a_line_is_one_json_object_from_its_time_and_a_setting_names_itself_both_ways) {
    const QDateTime t(QDate(2026, 12, 9), QTime(5, 12, 3, 45), Qt::OffsetFromUTC, 3600);
    const QByteArray l = rules::journal::line(
        t, QStringLiteral("alarm"), {{QStringLiteral("comment"), QStringLiteral("a\"b\nc")}});
    EXPECT_EQ(l, R"({"time":"2026-12-09T05:12:03.045+01:00","event":"alarm","comment":"a\"b\nc"})"
                 "\n");
    EXPECT_TRUE(QJsonDocument::fromJson(l).isObject());
    for (const char* id :
         {"high1", "low2", "alarm_switch2", "period", "logging", "delay1", "name2"}) {
        const QString s = QString::fromLatin1(id);
        EXPECT_EQ(rules::journal::setting_id(rules::journal::setting_fields(s)), s) << id;
    }
    EXPECT_EQ(rules::journal::setting_fields(QStringLiteral("low2")),
              (QJsonObject{{QStringLiteral("key"), QStringLiteral("threshold")},
                           {QStringLiteral("limit"), QStringLiteral("low")},
                           {QStringLiteral("sensor"), 2}}));
}
