// What each control of the effect does, in one line of a user's words, by the
// label a setting names it by ("CellSize", "Edge"). The meanings are the
// node's control table's.
#pragma once

#include <string>

namespace trellin_app {

// The one-line meaning of the control `label` names (case does not matter;
// an option's full label "Edge: %s" answers as well as "Edge"); empty for a
// label this table does not know.
std::string control_meaning(const std::string& label);

}  // namespace trellin_app
