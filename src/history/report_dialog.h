#pragma once

#include "history/file_prompts.h"

#include <QDialog>

class QDateEdit;
class QRadioButton;

namespace history {

// "Report…": the time shown or whole days, then "Save PDF…" or "Print…".
class report_dialog : public QDialog {
    Q_OBJECT

public:
    report_dialog(const report_choice& suggestion, const QString& shown, QWidget* parent = nullptr);
    report_choice choice() const;

private:
    void finish(bool print);

    QRadioButton* shown_ = nullptr;
    QRadioButton* days_ = nullptr;
    QDateEdit* from_ = nullptr;
    QDateEdit* to_ = nullptr;
    bool print_ = false;
};

} // namespace history
