#include "apps/ofx/effect_module.h"

#include "apps/common/core/module_holder.h"
#include "host/platform_files.h"

namespace trellin_ofx {

namespace {

Effect load()
{
    const std::string dir = own_dir();
    trellin_app::NodeModule module = trellin_app::NodeModule::find_among(trellin_app::module_candidates(dir, {"."}));
    ParameterTable table = parameters_of(*module.create_node());
    if (table.parameters.empty())
        throw trellin_app::ModuleError(module.path() + ": the effect's nodes have no controls on their panel");
    return Effect{std::move(module), std::move(table), trellin_app::list_looks_in(bundle_look_folder(dir))};
}

}  // namespace

const Effect* effect(std::string* error)
{
    static trellin_app::ModuleHolder<Effect> holder(load);
    const Effect* loaded = holder.get();
    if (error != nullptr) *error = holder.error();
    return loaded;
}

std::string own_dir()
{
    return trellin_app::loaded_file_dir(reinterpret_cast<const void*>(&own_dir));
}

std::string bundle_look_folder(const std::string& plugin_dir)
{
    return platform::path_to_utf8(
        (platform::path_from_utf8(plugin_dir) / ".." / "Resources" / "looks").lexically_normal());
}

}  // namespace trellin_ofx
