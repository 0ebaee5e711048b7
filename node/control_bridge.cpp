#include <algorithm>

#include "node/control_table.h"
#include "node/trellin_node.h"

namespace vx {

bool TrellinNode::layout_controls(CPanel* panel)
{
    if (num_controls() < 1) return false;
    // The host's count is asked again at every step, but the table ends the
    // loop: a host reporting more controls than the node made must not make
    // it read past its table.
    for (int i = 0; i < num_controls() && i < control_count; ++i) {
        CWidget* control = controls[i].control;
        if (control && !control->panel_excluded)
            panel->place_widget(control, controls[i].panel_column, controls[i].panel_row, 0, 1);
    }
    return true;
}

bool TrellinNode::evaluate_controls(double time, bool flag)
{
    // The pulls see the host values as they stood before this evaluation.
    pull_typed_controls(effect->param);
    return FXNode::evaluate_controls(time, flag);
}

bool TrellinNode::notify_control_changed(CWidget* widget, int reason, double time)
{
    const ControlEntry* const values = controls;
    const ControlEntry* const values_end = controls + value_control_count;
    const ControlEntry* entry =
        std::find_if(values, values_end, [widget](const ControlEntry& e) { return widget && e.control == widget; });
    if (entry == values_end) return FXNode::notify_control_changed(widget, reason, time);

    const ControlRow& def = control_table[entry - controls];
    ControlVx& typed = def.typed(effect->param);
    typed.pull();
    if (&typed == &effect->param.light_active) effect->update_light_controls();
    if (reason == change_reason::finished) invalidate_range(-1.0, -1.0);
    set_ovl_update_pending();
    // The host's own change handling is not asked for option controls.
    if (def.kind != ControlKind::option) FXNode::notify_control_changed(widget, reason, time);
    return true;
}

}  // namespace vx
