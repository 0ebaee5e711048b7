// A node as a script drives it: controls set, keyed and cleared by name,
// projects loaded and saved, pictures rendered. The checks and files are
// those of `trellin`; nothing here knows Python.
//
// A ScriptNode is not safe to use from two threads at once: whoever shares
// one holds its mutex() around every call. Separate nodes may render at the
// same time.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "apps/common/core/clip_count.h"
#include "apps/common/core/control_facts.h"
#include "apps/common/core/control_setting.h"
#include "apps/common/core/hdr_split.h"
#include "apps/common/core/host_picture.h"
#include "apps/common/core/module_loader.h"
#include "apps/common/core/render_options.h"
#include "apps/common/core/settings_snapshot.h"

namespace trellin_python {

class ScriptNode {
public:
    // A new node of `module`, which must outlive it.
    explicit ScriptNode(const trellin_app::NodeModule& module);

    std::mutex& mutex() { return mutex_; }
    const FXNode& node() const { return *node_; }
    // What a script knows of the node's controls: their names, forms,
    // ranges and defaults (control_facts.h).
    const trellin_app::ControlFacts& facts() const { return facts_; }
    // The fact of one of the node's value controls.
    const trellin_app::ControlFact& fact(const CWidget& control) const;

    // The value control `name` names (control_names.h); a SettingError of
    // fault unknown_label when there is none, suggesting the closest name.
    CWidget& control(const std::string& name) const;

    // Holds the control at `value` (setting form, control_setting.h) for
    // every time, as `trellin render --set` does: its keys are dropped.
    // Nothing changes when the value is refused (SettingError).
    void set(const std::string& name, const std::string& value);
    // Adds a key at `time` (frames), as `--key` does.
    void key(const std::string& name, double time, const std::string& value);
    void clear_keys(const std::string& name);

    // Replaces every control's value and keys by those of a project file
    // (trellin_app::RecipeError when the file is refused; the node is then
    // unchanged).
    void load_project(const std::string& path);
    void save_project(const std::string& path);
    // Restores the named look (look_library.h) from the looks of
    // `look_base_dir`, as `--look` does (RecipeError naming the known looks
    // when there is none of that name, ProjectError for an empty name).
    void load_look(const std::string& name, const std::string& look_base_dir);

    // The look the node was last restored from ("" after a project or none).
    const std::string& look() const { return look_; }
    // The value controls whose value or keys differ from where the node
    // started: the look it was restored from, else the defaults.
    std::vector<const CWidget*> changed_controls() const;

    // Renders input() as the frame at `time` on `threads` processors (0: the
    // host's count), as `trellin render` renders a picture, and returns the
    // result, valid until the next render. Both pictures are kept between
    // renders, so that a run of frames of one size takes no new memory.
    // Throws std::runtime_error when the node refuses the frame.
    trellin_app::HostPicture& input() { return input_; }
    const trellin_app::HostPicture& render(double time, int threads);
    // As render, with `parts` of the picture outside 0..1 rendered beside it
    // (hdr_split.h) into rendered_parts().
    const trellin_app::HostPicture& render(double time, int threads, const trellin_app::SplitParts& parts);
    const trellin_app::SplitParts& rendered_parts() const { return rendered_; }
    // Renders the float samples `f` of a picture `width` x `height` with
    // `samples` (3 or 4) a pixel in `mode` (none, log or split), taken in and
    // given back as every host takes floats (frame_colour.h), alpha as the
    // node leaves it: `f` then holds the result's floats. The samples clipped
    // on the way in are counted in `clip`.
    void render_floats(std::vector<float>& f, int width, int height, int samples, double time, int threads,
                       trellin_app::HdrMode mode, trellin_app::ClipCount& clip);

    // How renders that name no mode treat float samples outside 0..1.
    trellin_app::HdrMode hdr = trellin_app::HdrMode::automatic;

private:
    // Renders input() (and `parts`, when given, into rendered_) into output_
    // on the calling thread's processor count.
    const trellin_app::HostPicture& render_input(double time, const trellin_app::SplitParts* parts);
    trellin_app::Setting setting(const std::string& name, const std::string& value) const;

    const trellin_app::NodeModule& module_;
    trellin_app::NodePtr node_;
    trellin_app::ControlFacts facts_;  // the same for every node of the module
    std::string look_;
    // The settings the node was restored from (a look's); none: the defaults.
    std::optional<trellin_app::SettingsSnapshot> start_;
    std::mutex mutex_;
    trellin_app::HostPicture input_, output_;
    trellin_app::SplitParts rendered_;
};

}  // namespace trellin_python
