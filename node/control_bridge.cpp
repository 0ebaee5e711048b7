// STUB: replaced by the parameter bridge.
#include "node/trellin_node.h"

namespace vx {

bool TrellinNode::layout_controls(CPanel*) { return false; }
bool TrellinNode::evaluate_controls(double time, bool flag) { return FXNode::evaluate_controls(time, flag); }
bool TrellinNode::notify_control_changed(CWidget* w, int reason, double time)
{
    return FXNode::notify_control_changed(w, reason, time);
}

}  // namespace vx
