// The names Python gives the node's controls: a control's label (as settings
// name it) in lower case, its words joined by '_', where a word also ends at
// a change from a lower-case to an upper-case letter: "Cell Count X" is
// cell_count_x, "CellShape: %s" cell_shape, "LightZ" light_z, "Light_X"
// light_x. They serve as keyword arguments.
#pragma once

#include <string>

#include "contract/host_api.h"

namespace trellin_python {

// The keyword name of a label ("Cell Count X" -> "cell_count_x").
std::string keyword_name(const std::string& label);

// The keyword name of a control (from its setting label).
std::string keyword_name(const CWidget& control);

// The value control `name` names: a label as a setting takes it (any case,
// options by their short label too) or a keyword name. Null when none does.
CWidget* find_named_control(const FXNode& node, const std::string& name);

}  // namespace trellin_python
