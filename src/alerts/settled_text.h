#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>

class QLineEdit;

namespace alerts {

// A threshold field as it counts for what leaves the machine: its text once
// the operator has finished with it (the field is left, Return is pressed,
// the spin button is used, or the text has not changed for `pause`). A text
// changed while the field has no focus (a restore, a spin button) counts at
// once; a text above the limit, about to be put back to it, never does.
class settled_text : public QObject {
    Q_OBJECT
public:
    settled_text(QLineEdit* field, std::chrono::milliseconds pause, QObject* parent = nullptr);

    const QString& value() const { return value_; }

Q_SIGNALS:
    void settled();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void on_text_changed();
    void settle();

    QLineEdit* field_;
    QString value_;
    QTimer pause_;
};

} // namespace alerts
