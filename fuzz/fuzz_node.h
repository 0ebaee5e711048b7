// Nodes for the fuzz targets, made through the module's own entry points
// (FXNode_create, FXNode_load) as a host makes them.
#pragma once

#include <memory>

#include "contract/host_api.h"

extern "C" FXNode* FXNode_create();
extern "C" FXNode* FXNode_load(const RegV& reg);

namespace trellin_fuzz {

struct NodeRelease {
    void operator()(FXNode* node) const
    {
        if (node != nullptr) node->Destroy();
    }
};
using NodeHandle = std::unique_ptr<FXNode, NodeRelease>;

inline NodeHandle new_node()
{
    return NodeHandle(FXNode_create());
}
inline NodeHandle loaded_node(const RegV& reg)
{
    return NodeHandle(FXNode_load(reg));
}

}  // namespace trellin_fuzz
