// The snapshot every pass of a frame reads: the values derived once per
// frame from the controls and the picture size, the frame's storage, and the
// pass being run. Passes take it by const reference and write only their own
// rows of their output, so any band of rows may run on any thread.
#pragma once

#include <cstdint>

#include "effect/source_pyramid.h"
#include "pixels/image_vx.h"

namespace vx {

class PluginVx;
struct TrellinParams;

struct FrameState {
    std::int32_t width = 0;
    std::int32_t height = 0;

    // Cell map.
    std::int32_t cell_shape = 0;  // 1..6; anything else draws no cell
    float cell_radius = 0.0f;
    double cell_curve = 1.0;
    double cell_angle = 0.0;  // degrees
    double angle_centre_x = 0.5;
    double angle_centre_y = 0.5;
    double tweak_x = 0.5;
    double tweak_y = 0.5;
    std::int32_t cell_count_x = 0;
    std::int32_t cell_count_y = 0;

    // Heights.
    float black_height = 0.0f;
    float white_height = 0.0f;
    std::int32_t invert_map = 0;

    // Refraction. `index` is already kept away from 0 (see derive_frame_state).
    float index = 0.0f;
    std::int32_t smoothing_px = 0;
    float chroma = 0.0f;
    std::int32_t edge_mode = 0;  // 1-based list value

    // Lighting; `lit` says whether the highlight is computed and added.
    bool lit = false;
    float light_x = 0.0f;
    float light_y = 0.0f;
    float light_z = 0.0f;
    float gloss = 0.0f;
    float back_bright = 0.0f;
    float brightness = 0.0f;
    float light_colour[3] = {0.0f, 0.0f, 0.0f};

    // The pass: 0 samples and writes all four channels; 1..3 colour channel
    // pass - 1 with its own glass thickening; 4 alpha.
    std::int32_t pass_select = 0;
    std::int32_t channel = -1;    // the one channel written, -1 for all
    unsigned channel_mask = 0xF;  // channels the sampler reads
    float thickening = 0.0f;      // pass_select * chroma

    // Storage.
    const ImageVx* input = nullptr;
    ImageVx* output = nullptr;
    ImageVx* cell_map = nullptr;
    const SourcePyramid* pyramid = nullptr;
    float* height_buf = nullptr;
    float* sample_x_buf = nullptr;
    float* sample_y_buf = nullptr;
    float* highlight_buf = nullptr;

    // The effect whose abort_requested the passes poll; none: never abort.
    const PluginVx* owner = nullptr;

    bool aborted() const;
};

// The frame's values for a picture of width x height (storage left empty,
// pass 0).
FrameState derive_frame_state(const TrellinParams& param, int width, int height);

// `frame` set up for pass `pass` (0..4).
FrameState for_pass(const FrameState& frame, int pass);

}  // namespace vx
