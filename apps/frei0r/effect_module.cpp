#include "apps/frei0r/effect_module.h"

#include <cstdio>

#include "apps/common/core/module_holder.h"

namespace trellin_frei0r {

namespace {

void complain(const std::string& text)
{
    std::fprintf(stderr, "trellin (frei0r): %s\n", text.c_str());
}

Effect load()
{
    trellin_app::NodeModule module = trellin_app::NodeModule::find_among(module_candidates(own_dir()));
    std::vector<Parameter> parameters = parameters_of(*module.create_node());
    if (parameters.empty())
        throw trellin_app::ModuleError(module.path() + ": the effect's nodes have no controls on their panel");
    return Effect{std::move(module), std::move(parameters)};
}

}  // namespace

const Effect* effect()
{
    static trellin_app::ModuleHolder<Effect> holder(load, complain);
    return holder.get();
}

std::string own_dir()
{
    return trellin_app::loaded_file_dir(reinterpret_cast<const void*>(&own_dir));
}

std::vector<std::string> module_candidates(const std::string& frei0r_dir)
{
    // Set by the build (add_plugin_library): the effect module's folder relative to
    // the installed plug-in's folder, and relative to the build tree's.
    return trellin_app::module_candidates(frei0r_dir,
                                          {TRELLIN_PLUGIN_INSTALLED_MODULE_DIR, TRELLIN_PLUGIN_BUILD_MODULE_DIR});
}

}  // namespace trellin_frei0r
