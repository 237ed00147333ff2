#pragma once

#include <QMap>
#include <QString>
#include <QWidget>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace settings_window {

// The "E-mail" page, the [Mail] section: the mail server that alarms go
// through and who gets them, each field checked as it is typed, and "Send a
// test message", whose outcome is said in the operator's words. The test
// runs off the window thread.
class mail_page : public QWidget {
    Q_OBJECT
public:
    mail_page(const QMap<QString, QString>& values, QString station, QWidget* parent = nullptr);
    ~mail_page() override;
    mail_page(const mail_page&) = delete;
    mail_page& operator=(const mail_page&) = delete;

    QMap<QString, QString> values() const;
    // Shows each field's reason; the first field that cannot be used, or null.
    QWidget* first_wrong();
    QPushButton* test_button() const { return test_; }
    QLabel* outcome() const { return outcome_; }

private:
    struct field {
        QString key;
        QLineEdit* edit;
        QLabel* reason;
    };
    void recheck();
    void send_test();
    void end_test();

    QMap<QString, QString> initial_;
    QString station_;
    std::vector<field> fields_;
    QComboBox* security_;
    QPushButton* test_;
    QLabel* outcome_;
    std::shared_ptr<std::atomic<bool>> stop_;
    std::thread test_thread_;
};

} // namespace settings_window
