#include "settings_window/alarms_page.h"

#include "rules/alarm_settings.h"
#include "settings_window/field_checks.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace settings_window {

alarms_page::alarms_page(const QMap<QString, QString>& values, QWidget* parent)
    : QWidget(parent)
    , initial_(values) {
    auto* grid = new QGridLayout(this);
    struct row {
        const char* key;
        const char* label;
        const char* name; // for a screen reader
        const char* placeholder;
    };
    const row rows[] = {
        {"name1", "Sensor &1 name:", "Sensor 1 name", "Sensor 1"},
        {"name2", "Sensor &2 name:", "Sensor 2 name", "Sensor 2"},
        {"delay1", "Sensor 1 raise &delay (s):", "Sensor 1 raise delay in seconds", "0"},
        {"delay2", "Sensor 2 raise d&elay (s):", "Sensor 2 raise delay in seconds", "0"},
        {"hold", "Clear &hold (s):", "Clear hold in seconds", "60"},
        {"remind", "&Reminders every (min):", "Minutes between reminders, 0 for none", "15"},
    };
    int r = 0;
    for (const row& w : rows) {
        const QString key = QString::fromLatin1(w.key);
        auto* label = new QLabel(QString::fromUtf8(w.label), this);
        auto* edit = new QLineEdit(values.value(key), this);
        edit->setObjectName(QStringLiteral("alarm_") + key);
        edit->setAccessibleName(QString::fromUtf8(w.name));
        edit->setPlaceholderText(QString::fromUtf8(w.placeholder));
        label->setBuddy(edit);
        auto* reason = new QLabel(this);
        reason->setObjectName(edit->objectName() + QStringLiteral("_reason"));
        reason->setWordWrap(true);
        reason->setStyleSheet(QStringLiteral("color: #c00000"));
        reason->hide();
        grid->addWidget(label, r, 0);
        grid->addWidget(edit, r, 1);
        grid->addWidget(reason, r++, 2);
        fields_.push_back({key, edit, reason});
        connect(edit, &QLineEdit::textChanged, this, &alarms_page::recheck);
    }
    auto* about = new QLabel(
        QStringLiteral("An alarm is raised once a sensor has been beyond a threshold, or without a "
                       "reading, for its raise delay, and told again at each reminder until it is "
                       "acknowledged. \u201CBack to normal\u201D is told once it has been within "
                       "limits for the clear hold. The lamps in the window do not wait."),
        this);
    about->setWordWrap(true);
    grid->addWidget(about, r++, 0, 1, 3);
    grid->setColumnStretch(2, 2);
    grid->setRowStretch(r, 1);
}

QMap<QString, QString> alarms_page::values() const {
    QMap<QString, QString> v = initial_;
    for (const field& f : fields_)
        v.insert(f.key, f.edit->text().trimmed());
    return v;
}

QWidget* alarms_page::first_wrong() {
    recheck();
    for (const field& f : fields_)
        if (!f.reason->text().isEmpty())
            return f.edit;
    return nullptr;
}

void alarms_page::recheck() {
    for (const field& f : fields_) {
        const QString text = f.edit->text().trimmed();
        const QString problem = rules::alarms::alarm_setting_problem(f.key, text);
        const QString why = field_checks::first_of(
            {problem.isEmpty() ? QString() : QStringLiteral("is not ") + problem,
             field_checks::storable(text)});
        f.reason->setText(why);
        f.reason->setVisible(!why.isEmpty());
        f.edit->setAccessibleDescription(why);
    }
}

} // namespace settings_window
