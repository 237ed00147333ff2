#pragma once

#include "controls/prompts.h"

#include <QDateTime>
#include <QDir>
#include <chrono>
#include <functional>
#include <string>

namespace app {

// What the main window takes from outside, so that tests can stand in for it.
struct window_seams {
    controls::prompts& ask;
    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };
    // The directory the program started in: the data log and the settings
    // file live there.
    QString work_dir = QDir::currentPath();
    // How often a chosen port that is not open is tried again.
    std::chrono::milliseconds reopen_interval{1000};
    // A reading stays current for what leaves the machine this long at least
    // (three sampling periods when that is longer).
    std::chrono::milliseconds reading_lifetime{30000};
    // A logger that has sent no reading this long is worth a notification.
    std::chrono::milliseconds link_notice_after{60000};
    // A threshold being typed counts for what leaves the machine once its
    // text has stood this long (or the field is left).
    std::chrono::milliseconds settle_pause{2000};
    // Turns the broker's host name into what to connect to; empty: as it is.
    std::function<std::string(const std::string&)> resolve_broker = {};
    // How long the settings window's "Test connection" waits for the broker.
    std::chrono::milliseconds broker_trial_limit{8000};
    // Where the system gives serial devices their stable names.
    QString serial_by_id_dir = QStringLiteral("/dev/serial/by-id");
};

} // namespace app
