#include "effect/trellin.h"

namespace vx {

namespace {

// Places a crosshair at a position control's cached values.
void place(CrosshairOverlayVx& handle, const PositionControlVx& position)
{
    handle.x = static_cast<float>(position.x);
    handle.y = static_cast<float>(position.y);
}

// The light handle exists only while the light does something.
bool light_handle_live(const TrellinParams& param)
{
    return param.brightness.value != 0.0 && param.light_active.value;
}

}  // namespace

void Trellin::draw()
{
    if (light_handle.shown && light_handle_live(param)) {
        place(light_handle, param.light_position);
        draw_crosshair_handle(light_handle);
    }
    if (angle_handle.shown) {
        // The arm turns about the centre handle's position.
        angle_handle.x = static_cast<float>(param.angle_centre.x);
        angle_handle.y = static_cast<float>(param.angle_centre.y);
        angle_handle.length = 0.1f;
        angle_handle.angle = static_cast<float>(param.cell_angle.value);
        draw_angle_handle(angle_handle);
    }
    if (tweak_handle.shown) {
        place(tweak_handle, param.tweak);
        draw_crosshair_handle(tweak_handle);
    }
    if (centre_handle.shown) {
        place(centre_handle, param.angle_centre);
        draw_crosshair_handle(centre_handle);
    }
}

void Trellin::mouse(MouseCode code, float x, float y)
{
    // Every handle sees the event: handles lying on top of each other are
    // caught and dragged together. The light handle takes no events while the
    // light does nothing, and a drag of it stops there, so that it cannot
    // resume without a press once the light is back.
    if (light_handle_live(param))
        light_handle.mouse(code, x, y);
    else
        light_handle.cancel();
    angle_handle.mouse(code, x, y);
    tweak_handle.mouse(code, x, y);
    centre_handle.mouse(code, x, y);
}

}  // namespace vx
