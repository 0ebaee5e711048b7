// The values the render derives once per frame, and the frame's working
// storage, read by the per-pixel passes.
#pragma once

#include <cstdint>

#include "effect/source_pyramid.h"
#include "node/image_vx.h"

namespace vx {

struct FrameState {
    std::int32_t width = 0;
    std::int32_t height = 0;
    float cell_radius = 0.0f;
    ImageVx* cell_map = nullptr;
    float black_height = 0.0f;
    float white_height = 0.0f;
    float index = 0.0f;
    std::int32_t edge_mode = 0;
    std::int32_t smoothing_px = 0;
    float light_x = 0.0f;
    float light_y = 0.0f;
    float light_z = 0.0f;
    float gloss = 0.0f;
    float back_bright = 0.0f;
    float brightness = 0.0f;
    float light_colour[3] = {0.0f, 0.0f, 0.0f};
    std::int32_t invert_map = 0;
    float chroma = 0.0f;
    std::int32_t pass_select = 0;
    SourcePyramid* pyramid = nullptr;
    float* height_buf = nullptr;
    float* sample_x_buf = nullptr;
    float* sample_y_buf = nullptr;
    float* highlight_buf = nullptr;
};

}  // namespace vx
