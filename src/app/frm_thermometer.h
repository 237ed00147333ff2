#pragma once

#include "alarm/sensor_role.h"
#include "app/seams.h"
#include "controls/display_box.h"
#include "datalog/logging_role.h"

#include <QWidget>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace controls {
class shape;
class timer;
class updown;
} // namespace controls
namespace serial {
class comm_control;
} // namespace serial

namespace app {

// Every control of the main window, by its name. They are the program's
// whole state.
struct thermometer_controls {
    controls::display_box* Text8;
    QPushButton* Command5;
    controls::display_box* Text7;
    controls::timer* Timer3;
    controls::timer* Timer2;
    QRadioButton* Option6;
    QCheckBox* Check1;
    QPushButton* Command7;
    QRadioButton* Option8;
    QRadioButton* Option7;
    QRadioButton* Option5;
    controls::timer* Timer1;
    controls::updown* UpDown1;
    serial::comm_control* MSComm1;
    QGroupBox* Frame2;
    QCheckBox* Check3;
    QLineEdit* Text6;
    QLineEdit* Text5;
    controls::display_box* Text1;
    controls::updown* UpDown3;
    controls::updown* UpDown4;
    controls::shape* Shape10;
    controls::shape* Shape9;
    QLabel* Label17;
    QLabel* Label16;
    QLabel* Label15;
    QLabel* Label14;
    controls::shape* Shape8;
    QLabel* Label2;
    QGroupBox* Frame1;
    QCheckBox* Check2;
    QLineEdit* Text4;
    QLineEdit* Text3;
    controls::display_box* Text2;
    controls::updown* UpDown2;
    controls::shape* Shape4;
    QLabel* Label6;
    QLabel* Label5;
    controls::shape* Shape3;
    QLabel* Label4;
    QLabel* Label3;
    controls::shape* Shape1;
    QLabel* Label1;
    QLabel* Label8;
    QLabel* Label9;
    controls::shape* Shape2;
    controls::shape* Shape6;
    QLabel* Label7;
    controls::shape* Shape5;
};

// The main window: builds its 49 controls in their fixed order and keeps that
// order in one list, which enumeration, look-up by name and the settings walk
// all read.
class frm_thermometer : public QWidget {
    Q_OBJECT
public:
    explicit frm_thermometer(window_seams seams, QWidget* parent = nullptr);
    ~frm_thermometer() override;

    const thermometer_controls& ui() const { return ui_; }
    // The controls as the features take them.
    const alarms::sensor_roles& sensors() const { return sensors_; }
    const datalog::logging_role& logging() const { return logging_; }
    // The controls in the window's control order.
    const std::vector<QObject*>& controls() const { return controls_; }
    QObject* control(QStringView name) const;
    const window_seams& seams() const { return seams_; }
    // The end of start-up: enabled timers start ticking.
    void release_timers();

Q_SIGNALS:
    // The operator closed the window with its close box.
    void close_requested();
    // "History…" from the context menu, Ctrl+H, or a double click on a reading.
    void history_requested();
    // "Settings…" from the context menu, or Ctrl+,.
    void settings_requested();
    // "Alarms…" from the context menu, or Ctrl+L.
    void alarms_requested();
    // A byte from the logger went to sensor 1's or 2's reading (a number or
    // "no reading"), whether or not the text changed.
    void reading_received(int sensor);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    window_seams seams_;
    thermometer_controls ui_{};
    alarms::sensor_roles sensors_{};
    datalog::logging_role logging_{};
    std::vector<QObject*> controls_;
    QString caption_; // rebuilt by every port event, shown once per batch
};

} // namespace app
