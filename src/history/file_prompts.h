#pragma once

#include "chart/report_period.h"

#include <QString>
#include <optional>

class QPrinter;
class QWidget;

namespace history {

// What a report covers and where it goes.
struct report_choice {
    bool whole_days = false; // else the time shown
    chart::date_range dates;
    bool print = false; // else a PDF file
};

// Where a picture, an export or a report goes, and the one box that says it failed;
// an interface so that tests can answer in the dialog's place.
class file_prompts {
public:
    virtual ~file_prompts() = default;
    // A path to save to, empty when the user cancels. `filters` as
    // QFileDialog takes them; the first is the default.
    virtual QString save_path(const QString& caption, const QString& suggestion,
                              const QString& filters) = 0;
    virtual void failed(const QString& text, const QString& reason) = 0;
    // The report's range and whether it is printed, from `suggestion` on
    // (`shown` describes the time shown); nullopt when the user cancels.
    virtual std::optional<report_choice> choose_report(const report_choice& suggestion,
                                                       const QString& shown) = 0;
    // Sets up `printer`; false when the user cancels.
    virtual bool choose_printer(QPrinter& printer) = 0;
};

class dialog_file_prompts : public file_prompts {
public:
    explicit dialog_file_prompts(QWidget* parent)
        : parent_(parent) {}
    QString save_path(const QString& caption, const QString& suggestion,
                      const QString& filters) override;
    void failed(const QString& text, const QString& reason) override;
    std::optional<report_choice> choose_report(const report_choice& suggestion,
                                               const QString& shown) override;
    bool choose_printer(QPrinter& printer) override;

private:
    QWidget* parent_;
};

} // namespace history
