#pragma once

#include <QString>

class QWidget;

// The modal boxes the program shows, behind an interface so that tests can
// answer them. Every box is titled "KESTROVA".
class prompts {
public:
    virtual ~prompts() = default;
    // A box with a single OK button and no icon. `details` goes into the
    // box's informative text and may be empty.
    virtual void message(const QString& text, const QString& details = {}) = 0;
    // A box with OK and Cancel; true when the answer is OK.
    virtual bool confirm(const QString& text) = 0;
};

class message_box_prompts : public prompts {
public:
    explicit message_box_prompts(QWidget* parent = nullptr)
        : parent_(parent) {}
    void message(const QString& text, const QString& details = {}) override;
    bool confirm(const QString& text) override;

private:
    QWidget* parent_;
};
