#include "settings_window/field_checks.h"

#include "rules/windows1252.h"

namespace settings_window::field_checks {

QString storable(const QString& text) {
    if (text.contains(u'\n') || text.contains(u'\r'))
        return QStringLiteral("holds a line break");
    if (text.contains(QChar(u'\0')))
        return QStringLiteral("holds a zero character");
    if (rules::from_windows1252(rules::to_windows1252(text)) != text) {
        for (const QChar c : text) {
            const QString one(c);
            if (rules::from_windows1252(rules::to_windows1252(one)) != one)
                return QStringLiteral("holds \u201C%1\u201D, which Tarnwick.INI (Windows-1252 "
                                      "text) cannot keep")
                    .arg(c.isSurrogate() ? QStringLiteral("\uFFFD") : one);
        }
    }
    return {};
}

QString storable_exactly(const QString& text) {
    if (text.startsWith(u' ') || text.endsWith(u' '))
        return QStringLiteral("begins or ends with a space, which Tarnwick.INI does not keep");
    return storable(text);
}

QString first_of(std::initializer_list<QString> reasons) {
    for (const QString& r : reasons)
        if (!r.isEmpty())
            return r;
    return {};
}

} // namespace settings_window::field_checks
