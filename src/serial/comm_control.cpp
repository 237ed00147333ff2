#include "serial/comm_control.h"

#include "logging/logging.h"
#include "serial/port_lock.h"

#include <QFileInfo>
#include <QTimer>

namespace serial {

comm_control::comm_control(QObject* parent)
    : QObject(parent)
    , port_(new QSerialPort(this)) {
    connect(port_, &QSerialPort::readyRead, this, &comm_control::read_available);
    connect(port_, &QSerialPort::errorOccurred, this, &comm_control::handle_error);
    port_->setReadBufferSize(4 * batch_size);
}

comm_control::~comm_control() = default;

bool comm_control::set_comm_port(int port) {
    if (port_->isOpen() || port < 1 || port > 16)
        return false;
    comm_port_ = port;
    return true;
}

bool comm_control::port_open() const {
    return port_->isOpen();
}

bool comm_control::set_port_open(bool open) {
    if (!open) {
        if (port_->isOpen()) {
            port_->close();
            reset_receive_buffer();
            Q_EMIT open_changed(false);
        }
        return true;
    }
    if (port_->isOpen())
        return false;
    const QString path = device();
    if (path.isEmpty())
        return refuse(QSerialPort::DeviceNotFoundError,
                      tr("No device is assigned to port %1").arg(comm_port_));
    // QSerialPort opens a directory read-only without complaint; refuse it first.
    if (QFileInfo(path).isDir())
        return refuse(QSerialPort::UnsupportedOperationError,
                      tr("%1 is a directory, not a serial device").arg(path));
    port_->setPortName(path);
    port_->setBaudRate(QSerialPort::Baud9600);
    port_->setDataBits(QSerialPort::Data8);
    port_->setParity(QSerialPort::NoParity);
    port_->setStopBits(QSerialPort::OneStop);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!port_->open(QIODevice::ReadOnly)) {
        const QSerialPort::SerialPortError kind = port_->error();
        QString why = port_->errorString();
        port_->clearError();
        // Qt reports a lock it could not take as a permission error alike,
        // whether its owner runs or not.
        if (kind == QSerialPort::PermissionError)
            if (QString stale = stale_lock_note(path); !stale.isEmpty())
                why = std::move(stale);
        return refuse(kind, why);
    }
    last_error_.clear();
    last_error_kind_ = QSerialPort::NoError;
    reset_receive_buffer();
    qCDebug(logging::log_serial).noquote()
        << QStringLiteral("port %1 (%2) is open").arg(comm_port_).arg(path);
    Q_EMIT open_changed(true);
    return true;
}

bool comm_control::refuse(QSerialPort::SerialPortError kind, const QString& why) {
    last_error_kind_ = kind;
    last_error_ = why;
    qCDebug(logging::log_serial).noquote()
        << QStringLiteral("port %1 (%2) does not open: %3").arg(comm_port_).arg(device(), why);
    return false;
}

QByteArray comm_control::input() {
    const qsizetype left = rx_.size() - rx_pos_;
    const qsizetype n = input_len_ == 0 ? left : std::min<qsizetype>(input_len_, left);
    QByteArray out = rx_.mid(rx_pos_, n);
    rx_pos_ += n;
    taken_ += static_cast<quint64>(n);
    if (rx_pos_ == rx_.size())
        reset_receive_buffer();
    return out;
}

void comm_control::reset_receive_buffer() {
    rx_.clear();
    rx_pos_ = 0;
}

bool comm_control::backlog() const {
    return rx_pos_ < rx_.size() || (port_->isOpen() && port_->bytesAvailable() > 0);
}

void comm_control::set_rthreshold(int t) {
    rthreshold_ = t < 0 ? 0 : t;
}

void comm_control::read_available() {
    // Take no more than one batch ahead; the rest waits in the port's own
    // bounded buffer, and beyond that in the device, so memory stays bounded
    // whatever the sender does.
    if (!port_->isOpen())
        return;
    const qsizetype pending = rx_.size() - rx_pos_;
    if (pending < batch_size)
        rx_.append(port_->read(batch_size));
    deliver();
}

void comm_control::deliver() {
    // A handler may open a nested event loop (a message box); bytes arriving
    // meanwhile are queued and delivered by the outer loop, in order.
    if (delivering_)
        return;
    delivering_ = true;
    qsizetype delivered = 0;
    bool any_event = false;
    while (port_->isOpen() && rthreshold_ > 0 && rx_pos_ < rx_.size() && delivered < batch_size) {
        const quint64 taken_before = taken_;
        comm_event_ = ev_receive;
        any_event = true;
        Q_EMIT on_comm();
        // A handler that takes nothing would otherwise be called forever.
        if (taken_ == taken_before)
            break;
        ++delivered;
    }
    if (rx_pos_ > 0) {
        rx_.remove(0, rx_pos_);
        rx_pos_ = 0;
    }
    delivering_ = false;
    if (any_event)
        Q_EMIT batch_delivered();
    // One batch per turn of the event loop keeps the window responsive
    // under a flood; the rest follows on the next turn.
    const bool more = !rx_.isEmpty() || (port_->isOpen() && port_->bytesAvailable() > 0);
    if (more && delivered > 0 && port_->isOpen() && !continuation_pending_) {
        continuation_pending_ = true;
        QTimer::singleShot(0, this, [this] {
            continuation_pending_ = false;
            read_available();
        });
    }
}

void comm_control::handle_error(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
        return;
    if (!port_->isOpen())
        return;
    // The device went away. Left open, the port reports the same error again
    // and again, so it is closed at once; the owner decides when to retry.
    last_error_kind_ = error;
    last_error_ = port_->errorString();
    port_->clearError();
    port_->close();
    reset_receive_buffer();
    qCDebug(logging::log_serial).noquote()
        << QStringLiteral("port %1 (%2) is lost: %3").arg(comm_port_).arg(device(), last_error_);
    Q_EMIT open_changed(false);
    Q_EMIT port_lost(last_error_);
}

} // namespace serial
