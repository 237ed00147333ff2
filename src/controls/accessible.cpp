#include "controls/accessible.h"

#include "controls/display_box.h"
#include "controls/shape.h"
#include "controls/updown.h"

#include <QAccessibleWidget>

namespace controls {

namespace {

// A control that shows one line of text and takes none: its text goes to
// the screen reader through the text interface, read-only.
class static_text : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit static_text(QWidget* w)
        : QAccessibleWidget(w, QAccessible::StaticText) {}

    void* interface_cast(QAccessible::InterfaceType t) override {
        return t == QAccessible::TextInterface ? static_cast<QAccessibleTextInterface*>(this)
                                               : QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Value ? spoken() : QAccessibleWidget::text(t);
    }

    // The text interface over the spoken text; nothing can be selected.
    QString text(int start, int end) const override {
        return spoken().mid(start, end < 0 ? -1 : end - start);
    }
    int characterCount() const override { return static_cast<int>(spoken().size()); }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* start, int* end) const override {
        *start = *end = offset;
        return {};
    }

private:
    QString spoken() const {
        if (auto* box = qobject_cast<const display_box*>(object()))
            return spoken_text(box->text());
        // The alarm code describes a lamp in words whenever it colours it.
        return static_cast<const shape*>(object())->accessibleDescription();
    }
};

class spin_box : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit spin_box(updown* u)
        : QAccessibleWidget(u, QAccessible::SpinBox) {}

    void* interface_cast(QAccessible::InterfaceType t) override {
        return t == QAccessible::ValueInterface ? static_cast<QAccessibleValueInterface*>(this)
                                                : QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Value ? QString::number(spin()->value())
                                       : QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return spin()->value(); }
    void setCurrentValue(const QVariant& value) override { spin()->set_value(value.toInt()); }
    QVariant maximumValue() const override { return spin()->maximum(); }
    QVariant minimumValue() const override { return spin()->minimum(); }
    QVariant minimumStepSize() const override { return 1; }

private:
    updown* spin() const { return static_cast<updown*>(widget()); }
};

// The panels behind groups of controls are decoration, which a screen
// reader passes by.
class decoration : public QAccessibleWidget {
public:
    explicit decoration(QWidget* w)
        : QAccessibleWidget(w, QAccessible::Graphic) {}

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.invisible = true;
        return s;
    }
};

QAccessibleInterface* make(const QString& class_name, QObject* object) {
    // Qt names a class with its namespace ("controls::display_box").
    if (class_name == QLatin1String(display_box::staticMetaObject.className()))
        return new static_text(static_cast<QWidget*>(object));
    if (class_name == QLatin1String(updown::staticMetaObject.className()))
        return new spin_box(static_cast<updown*>(object));
    if (class_name == QLatin1String(shape::staticMetaObject.className())) {
        auto* s = static_cast<shape*>(object);
        if (s->shape_kind() == shape::kind::circle)
            return new static_text(s);
        return new decoration(s);
    }
    return nullptr;
}

} // namespace

void install_accessible_controls() {
    static const bool installed = [] {
        QAccessible::installFactory(&make);
        return true;
    }();
    (void)installed;
}

QString spoken_text(const QString& shown) {
    if (shown == QLatin1String(" - - "))
        return QStringLiteral("no reading");
    const QString degrees = QStringLiteral("\u00BAC");
    if (shown.endsWith(degrees) && shown.size() > degrees.size() &&
        shown[shown.size() - degrees.size() - 1].isDigit())
        return shown.chopped(degrees.size()) + u' ' + degrees;
    return shown;
}

} // namespace controls
