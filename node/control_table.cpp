// STUB: replaced by the control table.
#include "node/trellin_node.h"

namespace vx {

void TrellinNode::create_controls() {}

}  // namespace vx
