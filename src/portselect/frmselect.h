#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;

namespace controls {
class prompts;
} // namespace controls
namespace rules {
class port_map;
} // namespace rules

namespace portselect {

// The small window in which the operator picks the logger's port from the
// port numbers that the probe left in its list.
class frmselect : public QWidget {
    Q_OBJECT
public:
    // Loading the window hides the main window.
    frmselect(controls::prompts& ask, QWidget* main_window);

    // The probe takes out the entry of a port that failed, by index.
    void remove_entry(int index);
    // Each entry's tooltip names the device its number maps to.
    void show_devices(const rules::port_map& ports);

Q_SIGNALS:
    // OK with a port selected: the text of the chosen entry.
    void port_chosen(const QString& port);
    // The operator closed the window with its close box.
    void closed_by_operator();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void on_click_command1();

    controls::prompts& ask_;
    QPushButton* command1;
    QComboBox* Combo1;
    QLabel* Label1;
};

} // namespace portselect
