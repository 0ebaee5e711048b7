#include "apps/python/script_node.h"

#include <stdexcept>

#include "apps/common/core/control_key.h"
#include "apps/common/core/control_text.h"
#include "apps/common/core/frame_render.h"
#include "apps/common/core/look_library.h"
#include "apps/common/core/node_recipe.h"
#include "apps/common/core/project_file.h"
#include "apps/python/control_names.h"
#include "host/smp_pool.h"

namespace trellin_python {

namespace {

// The calling thread's processor count for one render.
class ThreadCount {
public:
    explicit ThreadCount(int threads) { smp_set_thread_numprocs(threads); }
    ~ThreadCount() { smp_set_thread_numprocs(0); }
    ThreadCount(const ThreadCount&) = delete;
    ThreadCount& operator=(const ThreadCount&) = delete;
};

}  // namespace

ScriptNode::ScriptNode(const trellin_app::NodeModule& module) : module_(module), node_(module.create_node()) {}

CWidget& ScriptNode::control(const std::string& name) const
{
    CWidget* c = find_named_control(*node_, name);
    if (c == nullptr)
        throw trellin_app::SettingError("unknown control \"" + name + "\"",
                                        trellin_app::SettingError::Fault::unknown_label);
    return *c;
}

trellin_app::Setting ScriptNode::setting(const std::string& name, const std::string& value) const
{
    // By the control's own setting label, so that keyword names work too.
    return {trellin_app::setting_label(control(name)), value};
}

void ScriptNode::set(const std::string& name, const std::string& value)
{
    CWidget* c = trellin_app::apply_setting(*node_, setting(name, value));
    c->clear_keys();
}

void ScriptNode::key(const std::string& name, double time, const std::string& value)
{
    trellin_app::KeySetting k;
    k.setting = setting(name, value);
    k.time = time;
    k.text = k.setting.label + "@" + trellin_app::number_text(time) + "=" + value;
    trellin_app::apply_key(*node_, k);
}

void ScriptNode::clear_keys(const std::string& name)
{
    control(name).clear_keys();
}

void ScriptNode::load_project(const std::string& path)
{
    if (path.empty()) throw trellin_app::ProjectError("a project file needs a name");
    trellin_app::NodeRecipe recipe;
    recipe.project = path;
    node_ = trellin_app::prepare_node(module_, recipe).node;
}

void ScriptNode::load_look(const std::string& name, const std::string& look_base_dir)
{
    // A recipe without a look makes a new node; an empty name is refused
    // here as find_look refuses any unknown one (ProjectError).
    if (name.empty()) trellin_app::find_look(name, look_base_dir);
    trellin_app::NodeRecipe recipe;
    recipe.look = name;
    recipe.look_base_dir = look_base_dir;
    node_ = trellin_app::prepare_node(module_, recipe).node;
}

void ScriptNode::save_project(const std::string& path)
{
    trellin_app::save_project(*node_, path);
}

const trellin_app::HostPicture& ScriptNode::render(double time, int threads)
{
    ThreadCount count(threads);
    if (trellin_app::render_frame(*node_, input_, output_, time) == 0)
        throw std::runtime_error("the effect refused the frame (see its warning)");
    return output_;
}

const trellin_app::HostPicture& ScriptNode::render(double time, int threads, const trellin_app::SplitParts& parts)
{
    ThreadCount count(threads);
    if (trellin_app::render_split(*node_, input_, parts, output_, rendered_, time, input_.width, input_.height) == 0)
        throw std::runtime_error("the effect refused the frame (see its warning)");
    return output_;
}

}  // namespace trellin_python
