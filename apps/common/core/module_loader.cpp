#include "apps/common/core/module_loader.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace trellin_app {

namespace {

std::string loader_message()
{
    const char* text = ::dlerror();
    return text != nullptr ? text : "no message from the loader";
}

void* entry_point(void* handle, const std::string& path, const char* name)
{
    ::dlerror();
    void* symbol = ::dlsym(handle, name);
    if (symbol == nullptr)
        throw ModuleError(path + ": not a node module: entry point " + name + " missing (" + loader_message() + ")");
    return symbol;
}

}  // namespace

std::string executable_dir()
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return ".";
    return self.parent_path().string();
}

std::string loaded_file_dir(const void* address)
{
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) return ".";
    std::error_code ec;
    fs::path file = fs::weakly_canonical(fs::absolute(info.dli_fname, ec), ec);
    if (ec) file = info.dli_fname;
    return file.parent_path().string();
}

std::vector<std::string> module_candidates(const std::string& base_dir)
{
    return module_candidates(base_dir, {".", "../lib/trellin"});
}

std::vector<std::string> module_candidates(const std::string& base_dir, const std::vector<std::string>& folders)
{
    const char* env = std::getenv(module_env_var);
    if (env != nullptr && *env != '\0') return {env};
    return file_candidates(base_dir, folders, module_file_name);
}

std::vector<std::string> file_candidates(const std::string& base_dir, const std::vector<std::string>& folders,
                                         const std::string& file_name)
{
    std::vector<std::string> candidates;
    for (const std::string& folder : folders)
        candidates.push_back((fs::path(base_dir) / folder / file_name).lexically_normal().string());
    return candidates;
}

NodeModule NodeModule::find(const std::string& base_dir)
{
    return find_among(module_candidates(base_dir));
}

NodeModule NodeModule::find_among(const std::vector<std::string>& candidates)
{
    // An explicitly named module is loaded (or refused) as it is.
    if (candidates.size() == 1) return open(candidates.front());
    std::error_code ec;
    for (const std::string& path : candidates) {
        if (fs::exists(path, ec)) return open(path);
    }
    std::string tried;
    for (const std::string& path : candidates) {
        if (!tried.empty()) tried += ", ";
        tried += path;
    }
    throw ModuleError(std::string("cannot find the effect module ") + module_file_name + " (tried " + tried + "; set " +
                      module_env_var + " to its path)");
}

NodeModule NodeModule::open(const std::string& path)
{
    NodeModule module;
    module.path_ = path;
    ::dlerror();
    module.handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module.handle_ == nullptr) throw ModuleError(path + ": cannot load the effect module: " + loader_message());

    // On a throw below the destructor of `module` unloads it again.
    auto info = reinterpret_cast<FXNodeInfoFn>(entry_point(module.handle_, path, "FXNode_info"));
    module.create_ = reinterpret_cast<FXNodeCreateFn>(entry_point(module.handle_, path, "FXNode_create"));
    module.load_ = reinterpret_cast<FXNodeLoadFn>(entry_point(module.handle_, path, "FXNode_load"));

    char uuid[64];
    std::memset(uuid, 0, sizeof uuid);
    const char* name = info(uuid);
    if (name == nullptr || *name == '\0')
        throw ModuleError(path + ": not a node module: FXNode_info names no node type");
    if (::strnlen(uuid, sizeof uuid) != 36)
        throw ModuleError(path + ": not a node module: FXNode_info gives no 36-character node UUID");
    module.uuid_ = uuid;
    module.type_name_ = name;
    return module;
}

NodeModule::NodeModule(NodeModule&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      path_(std::move(other.path_)),
      uuid_(std::move(other.uuid_)),
      type_name_(std::move(other.type_name_)),
      create_(std::exchange(other.create_, nullptr)),
      load_(std::exchange(other.load_, nullptr))
{
}

NodeModule& NodeModule::operator=(NodeModule&& other) noexcept
{
    if (this != &other) {
        if (handle_ != nullptr) ::dlclose(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
        path_ = std::move(other.path_);
        uuid_ = std::move(other.uuid_);
        type_name_ = std::move(other.type_name_);
        create_ = std::exchange(other.create_, nullptr);
        load_ = std::exchange(other.load_, nullptr);
    }
    return *this;
}

NodeModule::~NodeModule()
{
    if (handle_ != nullptr) ::dlclose(handle_);
}

NodePtr NodeModule::create_node() const
{
    NodePtr node(create_ != nullptr ? create_() : nullptr);
    if (!node) throw ModuleError(path_ + ": the module made no node (out of memory?)");
    return node;
}

NodePtr NodeModule::load_node(const RegV& settings) const
{
    NodePtr node(load_ != nullptr ? load_(settings) : nullptr);
    if (!node) throw ModuleError(path_ + ": the module made no node (out of memory?)");
    return node;
}

}  // namespace trellin_app
