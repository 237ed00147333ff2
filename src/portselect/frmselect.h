#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class port_map;

// The small window in which the operator picks the logger's port from the
// port numbers that the probe left in its list.
class frmselect : public QWidget {
    Q_OBJECT
public:
    // Loading the window hides the main window.
    explicit frmselect(QWidget* main_window);

    QPushButton* command1;
    QComboBox* Combo1;
    QLabel* Label1;

    // Each item's tooltip names the device its number maps to.
    void show_devices(const port_map& ports);

Q_SIGNALS:
    // The operator closed the window with its close box.
    void closed_by_operator();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
