// The viewer's state as a JSON file, for scripts and tests that drive the
// window from outside: what it shows, where, and the controls' values and
// availability.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "contract/host_api.h"

namespace trellin_view {

// A control's value as the saved settings hold it: a number, true/false, an
// option's item name, or [r, g, b, a]; null for a label.
nlohmann::json control_value_json(const CWidget& control);

// Writes `text` to `path` through a temporary file beside it, so that a
// reader never sees half a file. Returns false when it cannot.
bool replace_file(const std::string& path, const std::string& text);

}  // namespace trellin_view
