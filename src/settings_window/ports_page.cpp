#include "settings_window/ports_page.h"

#include "serial/serial_devices.h"
#include "settings_window/field_checks.h"

#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {

// Typing is checked once it pauses, not at every key.
constexpr int settle_ms = 300;

} // namespace

ports_page::ports_page(const std::array<QString, 4>& devices, context ctx, QWidget* parent)
    : QWidget(parent)
    , ctx_(std::move(ctx)) {
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
        r.device = new QComboBox(this);
        r.device->setEditable(true);
        r.device->setInsertPolicy(QComboBox::NoInsert);
        r.device->setObjectName(QStringLiteral("port%1_device").arg(p));
        r.device->setAccessibleName(QStringLiteral("Port %1 device").arg(p));
        r.device->lineEdit()->setPlaceholderText(ctx_.defaults.device(p));
        r.device->setMinimumContentsLength(32);
        label->setBuddy(r.device);
        r.state = new QLabel(this);
        r.state->setObjectName(QStringLiteral("port%1_state").arg(p));
        r.state->setAccessibleName(QStringLiteral("Port %1 state").arg(p));
        r.state->setWordWrap(true);
        r.settle = new QTimer(this);
        r.settle->setSingleShot(true);
        r.settle->setInterval(settle_ms);
        grid->addWidget(label, p, 0);
        grid->addWidget(r.device, p, 1);
        grid->addWidget(r.state, p, 2);
        connect(r.settle, &QTimer::timeout, this, [this, p] { check(p); });
        connect(r.device, &QComboBox::currentTextChanged, r.settle, qOverload<>(&QTimer::start));
        if (previous)
            setTabOrder(previous, r.device);
        previous = r.device;
    }
    auto* again = new QPushButton(QStringLiteral("&Look again"), this);
    again->setObjectName(QStringLiteral("look_again"));
    again->setAutoDefault(false);
    again->setToolTip(QStringLiteral("Lists the serial devices present now and tries each port"));
    grid->addWidget(again, 5, 1, Qt::AlignLeft);
    setTabOrder(previous, again);
    grid->setRowStretch(6, 1);
    connect(again, &QPushButton::clicked, this, &ports_page::list_devices);

    list_devices();
    for (int p = 1; p <= 4; ++p)
        rows_[static_cast<std::size_t>(p - 1)].device->setEditText(
            devices[static_cast<std::size_t>(p - 1)]);
    for (int p = 1; p <= 4; ++p)
        check(p);
}

std::array<QString, 4> ports_page::devices() const {
    std::array<QString, 4> out;
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = rows_[i].device->currentText().trimmed();
    return out;
}

QWidget* ports_page::first_wrong() const {
    for (const row& r : rows_)
        if (!field_checks::storable(r.device->currentText().trimmed()).isEmpty())
            return r.device;
    return nullptr;
}

void ports_page::list_devices() {
    const std::vector<serial_device> present = present_serial_devices(ctx_.by_id_dir);
    for (int p = 1; p <= 4; ++p) {
        QComboBox* box = rows_[static_cast<std::size_t>(p - 1)].device;
        const QString typed = box->currentText();
        box->blockSignals(true);
        box->clear();
        for (const serial_device& d : present) {
            box->addItem(d.path);
            box->setItemData(box->count() - 1, d.description, Qt::ToolTipRole);
        }
        box->setEditText(typed);
        box->blockSignals(false);
        check(p);
    }
}

void ports_page::check(int port) {
    const row& r = rows_[static_cast<std::size_t>(port - 1)];
    const QString typed = r.device->currentText().trimmed();
    const QString path = typed.isEmpty() ? ctx_.defaults.device(port) : typed;
    QString state = field_checks::storable(typed);
    if (state.isEmpty()) {
        const QString in_use = ctx_.device_in_use ? ctx_.device_in_use() : QString();
        if (!in_use.isEmpty() && same_device(path, in_use)) {
            state = QStringLiteral("in use by KESTROVA");
        } else {
            const QString problem = device_problem(path);
            state = problem.isEmpty() ? QStringLiteral("opens now") : problem;
        }
        const int index = r.device->findText(typed);
        const QString about =
            index >= 0 ? r.device->itemData(index, Qt::ToolTipRole).toString() : QString();
        if (!about.isEmpty())
            state = about + QStringLiteral(": ") + state;
    }
    r.state->setText(state);
    r.device->setAccessibleDescription(state);
}
