#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <optional>

class QLineEdit;

namespace controls {
class updown;
} // namespace controls

namespace alerts {

// A threshold field as it counts for what leaves the machine: its text once
// the operator has finished with it: the field is left, Return is pressed,
// or the text has not changed for `pause`, whether typed or stepped with the
// spin button (a click, its auto-repeat, a key, the wheel), so that an
// operator who overshoots and corrects raises nothing. A text changed from
// elsewhere (a restore, the program) counts at once; a text above the limit,
// about to be put back to it, never does. Its number is read once, when it
// counts.
class settled_text : public QObject {
    Q_OBJECT
public:
    settled_text(QLineEdit* field, controls::updown* spin, std::chrono::milliseconds pause,
                 QObject* parent = nullptr);

    const QString& value() const { return value_; }
    std::optional<double> number() const { return number_; }

Q_SIGNALS:
    void settled();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void on_text_changed();
    void settle();

    QLineEdit* field_;
    controls::updown* spin_;
    QString value_;
    std::optional<double> number_;
    bool stepping_ = false; // the spin button is being used
    QTimer pause_;
};

} // namespace alerts
