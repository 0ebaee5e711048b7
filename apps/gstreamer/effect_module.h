// The effect module (TrellinVx.node) as the GStreamer plug-in finds and loads
// it: once per process, when the element's class is first made (GStreamer's
// plug-in scanner, gst-inspect and every application that makes the element),
// and kept loaded until the process ends.
//
// Where the effect module is looked for:
//   1. the path in TRELLIN_MODULE, when set (no other place is tried then);
//   2. the installed tree: PREFIX/lib/gstreamer-1.0/libgsttrellin.so finds
//      PREFIX/lib/trellin/TrellinVx.node;
//   3. the build tree: build/lib/gstreamer-1.0/libgsttrellin.so finds
//      build/bin/TrellinVx.node.
#pragma once

#include <string>
#include <vector>

#include "apps/common/core/module_loader.h"
#include "apps/gstreamer/property_table.h"

namespace trellin_gst {

struct Effect {
    trellin_app::NodeModule module;
    // The properties every node of the module has, read off a first node.
    std::vector<ControlProperty> properties;
};

// The loaded effect; null when it cannot be loaded (load_error() says why).
const Effect* effect();

// Why the effect could not be loaded; empty when it was.
const std::string& load_error();

// The places the effect module is looked for, in order, for a plug-in in
// `plugin_dir` (TRELLIN_MODULE alone when it is set).
std::vector<std::string> module_candidates(const std::string& plugin_dir);

}  // namespace trellin_gst
