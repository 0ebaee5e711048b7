// The host's record of registered nodes. Nodes may be created and destroyed
// on several threads at once, so every access holds the registry's lock.
#include <algorithm>
#include <mutex>

#include "host/node_registry.h"

namespace {

struct Registry {
    std::mutex lock;
    std::vector<const FXNode*> nodes;  // in registration order
};

// Never destroyed: nodes that outlive static destruction may still unregister.
Registry& registry()
{
    static Registry* r = new Registry;
    return *r;
}

}  // namespace

bool FXNode_register(const FXNode* node)
{
    if (node == nullptr) return true;
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.lock);
    if (std::find(r.nodes.begin(), r.nodes.end(), node) == r.nodes.end()) r.nodes.push_back(node);
    return true;
}

void unregister_node(const FXNode* node)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.lock);
    r.nodes.erase(std::remove(r.nodes.begin(), r.nodes.end(), node), r.nodes.end());
}

bool is_registered(const FXNode* node)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.lock);
    return std::find(r.nodes.begin(), r.nodes.end(), node) != r.nodes.end();
}

std::vector<const FXNode*> registered_nodes()
{
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.lock);
    return r.nodes;
}
