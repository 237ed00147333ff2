#pragma once

#include "rules/port_map.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>

namespace serial {

// MSComm1: the logger's serial port as the rest of the program sees it. Port
// numbers map to devices through a port_map; the port is opened read-only at
// 9600 8N1. Every received byte raises its own port event (on_comm), one at
// a time, while the receive threshold is 1.
class comm_control : public QObject {
    Q_OBJECT
public:
    // CommEvent value of a port event that carries received characters.
    static constexpr int ev_receive = 2;
    // Bytes delivered per turn of the event loop at most.
    static constexpr qsizetype batch_size = 1024;

    explicit comm_control(QObject* parent = nullptr);
    ~comm_control() override;

    void set_port_map(const rules::port_map& map) { map_ = map; }
    const rules::port_map& ports() const { return map_; }

    // Fails while a port is open, and for numbers outside 1..16.
    bool set_comm_port(int port);
    int comm_port() const { return comm_port_; }
    QString device() const { return map_.device(comm_port_); }

    // true opens the selected port; fails when the port is missing, busy,
    // not a serial device or already open. false closes it.
    bool set_port_open(bool open);
    bool port_open() const;
    // Bytes that arrived are still waiting to be delivered.
    bool backlog() const;
    // Why the last open failed or why the port was lost; empty while it is fine.
    QString last_error() const { return last_error_; }
    QSerialPort::SerialPortError last_error_kind() const { return last_error_kind_; }

    // Takes InputLen bytes (all when 0) off the receive buffer.
    QByteArray input();
    int comm_event() const { return comm_event_; }
    void set_rthreshold(int t);
    int rthreshold() const { return rthreshold_; }
    void set_input_len(int n) { input_len_ = n < 0 ? 0 : n; }
    int input_len() const { return input_len_; }

Q_SIGNALS:
    void on_comm();
    // A run of port events has been delivered; the next comes on a later
    // turn of the event loop.
    void batch_delivered();
    // The port was open and went away (unplugged, other end closed); it has
    // been closed already.
    void port_lost(const QString& reason);
    // The port opened or closed.
    void open_changed(bool open);

private:
    void read_available();
    void deliver();
    void handle_error(QSerialPort::SerialPortError error);
    // Says why the port did not open; false.
    bool refuse(QSerialPort::SerialPortError kind, const QString& why);
    void reset_receive_buffer();

    QSerialPort* port_;
    rules::port_map map_ = rules::port_map::platform_default();
    int comm_port_ = 1;
    int comm_event_ = 0;
    int rthreshold_ = 1;
    int input_len_ = 1; // one byte per read from the start, so no byte is dropped
    QByteArray rx_;
    qsizetype rx_pos_ = 0;
    quint64 taken_ = 0;
    bool delivering_ = false;
    bool continuation_pending_ = false;
    QString last_error_;
    QSerialPort::SerialPortError last_error_kind_ = QSerialPort::NoError;
};

} // namespace serial
