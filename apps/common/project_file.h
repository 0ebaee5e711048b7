// Project files: a node's saved settings (control values and animation keys)
// as the host's JSON settings document (host/regv.h), read into a new node
// through the module's FXNode_load and written from a node's reg_save.
#pragma once

#include <stdexcept>
#include <string>

#include "apps/common/module_loader.h"

namespace trellin_app {

// A project file that cannot be read, used or written. The message names the
// file and, for a fault inside it, the place: the line and column of a syntax
// fault, the entry of a bad control.
class ProjectError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads `path` and makes a node from it with the module's FXNode_load. The
// whole file is checked against a fresh node of the module first: a document
// for another node type, an unknown label, a value of the wrong form or
// outside its control's range is refused (an unknown name with the nearest
// known one suggested), so a node is only ever restored from a file it takes
// completely.
NodePtr load_project(const NodeModule& module, const std::string& path);

// Checks that `path` may receive a project: it does not exist yet, or it is a
// project file (a picture or any other file is never replaced by one).
// Throws ProjectError otherwise.
void check_project_target(const std::string& path);

// Writes the node's settings (reg_save: every value control's value and keys)
// to `path`, whole or not at all (output_file.h), so an existing file survives
// a failed write.
void save_project(FXNode& node, const std::string& path);

}  // namespace trellin_app
