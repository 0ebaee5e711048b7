// The names Python gives the node's controls: a control's label (as settings
// name it) in lower case, its words joined by '_', where a word also ends at
// a change from a lower-case to an upper-case letter: "Cell Count X" is
// cell_count_x, "CellShape: %s" cell_shape, "LightZ" light_z, "Light_X"
// light_x. They serve as keyword arguments. The controls named are the
// node's control facts (control_facts.h).
#pragma once

#include <string>

#include "apps/common/core/control_facts.h"
#include "contract/host_api.h"

namespace trellin_python {

// The keyword name of a label ("Cell Count X" -> "cell_count_x").
std::string keyword_name(const std::string& label);

// The value control `name` names: a label as a setting takes it (any case,
// options by their short label too) or the keyword name of one of `facts`
// (the node's). Null when none does.
CWidget* find_named_control(const FXNode& node, const trellin_app::ControlFacts& facts, const std::string& name);

// " (did you mean \"NAME\"?)" for the label or keyword name of `facts` closest
// to a name no control has, in the form it was given (a keyword name for a
// keyword-like name); "" when none is close.
std::string suggest_control(const trellin_app::ControlFacts& facts, const std::string& name);

}  // namespace trellin_python
