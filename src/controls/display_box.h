#pragma once

#include <QFrame>
#include <QString>

namespace controls {

// A text box the program writes and the operator only reads: the two
// reading fields and the two hidden state boxes. Unlike QLineEdit it lays
// its text out only when it paints, so the logger's bytes, each of which
// rewrites a box, cost next to nothing. textChanged is raised only when the
// text really changes.
class display_box : public QFrame {
    Q_OBJECT
public:
    explicit display_box(QWidget* parent = nullptr);

    const QString& text() const { return text_; }
    void setText(const QString& text);

    QSize sizeHint() const override;

Q_SIGNALS:
    void textChanged(const QString& text);
    void double_clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QString text_;
};

} // namespace controls
