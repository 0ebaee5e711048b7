// The effect's parameter block: the image slots the node fills each frame, the
// four on-screen handles and the 23 typed controls, in their fixed order.
#pragma once

#include <array>
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

// The typed controls, in the order they are numbered (1..23) and pulled.
struct TrellinParams {
    FloatControlVx black_height;       // 1  "Black Height"
    FloatControlVx white_height;       // 2  "White Height"
    FloatControlVx index;              // 3  "Index"
    CheckboxControlVx invert_map;      // 4  "Invert map"
    ListControlVx edge;                // 5  "Edge: %s"
    IntegerControlVx smoothing;        // 6  "Smoothing"
    FloatControlVx chromatic_ab;       // 7  "ChromaticAb"
    CheckboxControlVx light_active;    // 8  "Light Active"
    FloatControlVx brightness;         // 9  "Brightness"
    PositionControlVx light_position;  // 10 "Light_X", "Light_Y"
    FloatControlVx light_z;            // 11 "LightZ"
    FloatControlVx gloss;              // 12 "Gloss"
    FloatControlVx back_bright;        // 13 "Back Bright"
    ColourControlVx light_colour;      // 14 "Light"
    FloatControlVx cell_curve;         // 15 "CellCurve"
    FloatControlVx cell_size;          // 16 "CellSize"
    AngleControlVx cell_angle;         // 17 "Cell Angle"
    PositionControlVx angle_centre;    // 18 "Angle Centre_X", "Angle Centre_Y"
    PositionControlVx tweak;           // 19 "Tweak_X", "Tweak_Y"
    CheckboxControlVx show_map;        // 20 "ShowMap"
    ListControlVx cell_shape;          // 21 "CellShape: %s"
    IntegerControlVx cell_count_x;     // 22 "Cell Count X"
    IntegerControlVx cell_count_y;     // 23 "Cell Count Y"

    static constexpr int count = 23;
    // Typed control number 1..23.
    ControlVx& number(int n);
    // Refreshes every typed control from its host control, in order.
    void pull_all();
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
