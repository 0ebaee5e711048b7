// Host controls described in words: kind names, values, defaults and ranges,
// in the forms that settings ("LABEL=VALUE") take.
#pragma once

#include <string>

#include "contract/host_api.h"

namespace trellin_app {

// A number in its shortest usual form: 1.4, 100, 0.005, -360.
std::string number_text(double v);

// "numeric", "boolean", "option", "colour" or "label".
const char* kind_name(ControlKind kind);

// The label a setting names the control by: an option's short label
// ("Edge" for "Edge: %s"), every other control's full label.
std::string setting_label(const CWidget& control);

// An option's items joined by `separator`.
std::string items_text(const COption& option, const std::string& separator);

// The control's default value in setting form ("1.4", "off", "Duplicate",
// "1,1,1,1"); empty for a label.
std::string default_text(const CWidget& control);

// The values the control takes: "1 to 10" for a numeric control, "on, off",
// the items of an option, "0 to 1 each" for a colour; empty for a label.
std::string range_text(const CWidget& control);

// A numeric control's step; empty for other kinds.
std::string step_text(const CWidget& control);

// The control's current value in setting form, exact enough to restore it:
// numbers with 9 significant digits ("%.9g": a value a handle wrote as a
// float, 0.1f, shows as 0.100000001), on/off, an option's item name, the
// colour as r,g,b,a; empty for a label.
std::string value_text(const CWidget& control);

}  // namespace trellin_app
