#include "settings_window/ports_page.h"

#include "serial/serial_devices.h"
#include "settings_window/field_checks.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTimer>
#include <QToolButton>

namespace settings_window {

namespace {

// Typing is checked once it pauses, not at every key.
constexpr int settle_ms = 300;

} // namespace

ports_page::ports_page(const std::array<QString, 4>& devices, context ctx, QWidget* parent)
    : QWidget(parent)
    , ctx_(std::move(ctx))
    , present_(new QStandardItemModel(this)) {
    auto* grid = new QGridLayout(this);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(2, 2);
    auto* about = new QLabel(QStringLiteral("The device each port number stands for. Empty: the "
                                            "default shown in grey."),
                             this);
    about->setWordWrap(true);
    grid->addWidget(about, 0, 0, 1, 3);
    QWidget* previous = nullptr;
    for (int p = 1; p <= 4; ++p) {
        row& r = rows_[static_cast<std::size_t>(p - 1)];
        auto* label = new QLabel(QStringLiteral("Port &%1:").arg(p), this);
        // A field with the devices present to choose from: a combo box
        // would give a screen reader on Linux its text as its name.
        r.device = new QLineEdit(this);
        r.device->setObjectName(QStringLiteral("port%1_device").arg(p));
        r.device->setAccessibleName(QStringLiteral("Port %1 device").arg(p));
        r.device->setPlaceholderText(ctx_.defaults.device(p));
        auto* completer = new QCompleter(present_, r.device);
        completer->setCaseSensitivity(Qt::CaseInsensitive);
        completer->setFilterMode(Qt::MatchContains);
        r.device->setCompleter(completer);
        auto* list = new QToolButton(this);
        list->setObjectName(QStringLiteral("port%1_list").arg(p));
        list->setArrowType(Qt::DownArrow);
        list->setAccessibleName(QStringLiteral("Serial devices for port %1").arg(p));
        list->setToolTip(QStringLiteral("The serial devices present now"));
        connect(list, &QToolButton::clicked, r.device, [completer, device = r.device] {
            device->setFocus();
            completer->setCompletionPrefix(QString());
            completer->complete();
        });
        auto* field = new QHBoxLayout;
        field->setSpacing(2);
        field->addWidget(r.device, 1);
        field->addWidget(list);
        label->setBuddy(r.device);
        r.state = new QLabel(this);
        r.state->setObjectName(QStringLiteral("port%1_state").arg(p));
        r.state->setWordWrap(true);
        r.settle = new QTimer(this);
        r.settle->setSingleShot(true);
        r.settle->setInterval(settle_ms);
        grid->addWidget(label, p, 0);
        grid->addLayout(field, p, 1);
        grid->addWidget(r.state, p, 2);
        connect(r.settle, &QTimer::timeout, this, [this, p] { check(p); });
        connect(r.device, &QLineEdit::textChanged, r.settle, qOverload<>(&QTimer::start));
        if (previous)
            setTabOrder(previous, r.device);
        setTabOrder(r.device, list);
        previous = list;
    }
    auto* again = new QPushButton(QStringLiteral("&Look again"), this);
    again->setObjectName(QStringLiteral("look_again"));
    again->setAutoDefault(false);
    again->setToolTip(QStringLiteral("Lists the serial devices present now and tries each port"));
    grid->addWidget(again, 5, 1, Qt::AlignLeft);
    setTabOrder(previous, again);
    grid->setRowStretch(6, 1);
    connect(again, &QPushButton::clicked, this, &ports_page::list_devices);

    for (int p = 1; p <= 4; ++p)
        rows_[static_cast<std::size_t>(p - 1)].device->setText(
            devices[static_cast<std::size_t>(p - 1)]);
    list_devices();
}

std::array<QString, 4> ports_page::devices() const {
    std::array<QString, 4> out;
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = rows_[i].device->text().trimmed();
    return out;
}

QWidget* ports_page::first_wrong() const {
    for (const row& r : rows_)
        if (!field_checks::storable(r.device->text().trimmed()).isEmpty())
            return r.device;
    return nullptr;
}

void ports_page::list_devices() {
    present_->clear();
    for (const serial::serial_device& d : serial::present_serial_devices(ctx_.by_id_dir)) {
        auto* item = new QStandardItem(d.path);
        item->setToolTip(d.description);
        present_->appendRow(item);
    }
    for (int p = 1; p <= 4; ++p)
        check(p);
}

QString ports_page::description_of(const QString& path) const {
    for (int i = 0; i < present_->rowCount(); ++i)
        if (present_->item(i)->text() == path)
            return present_->item(i)->toolTip();
    return {};
}

void ports_page::check(int port) {
    const row& r = rows_[static_cast<std::size_t>(port - 1)];
    const QString typed = r.device->text().trimmed();
    const QString path = typed.isEmpty() ? ctx_.defaults.device(port) : typed;
    QString state = field_checks::storable(typed);
    if (state.isEmpty()) {
        const QString in_use = ctx_.device_in_use ? ctx_.device_in_use() : QString();
        if (!in_use.isEmpty() && serial::same_device(path, in_use)) {
            state = QStringLiteral("in use by KESTROVA");
        } else {
            const QString problem = serial::device_problem(path);
            state = problem.isEmpty() ? QStringLiteral("opens now") : problem;
        }
        const QString about = description_of(typed);
        if (!about.isEmpty())
            state = about + QStringLiteral(": ") + state;
    }
    r.state->setText(state);
    r.device->setAccessibleDescription(state);
}

} // namespace settings_window
