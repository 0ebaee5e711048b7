// Loading the effect module (TrellinVx.node) and creating nodes from it.
//
// Where the module is looked for:
//   1. the path in the environment variable TRELLIN_MODULE, when set (no
//      other place is tried then);
//   2. TrellinVx.node in the program's own folder (the build tree);
//   3. ../lib/trellin/TrellinVx.node beside the program's folder (an
//      installed tree: bin/ and lib/trellin/).
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "contract/host_api.h"

namespace trellin_app {

// The module cannot be found or loaded, or is not a node module. The message
// names the path(s) tried and the loader's own message.
class ModuleError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr char module_file_name[] = "TrellinVx.node";
inline constexpr char module_env_var[] = "TRELLIN_MODULE";

// Deletes a node the way the host does (through its most derived destructor).
struct NodeDeleter {
    void operator()(FXNode* node) const
    {
        if (node != nullptr) node->Destroy();
    }
};
using NodePtr = std::unique_ptr<FXNode, NodeDeleter>;

// The folder of the running program (from /proc/self/exe).
std::string executable_dir();

// The folder of the shared object (program, library or module) that holds
// `address`, found through the loader (dladdr); "." when it cannot say.
std::string loaded_file_dir(const void* address);

// The file `file_name` in each of `folders` (relative to `base_dir`), in order.
std::vector<std::string> file_candidates(const std::string& base_dir, const std::vector<std::string>& folders,
                                         const std::string& file_name);

// The places the module is looked for, in order, for a program in `base_dir`
// (TRELLIN_MODULE alone when it is set).
std::vector<std::string> module_candidates(const std::string& base_dir);
// The same for any file in `base_dir` that finds the module in `folders`
// (relative to `base_dir`, in order).
std::vector<std::string> module_candidates(const std::string& base_dir, const std::vector<std::string>& folders);

class NodeModule {
public:
    // Loads the module at `path` and checks its three entry points.
    static NodeModule open(const std::string& path);
    // Loads the first module found among module_candidates(base_dir).
    static NodeModule find(const std::string& base_dir = executable_dir());
    // Loads the first of `candidates` that exists; a single candidate is
    // loaded (or refused) as it is. Throws ModuleError naming every path
    // tried when none exists.
    static NodeModule find_among(const std::vector<std::string>& candidates);

    NodeModule(NodeModule&& other) noexcept;
    NodeModule& operator=(NodeModule&& other) noexcept;
    // Unloads the module: every node made from it must be gone by then.
    ~NodeModule();

    const std::string& path() const { return path_; }
    // The node UUID and type name from FXNode_info.
    const std::string& uuid() const { return uuid_; }
    const std::string& type_name() const { return type_name_; }

    // A new node (FXNode_create). Throws ModuleError when the module returns none.
    NodePtr create_node() const;
    // A node restored from saved settings (FXNode_load).
    NodePtr load_node(const RegV& settings) const;

private:
    NodeModule() = default;

    void* handle_ = nullptr;
    std::string path_;
    std::string uuid_;
    std::string type_name_;
    FXNodeCreateFn create_ = nullptr;
    FXNodeLoadFn load_ = nullptr;
};

}  // namespace trellin_app
