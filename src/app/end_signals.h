#pragma once

#include <QObject>

class QSocketNotifier;

namespace app {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the user-interface
// thread, so that they end the program as the close box does: state saved,
// port closed. Until start-up has finished they end the process at once,
// without saving; once this object is gone they are ignored, so an end that
// has begun is not cut short.
class end_signals : public QObject {
    Q_OBJECT
public:
    explicit end_signals(QObject* parent = nullptr);
    ~end_signals() override;

    void start_up_finished();

Q_SIGNALS:
    void end_requested();

private:
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace app
