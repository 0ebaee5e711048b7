// The effect's parameter block: the four on-screen handles and the typed
// controls.
#pragma once

#include "framework/control_vx.h"
#include "framework/overlay_vx.h"

namespace vx {

// The typed controls: the effect's cached, typed view of its host controls.
// The node's control table says which host controls feed each of them.
struct TrellinParams {
    FloatControlVx black_height;
    FloatControlVx white_height;
    FloatControlVx index;
    CheckboxControlVx invert_map;
    ListControlVx edge;
    IntegerControlVx smoothing;
    FloatControlVx chromatic_ab;
    CheckboxControlVx light_active;
    FloatControlVx brightness;
    PositionControlVx light_position;
    FloatControlVx light_z;
    FloatControlVx gloss;
    FloatControlVx back_bright;
    ColourControlVx light_colour;
    FloatControlVx cell_curve;
    FloatControlVx cell_size;
    AngleControlVx cell_angle;
    PositionControlVx angle_centre;
    PositionControlVx tweak;
    CheckboxControlVx show_map;
    ListControlVx cell_shape;
    IntegerControlVx cell_count_x;
    IntegerControlVx cell_count_y;
};

struct TrellinInfo {
    CrosshairOverlayVx light_handle;
    CrosshairOverlayVx centre_handle;
    CrosshairOverlayVx tweak_handle;
    AngleOverlayVx angle_handle;
    TrellinParams param;
};

}  // namespace vx
