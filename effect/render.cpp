#include <cstring>

#include "effect/fast/frame.h"
#include "effect/kernel_choice.h"
#include "effect/reference/passes.h"
#include "effect/trellin.h"
#include "pixels/image_exchange.h"
#include "pixels/parallel_rows.h"

namespace vx {

namespace {

// Runs a row worker of the passes over every row of the frame.
template <class Pass>
void run_rows(const FrameState& f, Pass pass)
{
    parallel_rows(f.height, [&f, pass](int first_row, int last_row) { pass(f, first_row, last_row); });
}

void run_pass_pair(const FrameState& frame, int pass)
{
    const FrameState f = for_pass(frame, pass);
    run_rows(f, refract_rows);
    run_rows(f, composite_rows);
    finish_composite_last_row(f);
}

void run_glass_passes(const FrameState& f, bool refract_alpha)
{
    run_rows(f, build_height_rows);
    finish_height_last_row(f);
    if (f.chroma > 0.0001) {
        if (refract_alpha) {
            // Alpha goes through the undisplaced-thickness glass first.
            run_rows(for_pass(f, 0), refract_rows);
            const FrameState alpha = for_pass(f, 4);
            run_rows(alpha, composite_rows);
            finish_composite_last_row(alpha);
        }
        for (int k = 1; k <= 3; ++k) run_pass_pair(f, k);
    } else {
        run_pass_pair(f, 0);
    }
}

void copy_pixels(ImageVx* out, const ImageVx* in)
{
    std::memcpy(out->pixels, in->pixels, std::size_t(out->width) * std::size_t(out->height) * 8);
}

}  // namespace

bool Trellin::render(const RenderRequest& request)
{
    const ImageVx* in = request.input;
    ImageVx* out = request.output;
    const bool refract_alpha = request.refract_alpha;
    // Cancelled: nothing is touched, the host's output stays as it was.
    if (abort_requested()) return true;

    FrameState f = derive_frame_state(param, out->width, out->height);
    f.input = in;
    f.output = out;
    f.owner = this;

    if (request.kernels == Kernels::fast) {
        FastFrame frame{
            f, request.input, storage, request.show_map, refract_alpha, request.unread_input, request.host_output};
        if (render_fast(frame)) return frame.host_written;
    }
    if (request.unread_input) read_host_image(request.unread_input, request.input);

    storage.set_size(f.width, f.height);
    if (!storage.need_cell_map()) {
        // Without working storage the frame shows the input unchanged.
        copy_pixels(out, in);
    } else {
        f.cell_map = storage.cell_map;
        f.cell_map->fill(0, 0, 0, 0);
        run_rows(f, cell_map_rows);
        if (request.show_map) {
            out->copy_colour_from(f.cell_map);
            if (refract_alpha) out->fill_alpha(0);
        } else {
            copy_pixels(out, in);
            // The slope and footprint arithmetic needs two columns and three
            // rows; smaller pictures keep the input copy.
            if (f.width >= 2 && f.height >= 3 && storage.need_float_buffers() && storage.need_pyramid()) {
                f.height_buf = storage.height_buf;
                f.sample_x_buf = storage.sample_x_buf;
                f.sample_y_buf = storage.sample_y_buf;
                f.highlight_buf = storage.highlight_buf;
                fill_pyramid(storage.pyramid, in);
                f.pyramid = storage.pyramid;
                run_glass_passes(f, refract_alpha);
            }
        }
    }
    if (!refract_alpha) out->copy_alpha_from(in);
    return false;
}

}  // namespace vx
