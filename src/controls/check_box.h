#pragma once

#include <QCheckBox>

namespace controls {

// A check box whose greyed state (value 2) only a restored setting brings:
// shown greyed once, it is only ever checked or unchecked by the operator.
class check_box : public QCheckBox {
    Q_OBJECT
public:
    check_box(const QString& caption, QWidget* parent)
        : QCheckBox(caption, parent) {}

protected:
    void nextCheckState() override {
        setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
};

} // namespace controls
