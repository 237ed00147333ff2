#include "app/end_signals.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace app {

#ifdef Q_OS_UNIX

namespace {

int signal_pipe[2] = {-1, -1};
volatile std::sig_atomic_t start_up_over = 0;

extern "C" void on_end_signal(int sig) {
    if (start_up_over == 0) {
        // Nothing is complete enough to save yet, and the file on disk is
        // still the whole one from before: end at once, by the signal.
        ::signal(sig, SIG_DFL);
        ::raise(sig);
        return;
    }
    const char b = 1;
    // Only async-signal-safe calls here; the notifier does the rest.
    [[maybe_unused]] const auto n = ::write(signal_pipe[0], &b, 1);
}

} // namespace

end_signals::end_signals(QObject* parent)
    : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signal_pipe) != 0)
        return;
    notifier_ = new QSocketNotifier(signal_pipe[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char b = 0;
        [[maybe_unused]] const auto n = ::read(signal_pipe[1], &b, 1);
        Q_EMIT end_requested();
    });
    struct sigaction sa {};
    sa.sa_handler = on_end_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &sa, nullptr);
}

void end_signals::start_up_finished() {
    start_up_over = 1;
}

end_signals::~end_signals() {
    // The end has begun: signals that come now would only cut it short.
    struct sigaction sa {};
    sa.sa_handler = SIG_IGN;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &sa, nullptr);
    if (notifier_)
        notifier_->setEnabled(false);
    ::close(signal_pipe[0]);
    ::close(signal_pipe[1]);
    signal_pipe[0] = signal_pipe[1] = -1;
}

#else

end_signals::end_signals(QObject* parent)
    : QObject(parent) {}
void end_signals::start_up_finished() {}
end_signals::~end_signals() = default;

#endif

} // namespace app
