#pragma once

#include <QColor>
#include <QWidget>

namespace controls {

// A filled circle (the alarm lamps) or rounded rectangle (the panels behind
// groups of controls). It repaints only when its fill colour changes, so the
// lamps' 100 ms refresh costs nothing while nothing changes.
class shape : public QWidget {
    Q_OBJECT
public:
    enum class kind { circle, rounded_rectangle };

    shape(kind k, QColor fill, QColor border, QWidget* parent = nullptr);

    kind shape_kind() const { return kind_; }
    QColor fill_color() const { return fill_; }
    void set_fill_color(QColor c);

Q_SIGNALS:
    // Only when the colour really changes: a write of the same colour costs
    // nothing.
    void fill_changed(QColor fill);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    kind kind_;
    QColor fill_;
    QColor border_;
};

} // namespace controls
