#pragma once

#include <QString>

class QWidget;

namespace controls {

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
    // Whether somebody is there to answer, and so to make a choice.
    virtual bool interactive() const { return true; }
};

// Without a display (Qt's offscreen or minimal platform) nobody can answer a
// box: each one is one line on standard error, answered OK at once, so a
// station run as a service never waits invisibly.
class stderr_prompts : public prompts {
public:
    void message(const QString& text, const QString& details = {}) override;
    bool confirm(const QString& text) override;
    bool interactive() const override { return false; }
    // Whether this process has no display to show a box on.
    static bool no_display();
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

} // namespace controls
