// The height buffer: the cell map read as brightness, averaged over 2 x 2
// pixels, optionally inverted and mapped onto the range between the black and
// white heights.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "effect/reference/passes.h"

namespace vx {

namespace {

// 1 / (40 * 32767): four full-intensity pixels weighted 3 + 5 + 2 give just
// under 1.0.
const float brightness_scale = std::bit_cast<float>(std::uint32_t(0x354cce66));

// Weighted brightness of one map pixel, red : green : blue as 3 : 5 : 2.
inline int brightness(const std::uint16_t* pixel)
{
    return 3 * pixel[0] + 5 * pixel[1] + 2 * pixel[2];
}

}  // namespace

// Each height sits half a pixel right of and below the map pixel it starts
// from, so the worker reads one row and one column ahead: it computes rows
// first_row..min(last_row, H - 2) and columns 0..W - 2, and repeats column
// W - 2 into W - 1. Row H - 1 repeats row H - 2; the worker copies it only
// when its band holds both rows, because another band may still be writing
// row H - 2 otherwise. finish_height_last_row makes the copy after the pass in
// every case.
//
// A picture one pixel wide or high has no neighbour to average with: there
// the missing neighbour is the pixel itself (the edge repeats).
void build_height_rows(const FrameState& frame, int first_row, int last_row)
{
    const int w = frame.width;
    const int h = frame.height;
    const ImageVx* map = frame.cell_map;
    float* out = frame.height_buf;
    if (w <= 0 || h <= 0 || !map || !out || first_row > last_row) return;

    const float b = frame.black_height > 0.0f ? frame.black_height : 0.0f;
    const float white = frame.white_height > 0.0f ? frame.white_height : 0.0f;
    const float range = std::fabs(white - b);
    const bool invert = frame.invert_map != 0;

    const int first = std::max(first_row, 0);
    const int last = std::min(last_row, h >= 2 ? h - 2 : h - 1);
    const int last_col = w >= 2 ? w - 2 : 0;
    const int next_col = w >= 2 ? 4 : 0;  // sample offset of the right neighbour

    for (int y = first; y <= last; ++y) {
        if (frame.aborted()) return;
        const std::uint16_t* top = map->rows[y];
        const std::uint16_t* bottom = map->rows[y + 1 < h ? y + 1 : y];
        float* row = out + std::size_t(y) * w;
        for (int x = 0; x <= last_col; ++x) {
            const std::size_t at = 4 * std::size_t(x);
            const int s = brightness(top + at) + brightness(top + at + next_col) + brightness(bottom + at) +
                          brightness(bottom + at + next_col);
            float v = float(s) * brightness_scale;
            if (invert) v = 1.0f - v;
            row[x] = v * range + b;
        }
        if (w >= 2) row[w - 1] = row[w - 2];
    }

    if (h >= 2 && last_row == h - 1 && first_row <= h - 2)
        std::memcpy(out + std::size_t(h - 1) * w, out + std::size_t(h - 2) * w, std::size_t(w) * sizeof(float));
}

void finish_height_last_row(const FrameState& frame)
{
    const int w = frame.width;
    const int h = frame.height;
    float* out = frame.height_buf;
    if (w <= 0 || h < 2 || !out) return;
    std::memcpy(out + std::size_t(h - 1) * w, out + std::size_t(h - 2) * w, std::size_t(w) * sizeof(float));
}

}  // namespace vx
