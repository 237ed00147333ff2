#pragma once

#include <QLabel>

namespace settings_window {

// A label whose text wraps and always has the height its lines need at its
// width. A word-wrapped QLabel in a grid gets the height of its first line
// or two, whatever its text grows to (a longer status line, a second
// warning, a larger scale), and its last lines then run under the row below.
class wrapped_label : public QLabel {
    Q_OBJECT
public:
    explicit wrapped_label(QWidget* parent = nullptr, const QString& text = {});

    // Sets the text; the label grows or shrinks to it at once.
    void show_text(const QString& text);

    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int needed_height() const;
    void fit();
};

} // namespace settings_window
