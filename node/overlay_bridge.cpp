#include "node/trellin_node.h"

namespace vx {

void TrellinNode::notify_output_changed()
{
    FXNode::notify_output_changed();
    set_ovl_update_pending();
}

bool TrellinNode::draw_overlay(void*)
{
    int width = 0, height = 0;
    get_output_size(width, height);
    const double correction = aspect_correction(get_aspect(), width, height);
    const double f = correction > 0.0 ? 1.0 / correction : 1.0;
    effect->scale_y = static_cast<float>(1.0 / f);
    effect->view_width = width;
    effect->view_height = height;
    effect->scale_x = 1.0f;
    effect->zoom = 1.0f;
    effect->draw();
    return false;
}

bool TrellinNode::has_overlay()
{
    return true;
}

bool TrellinNode::overlay_event(void*, OverlayEventKind kind, FXMouseEvent* event)
{
    // Every kind passes the pointer position on; without a record there is
    // nothing to pass.
    if (!event) return false;
    switch (kind) {
    case OverlayEventKind::press:
        effect->overlay_event_taken = false;
        effect->mouse(mouse_press, event->x, event->y);
        if (effect->overlay_event_taken) {
            set_ovl_update_pending();
            return true;
        }
        return false;
    case OverlayEventKind::move:
        if (event->button > 0.0f) {
            set_ovl_update_pending();
            effect->mouse(mouse_drag, event->x, event->y);
        } else {
            effect->mouse(mouse_move, event->x, event->y);
        }
        return false;
    case OverlayEventKind::release:
        effect->mouse(mouse_release, event->x, event->y);
        invalidate_range(-1.0, -1.0);
        set_ovl_update_pending();
        return false;
    default:
        effect->mouse(mouse_move, event->x, event->y);
        return false;
    }
}

}  // namespace vx
