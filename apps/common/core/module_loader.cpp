#include "apps/common/core/module_loader.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "host/platform_files.h"
#include "host/platform_library.h"

namespace fs = std::filesystem;

namespace trellin_app {

namespace {

void* entry_point(void* handle, const std::string& path, const char* name)
{
    std::string error;
    void* symbol = platform::library_symbol(handle, name, error);
    if (symbol == nullptr)
        throw ModuleError(path + ": not a node module: entry point " + name + " missing (" + error + ")");
    return symbol;
}

}  // namespace

std::string executable_dir()
{
    const std::string self = platform::executable_path();
    if (self.empty()) return ".";
    return platform::path_to_utf8(platform::path_from_utf8(self).parent_path());
}

std::string loaded_file_dir(const void* address)
{
    const std::string file = platform::loaded_file_path(address);
    if (file.empty()) return ".";
    return platform::path_to_utf8(platform::path_from_utf8(file).parent_path());
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
        candidates.push_back(
            platform::path_to_utf8((platform::path_from_utf8(base_dir) / folder / file_name).lexically_normal()));
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
        if (fs::exists(platform::path_from_utf8(path), ec)) return open(path);
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
    std::string error;
    module.handle_ = platform::open_library(path, error);
    if (module.handle_ == nullptr) throw ModuleError(path + ": cannot load the effect module: " + error);

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
        if (handle_ != nullptr) platform::close_library(handle_);
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
    if (handle_ != nullptr) platform::close_library(handle_);
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
