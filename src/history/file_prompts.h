#pragma once

#include <QString>

class QWidget;

namespace history {

// Where a picture or an export goes, and the one box that says it failed;
// an interface so that tests can answer in the dialog's place.
class file_prompts {
public:
    virtual ~file_prompts() = default;
    // A path to save to, empty when the user cancels. `filters` as
    // QFileDialog takes them; the first is the default.
    virtual QString save_path(const QString& caption, const QString& suggestion,
                              const QString& filters) = 0;
    virtual void failed(const QString& text, const QString& reason) = 0;
};

class dialog_file_prompts : public file_prompts {
public:
    explicit dialog_file_prompts(QWidget* parent)
        : parent_(parent) {}
    QString save_path(const QString& caption, const QString& suggestion,
                      const QString& filters) override;
    void failed(const QString& text, const QString& reason) override;

private:
    QWidget* parent_;
};

} // namespace history
