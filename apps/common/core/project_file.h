// Project files: a node's saved settings (control values and animation keys)
// as the host's JSON settings document (host/regv.h), read into a new node
// through the module's FXNode_load and written from a node's reg_save. Beside
// the controls a project may keep the render options (render_options.h). A
// picture rendered by trellin carries the same document in its metadata
// (picture_settings.h) and serves as a project too (project_source.h); the
// functions here read files only, so code that uses them alone loads no
// picture library.
#pragma once

#include <stdexcept>
#include <string>

#include "apps/common/core/module_loader.h"
#include "apps/common/core/render_options.h"
#include "host/regv.h"

namespace trellin_app {

// A project file that cannot be read, used or written. The message names the
// file and, for a fault inside it, the place: the line and column of a syntax
// fault, the entry of a bad control.
class ProjectError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The settings document of the project file `path`.
RegV read_project_file(const std::string& path);

// Makes a node from the document `reg` read from `name`, with the module's
// FXNode_load. The whole document is checked against a fresh node of the
// module first: a document for another node type, an unknown label, a value
// of the wrong form or outside its control's range is refused (an unknown
// name with the nearest known one suggested), and so is a bad "render"
// member, so a node is only ever restored from a document it takes
// completely.
NodePtr node_from_project(const NodeModule& module, const RegV& reg, const std::string& name);

// read_project_file, then node_from_project.
NodePtr load_project_file(const NodeModule& module, const std::string& path);

// The render options of a document read from `name` (ProjectError when its
// "render" member is malformed).
RenderOptions project_render_options(const RegV& reg, const std::string& name);

// The node's settings document (reg_save: every value control's value and
// keys) with the render options, when given, as its "render" member. Throws
// ProjectError when the node saves none.
RegV project_document(FXNode& node, const RenderOptions* render = nullptr);

// Writes project_document to `path`, through a temporary file
// beside it, so an existing file survives a failed write.
void save_project(FXNode& node, const std::string& path, const RenderOptions* render = nullptr);

// Checks that `path` may receive a project: it does not exist yet, or it is a
// project file (a picture or any other file is never replaced by one).
// Throws ProjectError otherwise.
void check_project_target(const std::string& path);

}  // namespace trellin_app
