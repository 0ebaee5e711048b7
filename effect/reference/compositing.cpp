// The compositing pass: each output pixel is the source averaged over the
// footprint its refracted positions span, lit by the highlight and dimmed by
// "Back Bright", written into the channels of the current channel pass.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "effect/reference/passes.h"
#include "effect/pixel_math.h"

namespace vx {

namespace {

inline float min4(float a, float b, float c, float d)
{
    return std::min(std::min(a, b), std::min(c, d));
}
inline float max4(float a, float b, float c, float d)
{
    return std::max(std::max(a, b), std::max(c, d));
}

}  // namespace

void composite_rows(const FrameState& f, int first_row, int last_row)
{
    const int width = f.width;
    const int height = f.height;
    const int pass = f.pass_select;
    if (pass < 0 || pass > 4) return;
    ImageVx* out = f.output;
    const std::size_t stride = static_cast<std::size_t>(width);

    // Pass 0 samples and writes all four channels; passes 1..3 channel
    // pass - 1, pass 4 channel 3 (alpha), which is never lit.
    const int channel = f.channel;
    const unsigned mask = f.channel_mask;
    const bool lit = f.lit;
    const bool lit_channel = lit && channel >= 0 && channel < 3;
    const int edge = f.edge_mode - 1;
    const float back = f.back_bright;
    // Samples copied from the neighbouring column at both picture edges.
    const int copy_first = pass == 4 ? 3 : 0;
    const int copy_count = pass == 0 ? 4 : (pass == 3 ? 3 : (pass == 4 ? 1 : 0));

    const int end = std::min(last_row, height - 2);
    for (int y = first_row; y <= end; ++y) {
        if (f.aborted()) return;
        const float* sx0 = f.sample_x_buf + static_cast<std::size_t>(y) * stride;
        const float* sx1 = sx0 + stride;
        const float* sy0 = f.sample_y_buf + static_cast<std::size_t>(y) * stride;
        const float* sy1 = sy0 + stride;
        const float* hl = f.highlight_buf + static_cast<std::size_t>(y) * stride;
        std::uint16_t* row = out->rows[y];

        for (int x = 1; x <= width - 2; ++x) {
            // The footprint: x from columns x - 1 and x, y from columns x and
            // x + 1, both from this row and the next.
            const float x0 = min4(sx0[x - 1], sx0[x], sx1[x - 1], sx1[x]);
            const float x1 = max4(sx0[x - 1], sx0[x], sx1[x - 1], sx1[x]);
            const float y0 = min4(sy0[x], sy0[x + 1], sy1[x], sy1[x + 1]);
            const float y1 = max4(sy0[x], sy0[x + 1], sy1[x], sy1[x + 1]);
            const Sample4 s = sample_area(f.pyramid, x0, y0, x1, y1, edge, mask);
            std::uint16_t* px = row + static_cast<std::size_t>(x) * 4;
            if (pass == 0) {
                if (lit) {
                    const float h = hl[x];
                    px[0] = lit_value(f.light_colour[0], h, s[0], back);
                    px[1] = lit_value(f.light_colour[1], h, s[1], back);
                    px[2] = lit_value(f.light_colour[2], h, s[2], back);
                } else {
                    px[0] = s[0];
                    px[1] = s[1];
                    px[2] = s[2];
                }
                px[3] = s[3];
            } else if (lit_channel) {
                px[channel] = lit_value(f.light_colour[channel], hl[x], s[channel], back);
            } else {
                px[channel] = s[channel];
            }
        }

        // Column W - 1 repeats column W - 2, then column 0 repeats column 1.
        if (width < 2) continue;
        std::uint16_t* last = row + static_cast<std::size_t>(width - 1) * 4;
        std::uint16_t* first = row;
        for (int c = copy_first; c < copy_first + copy_count; ++c) {
            last[c] = last[c - 4];
            first[c] = first[c + 4];
        }
    }

    // The last row repeats the finished row above it, when this band computed
    // that row; otherwise finish_composite_last_row does it after the pass.
    if (last_row == height - 1 && first_row <= height - 2) finish_composite_last_row(f);
}

void finish_composite_last_row(const FrameState& f)
{
    ImageVx* out = f.output;
    const int height = f.height;
    if (out == nullptr || height < 2) return;
    std::memcpy(out->rows[height - 1], out->rows[height - 2],
                static_cast<std::size_t>(f.width) * 4 * sizeof(std::uint16_t));
}

}  // namespace vx
