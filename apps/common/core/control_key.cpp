#include "apps/common/core/control_key.h"

#include <cmath>

#include "apps/common/core/control_text.h"
#include "host/regv.h"
#include "host/value_excerpt.h"

namespace trellin_app {

KeySetting parse_key(const std::string& text)
{
    const std::size_t eq = text.find('=');
    const std::size_t at = eq == std::string::npos ? std::string::npos : text.rfind('@', eq);
    if (eq == std::string::npos || at == std::string::npos)
        throw SettingError(host_detail::excerpt(text) + ": expected LABEL@TIME=VALUE (e.g. \"Cell Angle@24=90\")",
                           SettingError::Fault::syntax);
    // The label and value are trimmed and checked as a setting's are.
    KeySetting key;
    key.text = text;
    key.setting = parse_setting(text.substr(0, at) + "=" + text.substr(eq + 1));
    std::string time = text.substr(at + 1, eq - at - 1);
    while (!time.empty() && (time.back() == ' ' || time.back() == '\t')) time.pop_back();
    while (!time.empty() && (time.front() == ' ' || time.front() == '\t')) time.erase(0, 1);
    if (!parse_number(time, key.time))
        throw SettingError(host_detail::excerpt(text) + ": the time \"" + host_detail::excerpt(time) +
                               "\" after '@' is not a finite number",
                           SettingError::Fault::syntax);
    return key;
}

CWidget* apply_key(FXNode& node, const KeySetting& key)
{
    // Project files take the same key times, so a node keyed here saves a
    // project that loads again.
    if (!(std::fabs(key.time) <= regv_limits::max_key_time))
        throw SettingError(host_detail::excerpt(key.text) + ": the time " + number_text(key.time) +
                           " is not a frame number from -1e9 to 1e9");
    try {
        CWidget& control = setting_control(node, key.setting);
        ControlKey k;
        k.time = key.time;
        setting_values(control, key.setting, k.v);
        control.set_key(k);
        return &control;
    } catch (const SettingError& e) {
        // Name the key as it was given, with its time.
        const std::string what = e.what();
        const std::string prefix = setting_text(key.setting);
        const bool named = what.rfind(prefix, 0) == 0;
        throw SettingError(named ? host_detail::excerpt(key.text) + what.substr(prefix.size()) : what, e.fault);
    }
}

}  // namespace trellin_app
