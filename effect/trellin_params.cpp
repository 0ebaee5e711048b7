#include "effect/trellin.h"

namespace vx {

ControlVx& TrellinParams::number(int n)
{
    ControlVx* const table[count] = {
        &black_height, &white_height, &index,      &invert_map,     &edge,         &smoothing,
        &chromatic_ab, &light_active, &brightness, &light_position, &light_z,      &gloss,
        &back_bright,  &light_colour, &cell_curve, &cell_size,      &cell_angle,   &angle_centre,
        &tweak,        &show_map,     &cell_shape, &cell_count_x,   &cell_count_y,
    };
    return *table[n - 1];
}

void TrellinParams::pull_all()
{
    for (int n = 1; n <= count; ++n) number(n).pull();
}

void Trellin::on_first_frame()
{
    update_light_controls();
}

void Trellin::update_light_controls()
{
    // Reading through value_at lets the node evaluate its controls first, so
    // every typed control is fresh as well.
    int active = 0;
    param.light_active.value_at(-1.0, active);
    const bool unavailable = active != 1;
    param.brightness.set_disabled(unavailable);
    param.gloss.set_disabled(unavailable);
    param.back_bright.set_disabled(unavailable);
    param.light_colour.set_disabled(unavailable);
    param.light_position.set_disabled(unavailable);
    param.light_z.set_disabled(unavailable);
}

}  // namespace vx
