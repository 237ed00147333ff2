#include "rules/text.h"

namespace rules {

QString system_reason(int error) {
    const QString s = qt_error_string(error);
    return s.isEmpty() ? QStringLiteral("unknown error") : s;
}

} // namespace rules
