#include "settings_window/wrapped_label.h"

#include <QEvent>

namespace settings_window {

wrapped_label::wrapped_label(QWidget* parent, const QString& text)
    : QLabel(text, parent) {
    setWordWrap(true);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
}

void wrapped_label::show_text(const QString& text) {
    setText(text);
    fit();
}

void wrapped_label::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    fit();
}

void wrapped_label::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fit();
}

// The minimum height is what the layouts respect; it is that of the lines
// at the width the label has now, and follows the width as it changes.
void wrapped_label::fit() {
    const int needed = text().isEmpty() ? 0 : heightForWidth(width());
    if (needed != minimumHeight())
        setMinimumHeight(needed);
}

} // namespace settings_window
