#include "apps/trellin/picture_library.h"

#include <dlfcn.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "apps/common/core/module_holder.h"
#include "apps/common/core/module_loader.h"
#include "apps/trellin/commands.h"
#include "apps/trellin/picture_entry.h"

namespace trellin_cli {

namespace {

int kept_argc = 0;
char** kept_argv = nullptr;

// The loaded library: never unloaded (its code runs until the program ends).
struct PictureLibrary {
    TrellinPictureEntry entry = nullptr;
};

std::string loader_message()
{
    const char* text = ::dlerror();
    return text != nullptr ? text : "no message from the loader";
}

PictureLibrary load_picture_library()
{
    const std::vector<std::string> candidates =
        trellin_app::file_candidates(trellin_app::executable_dir(), {".", "../lib/trellin"}, picture_library_file);
    std::error_code ec;
    for (const std::string& path : candidates) {
        if (!std::filesystem::exists(path, ec)) continue;
        ::dlerror();
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr)
            throw std::runtime_error(path + ": cannot load the picture library: " + loader_message());
        ::dlerror();
        void* entry = ::dlsym(handle, TRELLIN_PICTURE_ENTRY);
        if (entry == nullptr) {
            const std::string why = loader_message();
            ::dlclose(handle);
            throw std::runtime_error(
                path + ": not trellin's picture library: entry point " TRELLIN_PICTURE_ENTRY " missing (" + why + ")");
        }
        return PictureLibrary{reinterpret_cast<TrellinPictureEntry>(entry)};
    }
    std::string tried;
    for (const std::string& path : candidates) tried += (tried.empty() ? "" : ", ") + path;
    throw std::runtime_error(std::string("cannot find the picture library ") + picture_library_file + " (tried " +
                             tried + "); it is installed beside the effect module");
}

}  // namespace

void keep_command_line(int argc, char** argv)
{
    kept_argc = argc;
    kept_argv = argv;
}

int run_in_picture_library()
{
    static trellin_app::ModuleHolder<PictureLibrary> library(load_picture_library);
    const PictureLibrary* loaded = library.get();
    if (loaded == nullptr) throw Failure{exit_usage, library.error()};
    return loaded->entry(kept_argc, kept_argv);
}

}  // namespace trellin_cli
