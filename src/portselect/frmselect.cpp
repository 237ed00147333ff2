#include "portselect/frmselect.h"

#include "controls/prompts.h"
#include "controls/thermometer_icon.h"
#include "controls/window_font.h"
#include "rules/port_map.h"
#include "rules/text.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace portselect {

frmselect::frmselect(controls::prompts& ask, QWidget* main_window)
    : QWidget(nullptr, Qt::Dialog | Qt::WindowCloseButtonHint | Qt::WindowTitleHint)
    , ask_(ask)
    , command1(new QPushButton(QStringLiteral("OK"), this))
    , Combo1(new QComboBox(this))
    , Label1(new QLabel(QStringLiteral("Please Select the COM Port"), this)) {
    setObjectName(QStringLiteral("frmselect"));
    setWindowTitle(rules::app_title);
    setWindowIcon(controls::thermometer_icon());
    setFixedSize(277, 116);

    const QFont f = controls::window_font(
        {QStringLiteral("New Century Schoolbook"), QStringLiteral("C059")}, 12, true);
    command1->setObjectName(QStringLiteral("command1"));
    command1->setGeometry(168, 64, 81, 33);
    command1->setAutoDefault(false);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setGeometry(24, 64, 105, 28);
    Combo1->addItems(
        {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")});
    Combo1->setCurrentIndex(-1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(24, 16, 233, 17);
    // The prompt names the list for a screen reader.
    Label1->setBuddy(Combo1);
    for (QWidget* w : {static_cast<QWidget*>(command1), static_cast<QWidget*>(Combo1),
                       static_cast<QWidget*>(Label1)})
        w->setFont(f);
    setTabOrder(Combo1, command1);
    connect(command1, &QPushButton::clicked, this, &frmselect::on_click_command1);

    if (main_window)
        main_window->hide();
}

void frmselect::remove_entry(int index) {
    Combo1->removeItem(index);
}

void frmselect::on_click_command1() {
    const QString port = Combo1->currentText();
    if (port == QString()) {
        ask_.message(QStringLiteral(" Please select a Port"));
        return;
    }
    Q_EMIT port_chosen(port);
}

void frmselect::show_devices(const rules::port_map& ports) {
    for (int i = 0; i < Combo1->count(); ++i) {
        const int port = Combo1->itemText(i).toInt();
        Combo1->setItemData(i, QStringLiteral("Port %1 is %2").arg(port).arg(ports.device(port)),
                            Qt::ToolTipRole);
    }
}

void frmselect::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The choice can be made from the keyboard alone: type the number or
    // use the arrows, Tab to OK and press Space. OK is neither the default
    // nor the cancel button, so Return and Escape confirm nothing.
    Combo1->setFocus(Qt::ActiveWindowFocusReason);
}

void frmselect::closeEvent(QCloseEvent* event) {
    event->accept();
    Q_EMIT closed_by_operator();
}

} // namespace portselect
