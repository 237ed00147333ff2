#include "settings_window/wrapped_label.h"

#include <QEvent>

namespace settings_window {

wrapped_label::wrapped_label(QWidget* parent, const QString& text)
    : QLabel(text, parent) {
    setWordWrap(true);
    // As tall as its lines, no taller: the room left over goes to the rows
    // that stretch, not around a line of text.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void wrapped_label::show_text(const QString& text) {
    setText(text);
    fit();
}

QSize wrapped_label::sizeHint() const {
    QSize hint = QLabel::sizeHint();
    if (isVisible())
        hint.setHeight(needed_height());
    return hint;
}

void wrapped_label::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    fit();
}

void wrapped_label::showEvent(QShowEvent* event) {
    QLabel::showEvent(event);
    fit();
}

void wrapped_label::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fit();
}

int wrapped_label::needed_height() const {
    return text().isEmpty() ? 0 : heightForWidth(width());
}

// The minimum height is what the layouts respect; it is that of the lines
// at the width the label has now, and follows the width as it changes.
// Before the label is shown its width is a placeholder, and so would be the
// height.
void wrapped_label::fit() {
    if (!isVisible())
        return;
    const int needed = needed_height();
    if (needed != minimumHeight()) {
        setMinimumHeight(needed);
        updateGeometry();
    }
}

} // namespace settings_window
