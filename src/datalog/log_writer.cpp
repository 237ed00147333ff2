#include "datalog/log_writer.h"

#include "controls/display_box.h"
#include "controls/properties.h"
#include "logging/logging.h"
#include "rules/log_rules.h"

#include <QCheckBox>
#include <QDir>

namespace datalog {

namespace {

void set_text_colour(QCheckBox* box, QColor c) {
    QPalette p = box->palette();
    p.setColor(QPalette::WindowText, c);
    p.setColor(QPalette::ButtonText, c);
    box->setPalette(p);
}

} // namespace

log_writer::log_writer(const logging_role& log, QString dir, std::function<QDateTime()> clock,
                       QObject* parent)
    : QObject(parent)
    , log_role_(log)
    , log_(std::move(dir))
    , clock_(std::move(clock))
    , normal_text_(log.log_switch->palette().color(QPalette::WindowText)) {}

void log_writer::write_log_line() {
    if (controls::check_value(log_role_.log_switch) == 0)
        return;
    const QDateTime now = clock_();
    report(log_.append(
        rules::datalog::log_line(now, log_role_.sensor1->text(), log_role_.sensor2->text())));
}

void log_writer::report(const rules::result& appended) {
    QCheckBox* box = log_role_.log_switch;
    if (appended) {
        if (failing_) {
            failing_ = false;
            box->setToolTip(QString());
            set_text_colour(box, normal_text_);
            qCInfo(logging::log_datalog).noquote()
                << QStringLiteral("the data log %1 is written again")
                       .arg(QDir::toNativeSeparators(log_.path()));
        }
        return;
    }
    const QString tip = QStringLiteral("Logging is failing: %1 cannot be written (%2)")
                            .arg(QDir::toNativeSeparators(log_.path()), appended.why());
    if (box->toolTip() != tip) {
        box->setToolTip(tip);
        set_text_colour(box, QColor(0xC0, 0x00, 0x00));
    }
    if (!failing_) {
        failing_ = true;
        qCCritical(logging::log_datalog).noquote() << tip;
    }
}

} // namespace datalog
