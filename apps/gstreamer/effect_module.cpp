#include "apps/gstreamer/effect_module.h"

#include <exception>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "apps/common/look_library.h"

namespace trellin_gst {

namespace {

struct Loaded {
    const Effect* effect = nullptr;
    std::string error;
};

const Loaded& loaded()
{
    // Never unloaded: elements made from it may live until the process ends.
    static std::once_flag once;
    static Loaded result;
    std::call_once(once, [] {
        try {
            const std::string own_dir = trellin_app::loaded_file_dir(reinterpret_cast<const void*>(&module_candidates));
            trellin_app::NodeModule module = trellin_app::NodeModule::find_among(module_candidates(own_dir));
            std::vector<ControlProperty> properties = control_properties(*module.create_node());
            if (properties.empty())
                result.error = module.path() + ": the effect's nodes have no controls";
            else
                result.effect = new Effect{std::move(module), std::move(properties)};
        } catch (const std::exception& e) {
            result.error = e.what();
        }
    });
    return result;
}

}  // namespace

const Effect* effect()
{
    return loaded().effect;
}

const std::string& load_error()
{
    return loaded().error;
}

std::string look_base_dir()
{
    const std::string own_dir = trellin_app::loaded_file_dir(reinterpret_cast<const void*>(&module_candidates));
    const std::string installed = own_dir + "/" + TRELLIN_PLUGIN_INSTALLED_BIN_DIR;
    std::error_code ec;
    if (std::filesystem::is_directory(trellin_app::look_folder(installed), ec)) return installed;
    return own_dir + "/" + TRELLIN_PLUGIN_BUILD_BIN_DIR;
}

std::vector<std::string> module_candidates(const std::string& plugin_dir)
{
    // Set by the build (add_plugin_library): the effect module's folder relative to
    // the installed plug-in's folder, and relative to the build tree's.
    return trellin_app::module_candidates(plugin_dir,
                                          {TRELLIN_PLUGIN_INSTALLED_MODULE_DIR, TRELLIN_PLUGIN_BUILD_MODULE_DIR});
}

}  // namespace trellin_gst
