#pragma once

#include <QMap>
#include <QString>
#include <QWidget>
#include <vector>

class QLabel;
class QLineEdit;

namespace settings_window {

// The "Alarms" page, the [Alarm] section: each sensor's name in what leaves
// the machine, its raise delay, the clear hold and the reminders, each field
// checked as it is typed with the reason beside it. Keys the page does not
// show keep their values.
class alarms_page : public QWidget {
    Q_OBJECT
public:
    explicit alarms_page(const QMap<QString, QString>& values, QWidget* parent = nullptr);

    QMap<QString, QString> values() const;
    // Shows each field's reason; the first field that cannot be used, or null.
    QWidget* first_wrong();

private:
    struct field {
        QString key;
        QLineEdit* edit;
        QLabel* reason;
    };
    void recheck();

    QMap<QString, QString> initial_;
    std::vector<field> fields_;
};

} // namespace settings_window
