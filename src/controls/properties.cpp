#include "controls/properties.h"

#include "controls/display_box.h"
#include "controls/updown.h"
#include "rules/numbers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cmath>

namespace controls {

control_kind kind_of(const QObject* c) {
    if (qobject_cast<const QLineEdit*>(c) || qobject_cast<const display_box*>(c))
        return control_kind::text_box;
    if (qobject_cast<const QComboBox*>(c))
        return control_kind::combo_box;
    if (qobject_cast<const QCheckBox*>(c))
        return control_kind::check_box;
    if (qobject_cast<const QRadioButton*>(c))
        return control_kind::option_button;
    return control_kind::other;
}

std::optional<QString> text_of(const QObject* c) {
    if (auto* e = qobject_cast<const QLineEdit*>(c))
        return e->text();
    if (auto* d = qobject_cast<const display_box*>(c))
        return d->text();
    if (auto* b = qobject_cast<const QComboBox*>(c))
        return b->currentText();
    return std::nullopt;
}

bool set_text(QObject* c, const QString& text) {
    if (auto* e = qobject_cast<QLineEdit*>(c)) {
        e->setText(text);
        return true;
    }
    if (auto* d = qobject_cast<display_box*>(c)) {
        d->setText(text);
        return true;
    }
    if (auto* b = qobject_cast<QComboBox*>(c)) {
        // A choice-only list takes a text only when it is one of its items.
        const int i = b->findText(text, Qt::MatchExactly);
        if (i < 0 && !text.isEmpty())
            return false;
        b->setCurrentIndex(i);
        return true;
    }
    return false;
}

std::optional<QString> caption_of(const QObject* c) {
    if (auto* l = qobject_cast<const QLabel*>(c))
        return l->text();
    if (auto* b = qobject_cast<const QAbstractButton*>(c))
        return b->text();
    if (auto* g = qobject_cast<const QGroupBox*>(c))
        return g->title();
    return std::nullopt;
}

bool set_caption(QObject* c, const QString& caption) {
    if (auto* l = qobject_cast<QLabel*>(c)) {
        l->setText(caption);
        return true;
    }
    if (auto* b = qobject_cast<QAbstractButton*>(c)) {
        b->setText(caption);
        return true;
    }
    if (auto* g = qobject_cast<QGroupBox*>(c)) {
        g->setTitle(caption);
        return true;
    }
    return false;
}

int check_value(const QCheckBox* box) {
    switch (box->checkState()) {
    case Qt::Unchecked:
        return 0;
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    }
    return 0;
}

void set_check_value(QCheckBox* box, int value) {
    box->setCheckState(value == 1   ? Qt::Checked
                       : value == 2 ? Qt::PartiallyChecked
                                    : Qt::Unchecked);
}

std::optional<int> value_of(const QObject* c) {
    if (auto* b = qobject_cast<const QCheckBox*>(c))
        return check_value(b);
    if (auto* r = qobject_cast<const QRadioButton*>(c))
        return r->isChecked() ? 1 : 0;
    if (auto* p = qobject_cast<const QPushButton*>(c))
        return p->isDown() ? 1 : 0;
    if (auto* u = qobject_cast<const updown*>(c))
        return u->value();
    return std::nullopt;
}

std::optional<QString> value_text_of(const QObject* c) {
    const auto v = value_of(c);
    if (!v)
        return std::nullopt;
    if (qobject_cast<const QRadioButton*>(c) || qobject_cast<const QPushButton*>(c))
        return *v ? QStringLiteral("True") : QStringLiteral("False");
    return QString::number(*v);
}

bool set_value(QObject* c, double value) {
    if (!std::isfinite(value))
        return false;
    if (auto* b = qobject_cast<QCheckBox*>(c)) {
        const auto v = rules::to_int32_half_even(value);
        if (!v || *v < 0 || *v > 2)
            return false;
        set_check_value(b, *v);
        return true;
    }
    if (auto* r = qobject_cast<QRadioButton*>(c)) {
        if (value != 0) {
            r->setChecked(true);
        } else if (r->isChecked()) {
            // An exclusive button cannot be cleared directly; the group may
            // legitimately have no selection.
            r->setAutoExclusive(false);
            r->setChecked(false);
            r->setAutoExclusive(true);
        }
        return true;
    }
    if (qobject_cast<QPushButton*>(c))
        return value == 0;
    if (auto* u = qobject_cast<updown*>(c)) {
        if (value != std::trunc(value))
            return false;
        const auto v = rules::to_int32_half_even(value);
        return v && u->set_value(*v);
    }
    return false;
}

} // namespace controls
