// The effect module (TrellinVx.node) as this frei0r module finds and loads it:
// once per process, whichever thread asks first, and kept loaded until the
// process ends (a host may make instances from any thread at any time).
//
// Where the effect module is looked for:
//   1. the path in TRELLIN_MODULE, when set (no other place is tried then);
//   2. the installed tree: PREFIX/lib/frei0r-1/trellin.so finds
//      PREFIX/lib/trellin/TrellinVx.node;
//   3. the build tree: build/lib/frei0r-1/trellin.so finds
//      build/bin/TrellinVx.node.
#pragma once

#include <string>
#include <vector>

#include "apps/common/core/module_loader.h"
#include "apps/frei0r/parameter_table.h"

namespace trellin_frei0r {

struct Effect {
    trellin_app::NodeModule module;
    // The parameters every node of the module has, read off a first node.
    std::vector<Parameter> parameters;
};

// The loaded effect; null when it cannot be loaded (the reason has then been
// written to standard error, once).
const Effect* effect();

// The folder this frei0r module was loaded from.
std::string own_dir();

// The places the effect module is looked for, in order, for a frei0r module
// in `frei0r_dir` (TRELLIN_MODULE alone when it is set).
std::vector<std::string> module_candidates(const std::string& frei0r_dir);

}  // namespace trellin_frei0r
