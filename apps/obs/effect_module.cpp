#include "apps/obs/effect_module.h"

#include <exception>

#include "apps/common/core/module_holder.h"

namespace trellin_obs {

namespace {

Effect load()
{
    const std::string own_dir = trellin_app::loaded_file_dir(reinterpret_cast<const void*>(&module_candidates));
    trellin_app::NodeModule module = trellin_app::NodeModule::find_among(module_candidates(own_dir));
    trellin_app::ControlFacts facts = trellin_app::control_facts(*module.create_node());
    if (facts.controls.empty()) throw trellin_app::ModuleError(module.path() + ": the effect's nodes have no controls");
    return Effect{std::move(module), std::move(facts)};
}

trellin_app::ModuleHolder<Effect>& holder()
{
    static trellin_app::ModuleHolder<Effect> held(load);
    return held;
}

}  // namespace

const Effect* effect()
{
    return holder().get();
}

const std::string& load_error()
{
    return holder().error();
}

std::vector<std::string> module_candidates(const std::string& plugin_dir)
{
    // Set by the build (add_plugin_library): the effect module's folder
    // relative to the installed module's folder, and relative to the build
    // tree's.
    return trellin_app::module_candidates(plugin_dir,
                                          {TRELLIN_PLUGIN_INSTALLED_MODULE_DIR, TRELLIN_PLUGIN_BUILD_MODULE_DIR});
}

}  // namespace trellin_obs
