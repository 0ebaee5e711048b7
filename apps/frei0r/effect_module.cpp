#include "apps/frei0r/effect_module.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>

namespace trellin_frei0r {

namespace {

void complain(const std::string& text)
{
    std::fprintf(stderr, "trellin (frei0r): %s\n", text.c_str());
}

Effect* load()
{
    try {
        trellin_app::NodeModule module = trellin_app::NodeModule::find_among(module_candidates(own_dir()));
        std::vector<Parameter> parameters = parameters_of(*module.create_node());
        if (parameters.empty()) {
            complain(module.path() + ": the effect's nodes have no controls on their panel");
            return nullptr;
        }
        return new Effect{std::move(module), std::move(parameters)};
    } catch (const std::exception& e) {
        complain(e.what());
        return nullptr;
    }
}

}  // namespace

const Effect* effect()
{
    // Never unloaded: a node still alive in some host thread keeps using it.
    static std::once_flag once;
    static const Effect* loaded = nullptr;
    std::call_once(once, [] { loaded = load(); });
    return loaded;
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
