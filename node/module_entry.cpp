// The module's three exports: the host finds the node type by them.
#include <cstring>

#include "contract/host_api.h"
#include "node/trellin_node.h"

#ifdef _WIN32
#define MODULE_EXPORT extern "C" __declspec(dllexport)
#else
#define MODULE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

MODULE_EXPORT const char* FXNode_info(char* uuid_out)
{
    std::memcpy(uuid_out, vx::node_uuid_text, sizeof vx::node_uuid_text);
    return vx::node_type_name;
}

MODULE_EXPORT FXNode* FXNode_create()
{
    vx::TrellinNode* node = vx::TrellinNode::make();
    if (node) FXNode_register(node);
    return node;
}

MODULE_EXPORT FXNode* FXNode_load(const RegV& reg)
{
    vx::TrellinNode* node = vx::TrellinNode::make();
    if (node) node->reg_load(reg);
    return node;
}
