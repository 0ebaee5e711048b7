// The effect module (TrellinVx.node) as the OBS module finds and loads it:
// once per process, when OBS loads trellin-obs.so, and kept loaded until the
// process ends.
//
// Where the effect module is looked for:
//   1. the path in TRELLIN_MODULE, when set (no other place is tried then);
//   2. the installed tree: PREFIX/lib/<triplet>/obs-plugins/trellin-obs.so
//      (or PREFIX/lib/obs-plugins/) finds PREFIX/lib/trellin/TrellinVx.node;
//   3. the build tree: build/lib/obs-plugins/trellin-obs.so finds
//      build/bin/TrellinVx.node.
#pragma once

#include <string>
#include <vector>

#include "apps/common/core/control_facts.h"
#include "apps/common/core/module_loader.h"

namespace trellin_obs {

struct Effect {
    trellin_app::NodeModule module;
    // The controls every node of the module has, read off a first node.
    trellin_app::ControlFacts facts;
};

// The loaded effect; null when it cannot be loaded (load_error() says why).
const Effect* effect();

// Why the effect could not be loaded; empty when it was.
const std::string& load_error();

// The places the effect module is looked for, in order, for an OBS module in
// `plugin_dir` (TRELLIN_MODULE alone when it is set).
std::vector<std::string> module_candidates(const std::string& plugin_dir);

}  // namespace trellin_obs
