#include <cstring>

#include "effect/trellin.h"
#include "node/frame_memory.h"
#include "node/parallel_rows.h"

namespace vx {

namespace {

float* alloc_float_buffer(int width, int height)
{
    return static_cast<float*>(frame_alloc(std::size_t(width) * std::size_t(height) * sizeof(float)));
}

}  // namespace

void Trellin::draw_cell_map()
{
    static constexpr void (Trellin::*workers[])(int, int) = {
        &Trellin::triangle_rows, &Trellin::square_rows,  &Trellin::pentagon_rows,
        &Trellin::hexagon_rows,  &Trellin::octagon_rows, &Trellin::dodecagon_rows,
    };
    const int shape = param.cell_shape.value;
    if (shape >= 1 && shape <= 6)
        parallel_rows(this, workers[shape - 1], frame.height);
}

void Trellin::derive_frame_values()
{
    FrameState& f = frame;
    f.black_height = static_cast<float>(param.black_height.value * 0.01);
    f.white_height = static_cast<float>(param.white_height.value * 0.01);
    f.index = static_cast<float>(param.index.value);
    f.edge_mode = param.edge.value;
    // "Smoothing" is given for a picture 720 pixels wide; rounded half up.
    f.smoothing_px = static_cast<std::int32_t>(static_cast<double>(param.smoothing.value) /
                                                   static_cast<double>(input.image->ref_scale) +
                                               0.5);
    f.light_colour[0] = static_cast<float>(param.light_colour.r);
    f.light_colour[1] = static_cast<float>(param.light_colour.g);
    f.light_colour[2] = static_cast<float>(param.light_colour.b);
    f.invert_map = param.invert_map.value ? 1 : 0;
    f.light_x = static_cast<float>(param.light_position.x * f.width);
    f.light_y = static_cast<float>(param.light_position.y * f.height);
    f.light_z = static_cast<float>(param.light_z.value * f.width);
    f.gloss = static_cast<float>(param.gloss.value);
    f.back_bright = static_cast<float>(param.back_bright.value * 0.01);
    f.brightness = static_cast<float>(param.brightness.value * 0.01);
    f.chroma = static_cast<float>(param.chromatic_ab.value * 0.01);
}

void Trellin::run_pass_pair(int pass)
{
    frame.pass_select = pass;
    guard_index();
    parallel_rows(this, &Trellin::refract_rows, frame.height);
    parallel_rows(this, &Trellin::composite_rows, frame.height);
    finish_composite_last_row();
}

void Trellin::run_glass_passes()
{
    parallel_rows(this, &Trellin::build_height_rows, frame.height);
    finish_height_last_row();
    if (frame.chroma > 0.0001) {
        if (refract_alpha) {
            // Alpha goes through the undisplaced-thickness glass first.
            frame.pass_select = 0;
            guard_index();
            parallel_rows(this, &Trellin::refract_rows, frame.height);
            frame.pass_select = 4;
            parallel_rows(this, &Trellin::composite_rows, frame.height);
            finish_composite_last_row();
        }
        for (int k = 1; k <= 3; ++k)
            run_pass_pair(k);
    } else {
        run_pass_pair(0);
    }
}

void Trellin::render()
{
    ImageVx* in = input.image;
    ImageVx* out = output.image;
    frame.width = out->width;
    frame.height = out->height;
    if (abort_requested())
        return;
    const std::size_t block_bytes = std::size_t(frame.width) * std::size_t(frame.height) * 8;

    out->fill(0, 0, 0, 0);
    frame.cell_radius = static_cast<float>(param.cell_size.value * 0.2 * frame.width);
    frame.cell_map = ImageVx::create(frame.width, frame.height);
    if (!frame.cell_map) {
        // Without working storage the frame shows the input unchanged.
        std::memcpy(out->pixels, in->pixels, block_bytes);
    } else {
        frame.cell_map->fill(0, 0, 0, 0);
        draw_cell_map();
        if (param.show_map.value) {
            out->copy_colour_from(frame.cell_map);
        } else {
            std::memcpy(out->pixels, in->pixels, block_bytes);
            derive_frame_values();

            frame.height_buf = alloc_float_buffer(frame.width, frame.height);
            frame.sample_x_buf = alloc_float_buffer(frame.width, frame.height);
            frame.sample_y_buf = alloc_float_buffer(frame.width, frame.height);
            frame.highlight_buf = alloc_float_buffer(frame.width, frame.height);
            const bool buffers = frame.height_buf && frame.sample_x_buf && frame.sample_y_buf &&
                                 frame.highlight_buf;
            // The slope and footprint arithmetic needs two columns and three
            // rows; smaller pictures keep the input copy.
            const bool glass_fits = frame.width >= 2 && frame.height >= 3;
            frame.pyramid = buffers && glass_fits ? build_pyramid(in, frame.width, frame.height) : nullptr;
            if (frame.pyramid) {
                run_glass_passes();
                free_pyramid(frame.pyramid);
            }
            frame_free(frame.height_buf);
            frame_free(frame.sample_x_buf);
            frame_free(frame.sample_y_buf);
            frame_free(frame.highlight_buf);
        }
        delete frame.cell_map;
    }
    if (!refract_alpha)
        out->copy_alpha_from(in);
}

}  // namespace vx
