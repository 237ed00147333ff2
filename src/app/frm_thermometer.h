#pragma once

#include "app/seams.h"
#include "controls/display_box.h"
#include "controls/roles.h"

#include <QWidget>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class comm_control;
class shape;
class timer;
class updown;

// Every control of the main window, by its name. They are the program's
// whole state.
struct thermometer_controls {
    display_box* Text8;
    QPushButton* Command5;
    display_box* Text7;
    timer* Timer3;
    timer* Timer2;
    QRadioButton* Option6;
    QCheckBox* Check1;
    QPushButton* Command7;
    QRadioButton* Option8;
    QRadioButton* Option7;
    QRadioButton* Option5;
    timer* Timer1;
    updown* UpDown1;
    comm_control* MSComm1;
    QGroupBox* Frame2;
    QCheckBox* Check3;
    QLineEdit* Text6;
    QLineEdit* Text5;
    display_box* Text1;
    updown* UpDown3;
    updown* UpDown4;
    shape* Shape10;
    shape* Shape9;
    QLabel* Label17;
    QLabel* Label16;
    QLabel* Label15;
    QLabel* Label14;
    shape* Shape8;
    QLabel* Label2;
    QGroupBox* Frame1;
    QCheckBox* Check2;
    QLineEdit* Text4;
    QLineEdit* Text3;
    display_box* Text2;
    updown* UpDown2;
    shape* Shape4;
    QLabel* Label6;
    QLabel* Label5;
    shape* Shape3;
    QLabel* Label4;
    QLabel* Label3;
    shape* Shape1;
    QLabel* Label1;
    QLabel* Label8;
    QLabel* Label9;
    shape* Shape2;
    shape* Shape6;
    QLabel* Label7;
    shape* Shape5;
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
    const sensor_roles& sensors() const { return sensors_; }
    const logging_role& logging() const { return logging_; }
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
    // A byte from the logger went to sensor 1's or 2's reading (a number or
    // "no reading"), whether or not the text changed.
    void reading_received(int sensor);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    window_seams seams_;
    thermometer_controls ui_{};
    sensor_roles sensors_{};
    logging_role logging_{};
    std::vector<QObject*> controls_;
    QString caption_; // rebuilt by every port event, shown once per batch
};
