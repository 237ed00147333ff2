#include "history/chart_text.h"

#include "chart/history_log.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>
#include <cmath>

namespace history {

namespace {

QString number_text(double v, int decimals) {
    return QLocale().toString(v, 'f', decimals);
}

QString share_text(const char* what, double share) {
    return QStringLiteral("%1 %2 %").arg(QLatin1StringView(what), number_text(share * 100, 1));
}

} // namespace

QString degrees() {
    return QStringLiteral("\u00B0C");
}

QString time_text(double utc_seconds) {
    return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(std::floor(utc_seconds)))
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString reading_text(std::uint8_t value) {
    return value == chart::no_reading ? QStringLiteral("- -")
                                      : QString::number(value) + u' ' + degrees();
}

QString summary_text(const QString& name, const chart::sensor_summary& s) {
    if (!s.any)
        return name + QStringLiteral(": no readings");
    QString text = QStringLiteral("%1: min %2, mean %3, max %4 %5")
                       .arg(name, QString::number(s.min), number_text(s.mean, 1),
                            QString::number(s.max), degrees());
    QStringList shares;
    if (s.above_high)
        shares << share_text("above high", *s.above_high);
    if (s.below_low)
        shares << share_text("below low", *s.below_low);
    return shares.isEmpty() ? text
                            : text + QStringLiteral("; ") + shares.join(QStringLiteral(", "));
}

QString threshold_label(const QString& name, const char* which, double value) {
    return QStringLiteral("%1 %2 %3 %4")
        .arg(name, QLatin1StringView(which), QLocale().toString(value), degrees());
}

} // namespace history
