#include "alerts/alarms_window.h"

#include "alerts/alarm_state.h"
#include "alerts/alarm_texts.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>

namespace alerts {

using rules::alarms::alarm_kind;
using rules::alarms::alarm_phase;

namespace {

QString kind_text(alarm_kind k) {
    return k == alarm_kind::high  ? QStringLiteral("high alarm")
           : k == alarm_kind::low ? QStringLiteral("low alarm")
                                  : QStringLiteral("no reading");
}

QString state_text(const alarm_status& s) {
    if (s.off)
        return QStringLiteral("Alarm switched off");
    const QString kind = kind_text(s.kind);
    switch (s.phase) {
    case alarm_phase::normal:
        return QStringLiteral("Normal");
    case alarm_phase::pending:
        return QStringLiteral("Pending: %1, not yet for the raise delay").arg(kind);
    case alarm_phase::alarm:
        return kind.left(1).toUpper() + kind.mid(1);
    case alarm_phase::acknowledged:
        return kind.left(1).toUpper() + kind.mid(1) + QStringLiteral(", acknowledged");
    case alarm_phase::clearing:
        return kind.left(1).toUpper() + kind.mid(1) +
               QStringLiteral(", back within limits, not yet for the clear hold");
    }
    return {};
}

QString when(const QDateTime& t) {
    if (!t.isValid())
        return QStringLiteral("\u2014");
    return t.date() == QDate::currentDate() ? t.toString(QStringLiteral("HH:mm:ss"))
                                            : t.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

} // namespace

alarms_window::alarms_window(alarm_state& alarms, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , alarms_(alarms) {
    setObjectName(QStringLiteral("alarms_window"));
    setWindowTitle(QStringLiteral("KESTROVA Alarms"));
    auto* grid = new QGridLayout(this);
    const QStringList heads = {QStringLiteral("Sensor"), QStringLiteral("State"),
                               QStringLiteral("Since"), QStringLiteral("Peak"),
                               QStringLiteral("Acknowledged")};
    for (int c = 0; c < heads.size(); ++c) {
        auto* head = new QLabel(QStringLiteral("<b>%1</b>").arg(heads[c]), this);
        grid->addWidget(head, 0, c);
    }
    for (int sensor : {1, 2}) {
        row& r = rows_[std::size_t(sensor - 1)];
        const QString n = QString::number(sensor);
        r.name = new QLabel(this);
        r.state = new QLabel(this);
        r.since = new QLabel(this);
        r.peak = new QLabel(this);
        r.answer = new QLabel(this);
        r.answer->setWordWrap(true);
        r.acknowledge = new QPushButton(QStringLiteral("Acknowledge\u2026"), this);
        r.acknowledge->setObjectName(QStringLiteral("acknowledge") + n);
        int c = 0;
        for (QLabel* l : {r.name, r.state, r.since, r.peak, r.answer}) {
            l->setObjectName(heads[c].toLower() + n);
            l->setTextInteractionFlags(Qt::TextSelectableByMouse);
            grid->addWidget(l, sensor, c++, Qt::AlignTop);
        }
        grid->addWidget(r.acknowledge, sensor, c, Qt::AlignTop);
        connect(r.acknowledge, &QPushButton::clicked, this,
                [this, sensor] { ask_acknowledgement(sensor); });
        show_sensor(sensor);
    }
    grid->setColumnStretch(4, 1);
    grid->setRowStretch(3, 1);
    connect(&alarms_, &alarm_state::changed, this, &alarms_window::show_sensor);
    auto* close = new QShortcut(QKeySequence::Close, this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
    resize(760, std::max(sizeHint().height(), 200));
    // The keyboard starts where the answer is wanted.
    for (const row& r : rows_)
        if (r.acknowledge->isEnabled()) {
            r.acknowledge->setFocus();
            break;
        }
}

void alarms_window::show_sensor(int sensor) {
    const row& r = rows_[std::size_t(sensor == 2 ? 1 : 0)];
    const alarm_status& s = alarms_.status(sensor);
    const bool episode = !s.off && s.phase != alarm_phase::normal;
    r.name->setText(alarms_.name(sensor));
    r.state->setText(state_text(s));
    r.since->setText(episode ? when(s.since) : QStringLiteral("\u2014"));
    r.peak->setText(episode && s.peak ? QStringLiteral("%1\u00BAC").arg(*s.peak)
                                      : QStringLiteral("\u2014"));
    QString answer = QStringLiteral("\u2014");
    if (!s.acknowledged_by.isEmpty()) {
        answer = QStringLiteral("%1 at %2 (%3)")
                     .arg(s.acknowledged_by, when(s.acknowledged_at), via_name(s.acknowledged_via));
        if (!s.comment.isEmpty())
            answer += QStringLiteral(": ") + s.comment;
    }
    r.answer->setText(answer);
    const bool open = s.acknowledged_by.isEmpty() &&
                      (s.phase == alarm_phase::alarm || s.phase == alarm_phase::clearing);
    r.acknowledge->setEnabled(open);
    r.acknowledge->setAccessibleName(
        QStringLiteral("Acknowledge the alarm of %1").arg(alarms_.name(sensor)));
}

void alarms_window::ask_acknowledgement(int sensor) {
    auto* ask = new QDialog(this);
    ask->setObjectName(QStringLiteral("acknowledge_dialog"));
    ask->setAttribute(Qt::WA_DeleteOnClose);
    ask->setWindowTitle(QStringLiteral("Acknowledge %1").arg(alarms_.name(sensor)));
    auto* layout = new QVBoxLayout(ask);
    auto* label = new QLabel(
        QStringLiteral("What was done about it (optional), for example \u201Cdoor closed, stock "
                       "moved to freezer B\u201D:"),
        ask);
    label->setWordWrap(true);
    auto* comment = new QPlainTextEdit(ask);
    comment->setObjectName(QStringLiteral("comment"));
    comment->setTabChangesFocus(true);
    comment->setAccessibleName(QStringLiteral("Corrective action"));
    label->setBuddy(comment);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, ask);
    QPushButton* ok =
        buttons->addButton(QStringLiteral("Acknowledge"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    layout->addWidget(label);
    layout->addWidget(comment);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, ask, &QDialog::accept);
    // Return is a new line in the comment; Ctrl+Return answers.
    auto* answer = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), ask);
    connect(answer, &QShortcut::activated, ask, &QDialog::accept);
    ok->setToolTip(QStringLiteral("Ctrl+Return"));
    connect(buttons, &QDialogButtonBox::rejected, ask, &QDialog::reject);
    connect(ask, &QDialog::accepted, this, [this, sensor, comment] {
        alarms_.acknowledge(sensor, answer_via::window, local_user(),
                            comment->toPlainText().trimmed());
    });
    ask->open();
    comment->setFocus();
}

} // namespace alerts
