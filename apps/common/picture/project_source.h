// Where trellin's programs take a project from: a project file, or a picture
// trellin rendered, whose metadata carries the same settings document
// (picture_settings.h). Reading a picture loads the picture library; code that
// must not (the plug-ins, the Python module) reads project files alone
// (project_file.h).
#pragma once

#include <string>

#include "apps/common/core/module_loader.h"
#include "host/regv.h"

namespace trellin_app {

// The settings document of `path`: a project file, or a picture whose
// metadata carries settings (a picture without them is refused). Throws
// ProjectError.
RegV read_project(const std::string& path);

// read_project, then node_from_project (project_file.h).
NodePtr load_project(const NodeModule& module, const std::string& path);

}  // namespace trellin_app
