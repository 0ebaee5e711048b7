#include "node/trellin_node.h"

#include <cstring>
#include <new>

#include "contract/node_flags.h"

namespace vx {

TrellinNode::TrellinNode()
{
    std::strncpy(node_uuid, node_uuid_text, sizeof node_uuid);
    set_name(node_type_name);
    effect = new (std::nothrow) Trellin();
    if (effect) {
        effect->host_node = this;
        create_controls();
    }
    first_frame = true;
}

TrellinNode* TrellinNode::make()
{
    TrellinNode* node = new (std::nothrow) TrellinNode();
    if (node && !node->effect) {
        // The node cannot work without its effect; it never reaches the host.
        delete node;
        return nullptr;
    }
    return node;
}

TrellinNode::~TrellinNode()
{
    delete effect;
}

void TrellinNode::set_flags(std::uint32_t flags)
{
    refract_alpha = (flags & node_flag_refract_alpha) != 0;
}

void TrellinNode::release_frame_storage()
{
    images_.release();
    if (effect) effect->storage.release();
}

const char* TrellinNode::get_description()
{
    return node_description;
}

void TrellinNode::get_input_count(int& min_inputs, int& max_inputs)
{
    min_inputs = 1;
    max_inputs = 1;
}

}  // namespace vx
