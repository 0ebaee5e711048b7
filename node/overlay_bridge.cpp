// STUB: replaced by the overlay bridge.
#include "node/trellin_node.h"

namespace vx {

void TrellinNode::notify_output_changed() { FXNode::notify_output_changed(); }
bool TrellinNode::draw_overlay(void*) { return false; }
bool TrellinNode::has_overlay() { return true; }
bool TrellinNode::overlay_event(void*, int, FXMouseEvent*) { return false; }

}  // namespace vx
