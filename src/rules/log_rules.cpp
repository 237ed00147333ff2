#include "rules/log_rules.h"

#include "rules/windows1252.h"

namespace rules::datalog {

QByteArray log_line(const QDateTime& now, const QString& sensor1, const QString& sensor2) {
    // The date is always month-day-year, whatever the system's date settings.
    const QString text = now.toString(QStringLiteral("MM-dd-yyyy\tHH:mm:ss")) + u'\t' + sensor1 +
                         u'\t' + sensor2 + QStringLiteral("\r\n");
    return rules::to_windows1252(text);
}

int sample_period_ms(bool option8, bool option5, bool option7, bool option6) {
    if (option8)
        return 5000;
    if (option5)
        return 10000;
    if (option7)
        return 30000;
    if (option6)
        return 60000;
    return 5000;
}

} // namespace rules::datalog
