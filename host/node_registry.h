// The host's record of the nodes registered through FXNode_register.
#pragma once

#include <vector>

#include "contract/host_api.h"

HOST_API bool is_registered(const FXNode* node);
HOST_API std::vector<const FXNode*> registered_nodes();
// Removes the node from the record; the node's destructor calls it.
HOST_API void unregister_node(const FXNode* node);
