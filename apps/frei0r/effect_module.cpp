#include "apps/frei0r/effect_module.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace fs = std::filesystem;

namespace trellin_frei0r {

namespace {

// Set by the build: the effect module's folder relative to the installed
// frei0r folder, and relative to the frei0r folder of the build tree.
#ifndef TRELLIN_FREI0R_INSTALLED_MODULE_DIR
#define TRELLIN_FREI0R_INSTALLED_MODULE_DIR "../trellin"
#endif
#ifndef TRELLIN_FREI0R_BUILD_MODULE_DIR
#define TRELLIN_FREI0R_BUILD_MODULE_DIR "../../bin"
#endif

void complain(const std::string& text) { std::fprintf(stderr, "trellin (frei0r): %s\n", text.c_str()); }

Effect* load()
{
    const std::vector<std::string> candidates = module_candidates(own_dir());
    std::string path = candidates.front();
    if (candidates.size() > 1) {
        std::error_code ec;
        path.clear();
        for (const std::string& c : candidates) {
            if (fs::exists(c, ec)) {
                path = c;
                break;
            }
        }
        if (path.empty()) {
            std::string tried;
            for (const std::string& c : candidates) tried += (tried.empty() ? "" : ", ") + c;
            complain(std::string("cannot find the effect module ") + trellin_app::module_file_name + " (tried " +
                     tried + "; set " + trellin_app::module_env_var + " to its path)");
            return nullptr;
        }
    }
    try {
        trellin_app::NodeModule module = trellin_app::NodeModule::open(path);
        std::vector<Parameter> parameters = parameters_of(*module.create_node());
        if (parameters.empty()) {
            complain(path + ": the effect's nodes have no controls on their panel");
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
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&own_dir), &info) == 0 || info.dli_fname == nullptr) return ".";
    std::error_code ec;
    fs::path self = fs::weakly_canonical(fs::absolute(info.dli_fname, ec), ec);
    if (ec) self = info.dli_fname;
    return self.parent_path().string();
}

std::vector<std::string> module_candidates(const std::string& frei0r_dir)
{
    const char* env = std::getenv(trellin_app::module_env_var);
    if (env != nullptr && *env != '\0') return {env};
    const fs::path base(frei0r_dir);
    return {(base / TRELLIN_FREI0R_INSTALLED_MODULE_DIR / trellin_app::module_file_name).lexically_normal().string(),
            (base / TRELLIN_FREI0R_BUILD_MODULE_DIR / trellin_app::module_file_name).lexically_normal().string()};
}

}  // namespace trellin_frei0r
