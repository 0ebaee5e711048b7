// What the commands share before any picture is read: the options every
// rendering command takes, their checks, and loading the module and its
// nodes. Both the trellin program and its picture library use these (the
// program to declare and check every command's options, the library to run
// the commands that read pictures); nothing here reads or writes a picture.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "apps/common/core/control_key.h"
#include "apps/common/core/control_setting.h"
#include "apps/common/core/module_loader.h"
#include "apps/common/core/node_recipe.h"
#include "apps/common/core/render_options.h"
#include "apps/trellin/commands.h"
#include "apps/trellin/progress.h"

namespace trellin_cli {

// Options of the commands that render frames.
struct FrameOptions {
    std::vector<std::string> settings;  // --set LABEL=VALUE
    int threads = 0;                    // --threads N; 0: the host's default
};

// Adds --set and --threads to `command`.
void add_frame_options(CLI::App& command, FrameOptions& options);

// Where a rendering command's node gets its settings from.
struct ControlOptions {
    std::string project;            // --project FILE: restore the node from it
    std::string look;               // --look NAME: restore the node from a named look
    std::vector<std::string> keys;  // --key LABEL@TIME=VALUE
    std::string save_project;       // --save-project FILE (commands that offer it)
};

// Adds --project, --look and --key (and --save-project when `with_save`) to
// `command`.
void add_control_options(CLI::App& command, ControlOptions& options, bool with_save);

// Checks what can be checked before the module is loaded: the syntax of every
// --set and --key, the same control named by both, and the folder of
// --save-project. A Failure with exit code 2 otherwise.
struct NodeSettings {
    std::vector<trellin_app::Setting> settings;
    std::vector<trellin_app::KeySetting> keys;
};
NodeSettings parse_node_settings(const FrameOptions& frame, const ControlOptions& controls);

// --quiet and --verbose.
void add_verbosity_options(CLI::App& command, Verbosity& verbosity);

// A picture size "WxH" within the limits of picture_limits.h, the memory
// limit too when `check_memory` (a Failure with exit code 2 naming `option`).
struct PictureSize {
    int width = 0;
    int height = 0;
};
PictureSize parse_picture_size(const std::string& text, const std::string& option, bool check_memory = true);

// A check for numeric options: a finite decimal number (no nan, inf or hex).
CLI::Validator finite_number();

// The effect module (a Failure with exit code 2 when it cannot be loaded).
trellin_app::NodeModule load_module();
// A new node (a Failure with exit code 1 when the module makes none).
trellin_app::NodePtr create_node(const trellin_app::NodeModule& module);

// Parses every --set text; a Failure with exit code 2 names the bad one.
std::vector<trellin_app::Setting> parse_settings(const std::vector<std::string>& texts);
// Applies the settings in order; a Failure with exit code 2 names the bad one.
void apply_settings(FXNode& node, const std::vector<trellin_app::Setting>& settings);

// A node ready for the run: restored from the project (read by `reader`;
// project files alone when it is null) or the look (or new), the keys of
// --key added, then every --set applied for the whole run (the control's
// keys cleared). The project's render options go to `project_render` when
// given. Failures (exit code 2) name the file, the label or the value; what
// `reader` throws other than ProjectError passes through.
trellin_app::NodePtr prepare_node(const trellin_app::NodeModule& module, const ControlOptions& controls,
                                  const NodeSettings& settings, trellin_app::ProjectReader reader,
                                  trellin_app::RenderOptions* project_render = nullptr);

// Sets the processor count when `threads` is positive.
void use_threads(int threads);

}  // namespace trellin_cli
