#include "apps/ofx/effect_module.h"

#include <exception>
#include <filesystem>
#include <mutex>

namespace trellin_ofx {

namespace {

struct Loaded {
    const Effect* effect = nullptr;
    std::string error;
};

Loaded load()
{
    Loaded loaded;
    try {
        const std::string dir = own_dir();
        trellin_app::NodeModule module =
            trellin_app::NodeModule::find_among(trellin_app::module_candidates(dir, {"."}));
        ParameterTable table = parameters_of(*module.create_node());
        if (table.parameters.empty()) {
            loaded.error = module.path() + ": the effect's nodes have no controls on their panel";
            return loaded;
        }
        auto* e = new Effect{std::move(module), std::move(table), trellin_app::list_looks_in(bundle_look_folder(dir))};
        loaded.effect = e;
    } catch (const std::exception& e) {
        loaded.error = e.what();
    } catch (...) {
        loaded.error = "the effect module could not be loaded";
    }
    return loaded;
}

}  // namespace

const Effect* effect(std::string* error)
{
    // Never unloaded: an instance may still be using it on some host thread.
    static std::once_flag once;
    static Loaded loaded;
    std::call_once(once, [] { loaded = load(); });
    if (error != nullptr) *error = loaded.error;
    return loaded.effect;
}

std::string own_dir()
{
    return trellin_app::loaded_file_dir(reinterpret_cast<const void*>(&own_dir));
}

std::string bundle_look_folder(const std::string& plugin_dir)
{
    return (std::filesystem::path(plugin_dir) / ".." / "Resources" / "looks").lexically_normal().string();
}

}  // namespace trellin_ofx
