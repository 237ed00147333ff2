#pragma once

#include <QString>

// Small text helpers shared by the file formats and the number readers.
namespace rules {

// `s` without the characters at either end for which `trimmed_away` holds.
template <class View, class Pred> View trimmed(View s, Pred trimmed_away) {
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && trimmed_away(s[b]))
        ++b;
    while (e > b && trimmed_away(s[e - 1]))
        --e;
    return s.sliced(b, e - b);
}

// The system's text for an error number; never empty, since an empty
// reason would read as success.
QString system_reason(int error);

// The title of every window and message box.
inline const QString app_title = QStringLiteral("KESTROVA");

} // namespace rules
