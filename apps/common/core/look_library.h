// Named looks: project files shipped with the programs, each with a one-line
// "summary" beside its "controls". A look is restored like any project file:
// load_project_file(module, find_look(name).path).
//
// Where looks are found: the folder ../share/trellin/looks/ beside the
// program's folder. That is PREFIX/share/trellin/looks/ for an installed
// program (PREFIX/bin/) and build/share/trellin/looks/ in the build tree,
// where the build copies them.
#pragma once

#include <string>
#include <vector>

#include "apps/common/core/module_loader.h"

namespace trellin_app {

struct LookEntry {
    std::string name;     // the file's name without ".json"
    std::string summary;  // its "summary"; empty when it has none or cannot be read
    std::string path;
};

// The folder looks are read from for a program in `base_dir`.
std::string look_folder(const std::string& base_dir = executable_dir());

// Looks found in the installed share folder and the build tree, sorted by name.
std::vector<LookEntry> list_looks(const std::string& base_dir = executable_dir());

// The looks in `folder` itself (a plug-in that carries its own), sorted by
// name; none when the folder cannot be read.
std::vector<LookEntry> list_looks_in(const std::string& folder);

// The look called `name` (case-insensitive); throws ProjectError naming it and listing/suggesting known looks.
LookEntry find_look(const std::string& name, const std::string& base_dir = executable_dir());

}  // namespace trellin_app
