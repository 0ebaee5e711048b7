#include "effect/trellin.h"

namespace vx {

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
