// Animation keys from text, as "LABEL@TIME=VALUE": the control's label (as a
// setting names it), the key's time in frames and its value in setting form
// (control_setting.h). "Cell Angle@24=90" keys "Cell Angle" to 90 at frame 24.
#pragma once

#include <string>

#include "apps/common/core/control_setting.h"
#include "contract/host_api.h"

namespace trellin_app {

struct KeySetting {
    Setting setting;  // label and value
    double time = 0.0;
    std::string text;  // as given, for messages
};

// Splits "LABEL@TIME=VALUE" (at the first '=' and the last '@' before it) and
// parses the time, a finite number. Throws SettingError (fault syntax) when a
// part is missing or the time is no number.
KeySetting parse_key(const std::string& text);

// Checks the time (a frame number from -1e9 to 1e9, as project files take)
// and the value against the control as a setting is checked, and adds the
// key to the control (replacing a key at the same time). Nothing changes when
// the key is refused. Returns the control keyed.
CWidget* apply_key(FXNode& node, const KeySetting& key);

}  // namespace trellin_app
