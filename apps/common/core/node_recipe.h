// Building a node from what a host was told: a named look or a project (at
// most one of the two), then animation keys, then settings that hold a
// control at one value. The command line, the viewer, the Python module and
// the plug-ins all make their nodes this way.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "apps/common/core/control_key.h"
#include "apps/common/core/control_setting.h"
#include "apps/common/core/module_loader.h"
#include "apps/common/core/render_options.h"
#include "host/regv.h"

namespace trellin_app {

// The settings document of a project path. Project files alone by default;
// hosts that read pictures pass their reader (project_source.h), so that a
// picture rendered by trellin serves as a project too.
using ProjectReader = RegV (*)(const std::string& path);

struct NodeRecipe {
    std::string look;     // a named look (look_library.h), found from look_base_dir
    std::string project;  // a project path, read with read_project
    std::vector<KeySetting> keys;
    std::vector<Setting> settings;         // each clears the keys of its control
    std::string look_base_dir;             // empty: the program's own folder (executable_dir())
    ProjectReader read_project = nullptr;  // null: read_project_file
};

struct PreparedNode {
    NodePtr node;
    std::string look_name;                // the look's own name, when one was used
    std::optional<RenderOptions> render;  // the project's render options, when a project was used
};

// A step of the recipe that failed. The message is the step's own (it names
// the file, the look, the label or the value); `step` says which it was,
// `subject` the key's or setting's text, and `control` the control a setting
// and a key both named (step keyed_setting).
class RecipeError : public std::runtime_error {
public:
    enum class Step { look, project, key, setting, keyed_setting };
    RecipeError(Step step, const std::string& message, std::string subject = {}, std::string control = {},
                bool unknown_label = false);

    Step step;
    std::string subject;
    std::string control;
    bool unknown_label;
};

// The one line a command-line host reports a failed step with, naming the
// option that gave it: "--look: ...", "--key ...", "--set ...", or the
// project's own message.
std::string recipe_error_message(const RecipeError& e);

// A node made by `recipe`: restored from its look or project (or new), its
// keys added, then every setting applied with the control's keys cleared. A
// control may not be both keyed and set. Throws RecipeError; ModuleError when
// the module makes no node.
PreparedNode prepare_node(const NodeModule& module, const NodeRecipe& recipe);

}  // namespace trellin_app
