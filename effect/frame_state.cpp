#include "effect/frame_state.h"

#include <cmath>

#include "effect/trellin_info.h"
#include "framework/plugin_vx.h"

namespace vx {

bool FrameState::aborted() const
{
    return owner != nullptr && owner->abort_requested();
}

FrameState derive_frame_state(const TrellinParams& param, int width, int height)
{
    FrameState f;
    f.width = width;
    f.height = height;

    f.cell_shape = param.cell_shape.value;
    f.cell_radius = static_cast<float>(param.cell_size.value * 0.2 * width);
    f.cell_curve = param.cell_curve.value;
    f.cell_angle = param.cell_angle.value;
    f.angle_centre_x = param.angle_centre.x;
    f.angle_centre_y = param.angle_centre.y;
    f.tweak_x = param.tweak.x;
    f.tweak_y = param.tweak.y;
    f.cell_count_x = param.cell_count_x.value;
    f.cell_count_y = param.cell_count_y.value;

    f.black_height = static_cast<float>(param.black_height.value * 0.01);
    f.white_height = static_cast<float>(param.white_height.value * 0.01);
    f.invert_map = param.invert_map.value ? 1 : 0;

    f.index = static_cast<float>(param.index.value);
    // Keeps 1 / index finite; a small negative index becomes positive too.
    if (std::fabs(f.index) < 0.01f) f.index = 0.01f;
    // "Smoothing" is given for a picture 720 pixels wide; rounded half up.
    const float ref_scale = 720.0f / static_cast<float>(width);
    f.smoothing_px =
        static_cast<std::int32_t>(static_cast<double>(param.smoothing.value) / static_cast<double>(ref_scale) + 0.5);
    f.chroma = static_cast<float>(param.chromatic_ab.value * 0.01);
    f.edge_mode = param.edge.value;

    f.light_x = static_cast<float>(param.light_position.x * width);
    f.light_y = static_cast<float>(param.light_position.y * height);
    f.light_z = static_cast<float>(param.light_z.value * width);
    f.gloss = static_cast<float>(param.gloss.value);
    f.back_bright = static_cast<float>(param.back_bright.value * 0.01);
    f.brightness = static_cast<float>(param.brightness.value * 0.01);
    f.light_colour[0] = static_cast<float>(param.light_colour.r);
    f.light_colour[1] = static_cast<float>(param.light_colour.g);
    f.light_colour[2] = static_cast<float>(param.light_colour.b);
    f.lit = f.brightness > 0.0f && param.light_active.value;
    return f;
}

FrameState for_pass(const FrameState& frame, int pass)
{
    FrameState f = frame;
    f.pass_select = pass;
    f.channel = pass == 0 ? -1 : (pass == 4 ? 3 : pass - 1);
    f.channel_mask = pass == 0 ? channels_all : channel_bit(f.channel);
    f.thickening = static_cast<float>(pass) * frame.chroma;
    return f;
}

}  // namespace vx
