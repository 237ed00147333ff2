#include "history/report_dialog.h"

#include <QDateEdit>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace history {

namespace {

QDateEdit* date_edit(QDate date, const QString& name, QWidget* parent) {
    auto* edit = new QDateEdit(date, parent);
    edit->setObjectName(name);
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    edit->setCalendarPopup(true);
    edit->setDateRange(QDate(1970, 1, 1), QDate(2105, 12, 31));
    return edit;
}

} // namespace

report_dialog::report_dialog(const report_choice& suggestion, const QString& shown, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Report"));
    shown_ = new QRadioButton(QStringLiteral("The time shown: %1").arg(shown), this);
    shown_->setObjectName(QStringLiteral("report_shown"));
    days_ = new QRadioButton(QStringLiteral("Whole days from"), this);
    days_->setObjectName(QStringLiteral("report_days"));
    (suggestion.whole_days ? days_ : shown_)->setChecked(true);
    from_ = date_edit(suggestion.dates.from, QStringLiteral("report_from"), this);
    from_->setAccessibleName(QStringLiteral("First day"));
    to_ = date_edit(suggestion.dates.to, QStringLiteral("report_to"), this);
    to_->setAccessibleName(QStringLiteral("Last day"));
    to_->setMinimumDate(from_->date());
    // A range of no days cannot be chosen; choosing a date chooses days.
    connect(from_, &QDateEdit::dateChanged, this, [this](QDate d) {
        to_->setMinimumDate(d);
        days_->setChecked(true);
    });
    connect(to_, &QDateEdit::dateChanged, days_, [this] { days_->setChecked(true); });

    auto* grid = new QGridLayout;
    grid->addWidget(shown_, 0, 0, 1, 4);
    grid->addWidget(days_, 1, 0);
    grid->addWidget(from_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("to"), this), 1, 2);
    grid->addWidget(to_, 1, 3);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    QPushButton* save =
        buttons->addButton(QStringLiteral("Save PDF\u2026"), QDialogButtonBox::AcceptRole);
    save->setObjectName(QStringLiteral("report_save"));
    save->setDefault(true);
    QPushButton* print =
        buttons->addButton(QStringLiteral("Print\u2026"), QDialogButtonBox::AcceptRole);
    print->setObjectName(QStringLiteral("report_print"));
    connect(save, &QPushButton::clicked, this, [this] { finish(false); });
    connect(print, &QPushButton::clicked, this, [this] { finish(true); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("A report of the data log: figures, excursions, gaps, a table per day "
                       "and the chart."),
        this));
    layout->addLayout(grid);
    layout->addWidget(buttons);
}

void report_dialog::finish(bool print) {
    print_ = print;
    accept();
}

report_choice report_dialog::choice() const {
    return {days_->isChecked(), {from_->date(), to_->date()}, print_};
}

} // namespace history
