#include "apps/python/script_node.h"

#include <algorithm>
#include <stdexcept>

#include "apps/common/core/control_key.h"
#include "apps/common/core/control_text.h"
#include "apps/common/core/frame_colour.h"
#include "apps/common/core/frame_render.h"
#include "apps/common/core/look_library.h"
#include "apps/common/core/node_recipe.h"
#include "apps/common/core/printable_text.h"
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

ScriptNode::ScriptNode(const trellin_app::NodeModule& module)
    : module_(module), node_(module.create_node()), facts_(trellin_app::control_facts(*node_))
{
}

const trellin_app::ControlFact& ScriptNode::fact(const CWidget& control) const
{
    const trellin_app::ControlFact* f = facts_.find(trellin_app::setting_label(control));
    if (f == nullptr) throw std::logic_error("no control facts for \"" + control.label() + "\"");
    return *f;
}

CWidget& ScriptNode::control(const std::string& name) const
{
    CWidget* c = find_named_control(*node_, facts_, name);
    if (c == nullptr) {
        std::string hint = suggest_control(facts_, name);
        if (hint.empty()) hint = " (Node().controls lists the controls)";
        // The name comes from the caller: escaped (a NUL would end the message) and cut short.
        throw trellin_app::SettingError("unknown control \"" + trellin_app::printable(name, 200) + "\"" + hint,
                                        trellin_app::SettingError::Fault::unknown_label);
    }
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
    look_.clear();
    start_.reset();
}

void ScriptNode::load_look(const std::string& name, const std::string& look_base_dir)
{
    // An unknown or empty name is refused as find_look refuses it (ProjectError).
    const trellin_app::LookEntry look = trellin_app::find_look(name, look_base_dir);
    trellin_app::NodeRecipe recipe;
    recipe.look = name;
    recipe.look_base_dir = look_base_dir;
    node_ = trellin_app::prepare_node(module_, recipe).node;
    start_ = trellin_app::SettingsSnapshot::of(*node_);
    look_ = look.name;
}

std::vector<const CWidget*> ScriptNode::changed_controls() const
{
    const trellin_app::NodePtr start = module_.create_node();
    if (start_) start_->apply_to(*start);
    const auto same_keys = [](const CWidget& a, const CWidget& b) {
        if (a.keys().size() != b.keys().size()) return false;
        for (std::size_t i = 0; i < a.keys().size(); ++i) {
            const ControlKey &x = a.keys()[i], &y = b.keys()[i];
            if (x.time != y.time || !std::equal(x.v, x.v + 4, y.v)) return false;
        }
        return true;
    };
    std::vector<const CWidget*> changed;
    for (const trellin_app::ControlFact& f : facts_.controls) {
        const CWidget* c = node_->control(f.control);
        const CWidget* s = start->control(f.control);
        if (c == nullptr || s == nullptr) continue;
        double now[4] = {0.0, 0.0, 0.0, 0.0}, then[4] = {0.0, 0.0, 0.0, 0.0};
        c->get_values(now);
        s->get_values(then);
        // A keyed control's value is that of the last frame rendered: its keys say what it is.
        const bool keyed = !c->keys().empty() || !s->keys().empty();
        if (keyed ? !same_keys(*c, *s) : !std::equal(now, now + 4, then)) changed.push_back(c);
    }
    return changed;
}

void ScriptNode::save_project(const std::string& path)
{
    trellin_app::save_project(*node_, path);
}

const trellin_app::HostPicture& ScriptNode::render_input(double time, const trellin_app::SplitParts* parts)
{
    const int done = parts != nullptr ? trellin_app::render_split(*node_, input_, *parts, output_, rendered_, time,
                                                                  input_.width, input_.height)
                                      : trellin_app::render_frame(*node_, input_, output_, time);
    if (done == 0) throw std::runtime_error("the effect refused the frame (see its warning)");
    return output_;
}

const trellin_app::HostPicture& ScriptNode::render(double time, int threads)
{
    ThreadCount count(threads);
    return render_input(time, nullptr);
}

const trellin_app::HostPicture& ScriptNode::render(double time, int threads, const trellin_app::SplitParts& parts)
{
    ThreadCount count(threads);
    return render_input(time, &parts);
}

void ScriptNode::render_floats(std::vector<float>& f, int width, int height, int samples, double time, int threads,
                               trellin_app::HdrMode mode, trellin_app::ClipCount& clip)
{
    using trellin_app::HdrMode;
    ThreadCount count(threads);
    if (input_.width != width || input_.height != height || input_.samples != samples)
        input_ = trellin_app::HostPicture(width, height, samples);
    trellin_app::NodeFrame frame;
    frame.hdr = mode;
    frame.clipped = clip;
    trellin_app::FloatsIn in;
    in.hdr = mode;
    trellin_app::floats_into_node(std::move(f), std::move(input_), in, {}, frame);
    input_ = std::move(frame.picture);
    clip = frame.clipped;

    render_input(time, mode == HdrMode::split ? &frame.parts : nullptr);
    // Floats out: no alpha of the input's is given back, nothing is converted.
    trellin_app::FloatsOut out_form;
    out_form.form.float_samples = true;
    trellin_app::OutputFrame out;
    if (!trellin_app::floats_out_of_node(output_, frame, mode == HdrMode::split ? &rendered_ : nullptr, out_form, {},
                                         std::move(frame.spare), out))
        out.samples = trellin_app::unit_floats(output_, std::move(frame.spare));
    f = std::move(out.samples);
}

}  // namespace trellin_python
