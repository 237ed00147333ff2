#pragma once

#include <QString>

namespace serial {

// The lock file that Qt's serial port (like other UUCP-style programs) puts
// beside a device it opens: LCK..<name> in the first lock directory it can
// use, holding the owner's process id. Empty where there is none, and on
// systems without such files.
QString port_lock_file(const QString& device);

// When the device's lock file belongs to a process that no longer runs and
// could not be taken over (another user's file in a shared lock directory),
// why the device does not open: "a stale lock file … of process N (not
// running) …". Empty otherwise.
QString stale_lock_note(const QString& device);

} // namespace serial
