#include "alerts/alarm_record.h"

#include "alerts/alarm_state.h"
#include "alerts/alarm_texts.h"
#include "alerts/journal.h"

namespace alerts {

using what = rules::alarms::episode_event::what;

alarm_record::alarm_record(const alarm_state& alarms, journal& out, std::chrono::milliseconds pace,
                           QObject* parent)
    : QObject(parent)
    , out_(out)
    , pace_(pace) {
    connect(&alarms, &alarm_state::happened, this, &alarm_record::on_event);
}

void alarm_record::on_event(const alarm_event& e) {
    QJsonObject fields = journal_fields(e);
    crossings& c = crossings_[e.sensor == 2 ? 1 : 0];
    if (e.step.event == what::clearing || e.step.event == what::resumed) {
        const auto now = std::chrono::steady_clock::now();
        if (c.last != std::chrono::steady_clock::time_point{} && now - c.last < pace_) {
            ++c.unwritten;
            return;
        }
        c.last = now;
    }
    if (c.unwritten > 0)
        fields.insert(QStringLiteral("crossings_unwritten"), std::exchange(c.unwritten, 0));
    if (e.step.event == what::ended || e.step.event == what::cancelled)
        c = {};
    out_.write(QStringLiteral("alarm"), fields);
}

void alarm_record::told(int sensor, const QString& channel, const QString& phase, bool ok,
                        const QString& reason, const QJsonObject& more) {
    QJsonObject f{{QStringLiteral("sensor"), sensor},
                  {QStringLiteral("channel"), channel},
                  {QStringLiteral("phase"), phase},
                  {QStringLiteral("ok"), ok}};
    for (auto i = more.begin(); i != more.end(); ++i)
        f.insert(i.key(), i.value());
    if (!ok)
        f.insert(QStringLiteral("reason"), reason);
    out_.write(QStringLiteral("told"), f);
}

} // namespace alerts
