// Setting a node's host controls from text, as "LABEL=VALUE".
//
// The label is looked up as the host does (case-insensitively; an option also
// answers to its short label, "Edge" for "Edge: %s"). The value's form
// follows the control's kind:
//   numeric  a finite decimal number inside the control's range ("1.6")
//   boolean  on/off, true/false, yes/no or 1/0
//   option   an item name (any case) or its 0-based index ("Wrap", "2")
//   colour   red,green,blue,alpha, each 0..1 ("1,0.8,0.6,1"; alpha may be left off)
#pragma once

#include <stdexcept>
#include <string>

#include "contract/host_api.h"

namespace trellin_app {

// A setting that cannot be applied. The message names the label (and the
// value when that is at fault), quoting at most a short excerpt of either, and
// suggests the nearest control or item for a mistyped name.
class SettingError : public std::runtime_error {
public:
    enum class Fault { syntax, unknown_label, value };
    explicit SettingError(const std::string& message, Fault fault = Fault::value)
        : std::runtime_error(message), fault(fault)
    {
    }
    Fault fault;
};

struct Setting {
    std::string label;
    std::string value;
};

// Splits "LABEL=VALUE" at its first '=' and trims spaces around both parts.
// Throws SettingError when there is no '=' or either part is empty.
Setting parse_setting(const std::string& text);

// Checks the value against the control and stores it. Nothing is stored when
// the setting is refused. The node is not notified: a frame reads every
// control anyway. Returns the control set.
CWidget* apply_setting(FXNode& node, const Setting& setting);

// The control `setting` names (a SettingError of fault unknown_label when the
// node has none).
CWidget& setting_control(const FXNode& node, const Setting& setting);

// Checks the value against `control` as apply_setting does and gives it in the
// form the control stores: `values` receives value_count() numbers (a
// numeric's value, 0/1 for a switch, an option's 0-based index, r, g, b, a for
// the colour). Throws SettingError when refused; a label is always refused.
void setting_values(const CWidget& control, const Setting& setting, double values[4]);

// "LABEL=VALUE" as a message names a setting: at most a short excerpt of
// either part.
std::string setting_text(const Setting& setting);

// Parses a finite decimal number (an optional sign, digits, a fraction and an
// exponent; no hex, inf or nan). Returns false for anything else.
bool parse_number(const std::string& text, double& value);

}  // namespace trellin_app
