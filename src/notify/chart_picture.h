#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <atomic>

namespace notify {

// The chart of the last `hours` of the data log up to `now`, as a PNG drawn
// by the history program without a display; empty when it could not be
// drawn within 30 s or `stop` was set meanwhile. Blocks: not for the window
// thread.
QByteArray chart_picture(const QString& program, const QString& log_path, const QDateTime& now,
                         int hours, const std::atomic<bool>& stop);

} // namespace notify
