#pragma once

#include <QWidget>

class QToolButton;

namespace controls {

// The spin button beside each threshold field: two arrows that step a whole
// number within 0..125. value_changed is raised only when the value really
// changes, which is what lets a threshold field and its spin button settle.
class updown : public QWidget {
    Q_OBJECT
public:
    explicit updown(QWidget* parent = nullptr);

    int value() const { return value_; }
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }

    // Refuses (returns false, changes nothing) a value outside the range.
    bool set_value(int v);
    void step_by(int steps);
    // Names it for a screen reader after what it sets ("Sensor 1 high
    // threshold"), and its arrows "Raise …" and "Lower …" the same.
    void set_accessible_subject(const QString& subject);

Q_SIGNALS:
    void value_changed(int value);
    // The operator steps it (an arrow, its auto-repeat, a key, the wheel);
    // raised before the value changes.
    void stepped();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void step(int steps); // by the operator

    QToolButton* up_;
    QToolButton* down_;
    int value_ = 0;
    int minimum_ = 0;
    int maximum_ = 125;
    int wheel_ = 0; // eighths of a degree the wheel has turned, not yet a step
};

} // namespace controls
