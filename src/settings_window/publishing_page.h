#pragma once

#include "mqtt/mqtt_outcome.h"
#include "rules/mqtt_rules.h"
#include "settings/station_settings.h"

#include <QWidget>
#include <chrono>
#include <functional>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace mqtt {
class mqtt_trial;
} // namespace mqtt

namespace settings_window {

class wrapped_label;

// The "Publishing" page: the broker, the topic and Home Assistant's
// discovery, each field checked as it is typed with the reason beside it;
// the warnings about the password where it is typed; "Test connection"; and
// at the top, how the running link goes.
class publishing_page : public QWidget {
    Q_OBJECT
public:
    struct context {
        QString ini_path; // the settings file, whose mode the warnings judge
        // Asks for a CA file, starting at `current`; empty when cancelled.
        std::function<QString(QWidget* parent, const QString& current)> choose_ca_file;
        std::chrono::milliseconds trial_limit{8000};
    };

    publishing_page(const settings::station_settings::broker& values, context ctx,
                    QWidget* parent = nullptr);
    ~publishing_page() override;

    settings::station_settings::broker values() const;
    // Shows each field's reason; the first field that cannot be used, or null.
    QWidget* first_wrong();
    // The running link's status line ("Publishing to …: connected").
    void show_link_status(const QString& line);
    QLineEdit* host_field() const { return host_; }

private:
    struct field {
        QWidget* widget;
        wrapped_label* reason;
        std::function<QString()> problem;
    };

    QLineEdit* add_line(const QString& label, const QString& name);
    void add_reason(QWidget* w, std::function<QString()> problem);
    void build_broker_rows(const settings::station_settings::broker& values);
    void build_login_rows(const settings::station_settings::broker& values);
    void build_topic_rows(const settings::station_settings::broker& values);
    void build_test_row();
    void connect_fields();
    void recheck();
    void show_warnings();
    void describe_password();
    void make_file_private();
    void choose_ca_file();
    void test_connection();
    void show_result(const QString& text);
    void show_trial(const mqtt::verdict& v);
    rules::mqtt::settings settings_of(const settings::station_settings::broker& b) const;
    QString discovery_problem() const;

    context ctx_;
    QString station_;
    wrapped_label* status_ = nullptr;
    QLineEdit* host_ = nullptr;
    QLineEdit* port_ = nullptr;
    QCheckBox* tls_ = nullptr;
    QLineEdit* cafile_ = nullptr;
    QPushButton* choose_ = nullptr;
    QLineEdit* username_ = nullptr;
    QLineEdit* password_ = nullptr;
    wrapped_label* warnings_ = nullptr;
    QPushButton* make_private_ = nullptr;
    QLineEdit* topic_ = nullptr;
    QLineEdit* client_id_ = nullptr;
    QCheckBox* discovery_on_ = nullptr;
    QLineEdit* discovery_ = nullptr;
    QPushButton* test_ = nullptr;
    wrapped_label* test_result_ = nullptr;
    std::vector<field> fields_;
    std::unique_ptr<mqtt::mqtt_trial> trial_;
    int row_ = 0;
};

} // namespace settings_window
