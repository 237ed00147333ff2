#include "settings/window_state.h"

#include "controls/properties.h"
#include "rules/numbers.h"
#include "settings/inifile.h"

namespace settings {

namespace {

using controls::control_kind;

QString key_of(const QObject* control, QLatin1String suffix) {
    return QStringLiteral("frm_thermometer.") + control->objectName() + suffix;
}

bool has_text(control_kind k) {
    return k == control_kind::text_box || k == control_kind::combo_box;
}

} // namespace

void restore_window_state(const std::vector<QObject*>& controls, const QString& dir, inifile& ini) {
    ini.set_ini_dir(dir);

    // Each setter raises the control's change signal, so the handlers wired
    // to it run here, nested, before the walk takes its next step. A control
    // without the property, or one that refuses the value, drops out of
    // that step only.
    for (QObject* c : controls) {
        if (has_text(controls::kind_of(c))) {
            if (const auto text = controls::text_of(c))
                controls::set_text(c, ini.ini_read(key_of(c, QLatin1String(".text")), *text));
        }
        if (const auto caption = controls::caption_of(c))
            controls::set_caption(c, ini.ini_read(key_of(c, QLatin1String(".caption")), *caption));
        if (const auto value = controls::value_text_of(c)) {
            const QString stored = ini.ini_read(key_of(c, QLatin1String(".value")), *value);
            controls::set_value(c, rules::leading_number(stored));
        }
    }
}

void save_window_state(const std::vector<QObject*>& controls, inifile& ini) {
    inifile::entries entries;
    entries.reserve(32);
    entries.emplace_back(QStringLiteral("FileId"), QStringLiteral("therm"));
    for (const QObject* c : controls) {
        const control_kind kind = controls::kind_of(c);
        if (has_text(kind)) {
            if (const auto text = controls::text_of(c))
                entries.emplace_back(key_of(c, QLatin1String(".text")), *text);
        }
        if (kind == control_kind::check_box || kind == control_kind::option_button) {
            if (const auto value = controls::value_of(c))
                entries.emplace_back(key_of(c, QLatin1String(".value")),
                                     *value != 0 ? QStringLiteral("1") : QStringLiteral("0"));
        } else if (const auto value = controls::value_text_of(c)) {
            entries.emplace_back(key_of(c, QLatin1String(".value")), *value);
        }
    }
    // Settings failures never stop the program: this one is said on
    // standard error, and the next save tries again.
    static_cast<void>(ini.ini_write_all(entries));
}

} // namespace settings
