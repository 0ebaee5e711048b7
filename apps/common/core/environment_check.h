// The variables of the environment the effect module reads when it loads:
// TRELLIN_THREADS (the processors a frame renders on) and TRELLIN_KERNELS
// (which kernels). The module falls back on its defaults for a value it
// cannot use, so a host checks them first and says what is wrong, rather
// than render with settings the user did not ask for.
#pragma once

#include <string>
#include <vector>

namespace trellin_app {

// One message per variable set to a value the module cannot use, naming the
// variable, its value and what it takes; empty when each is unset, empty or
// sound. TRELLIN_THREADS takes a whole number of 1 or more (above 256 means
// 256); TRELLIN_KERNELS "fast" or "reference".
std::vector<std::string> environment_faults();

}  // namespace trellin_app
