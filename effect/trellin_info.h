// The effect's parameter block: the image slots the node fills each frame, the
// four on-screen handles and the typed controls.
#pragma once

#include <cstdint>

#include "framework/control_vx.h"
#include "framework/overlay_vx.h"
#include "contract/host_api.h"
#include "pixels/image_vx.h"

namespace vx {

struct InputImageSlot {
    _image_str* host_image = nullptr;
    std::int32_t input_index = 0;
    FXNode* node = nullptr;
    ImageVx* image = nullptr;
    // The record is still to be read from host_image (of the same size): the
    // render reads it, together with other work where it can.
    bool unread = false;
};

struct OutputImageSlot {
    ImageVx* image = nullptr;
    _image_str* host_image = nullptr;
    // The render has written host_image itself (top row first); the record
    // is not written back.
    bool host_written = false;
};

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
    InputImageSlot input;
    OutputImageSlot output;
    CrosshairOverlayVx light_handle;
    CrosshairOverlayVx centre_handle;
    CrosshairOverlayVx tweak_handle;
    AngleOverlayVx angle_handle;
    TrellinParams param;
};

}  // namespace vx
