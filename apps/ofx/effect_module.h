// The effect as this plug-in finds and loads it: the node module carried in
// the bundle beside the plug-in's own file, the parameters read off a first
// node, and the named looks carried in the bundle's resources. Loaded once per
// process, whichever thread asks first, and kept until the process ends (a
// host may still be using an instance on another thread).
//
// Bundle layout (the plug-in finds everything relative to its own file):
//   Trellin.ofx.bundle/Contents/Linux-x86-64/Trellin.ofx         this plug-in
//   Trellin.ofx.bundle/Contents/Linux-x86-64/TrellinVx.node      the node module
//   Trellin.ofx.bundle/Contents/Linux-x86-64/libtrellinhost.so   the host library both link
// On Windows the binaries lie in Contents/Win64/: this plug-in is
// trellin-ofx.dll there, loaded by Trellin.ofx beside it, with
// TrellinVx.node and trellinhost.dll.
//   Trellin.ofx.bundle/Contents/Resources/looks/*.json           the named looks
//   Trellin.ofx.bundle/Contents/Resources/<identifier>.png       the icon
// TRELLIN_MODULE, when set, names the node module instead (as for every
// program of the project).
#pragma once

#include <string>
#include <vector>

#include "apps/common/core/look_library.h"
#include "apps/common/core/module_loader.h"
#include "apps/ofx/parameter_table.h"

namespace trellin_ofx {

struct Effect {
    trellin_app::NodeModule module;
    ParameterTable table;
    std::vector<trellin_app::LookEntry> looks;
};

// The loaded effect, or null when it cannot be loaded; `error` then says why
// (the same text every time).
const Effect* effect(std::string* error = nullptr);

// The folder of this plug-in's file (Contents/Linux-x86-64 or Contents/Win64
// in a bundle), in UTF-8.
std::string own_dir();

// Where the looks lie for a plug-in in `plugin_dir`: ../Resources/looks
// (UTF-8, as `plugin_dir`).
std::string bundle_look_folder(const std::string& plugin_dir);

}  // namespace trellin_ofx
