// The input picture and its successive 2 x 2 reductions, and the footprint
// sampler that averages the picture over a box of any size.
#pragma once

#include <array>
#include <cstdint>

#include "pixels/image_vx.h"

namespace vx {

// Level 0 is the picture's own pixel block (red, green, blue, alpha); levels
// 1..level_count are its successive 2 x 2 reductions, in one block of their
// own, in the same channel order.
struct SourcePyramid {
    static constexpr int max_levels = 20;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t level_count = 0;  // reduced levels 1..level_count
    const std::uint16_t* levels[max_levels] = {};
    std::int32_t level_width[max_levels] = {};
    std::int32_t level_height[max_levels] = {};
    float level_scale[max_levels] = {};
    std::uint16_t* reduced_block = nullptr;  // levels 1..level_count
    // Room for a copy of level 0 just before the reduced levels, when asked
    // for (so that all levels lie in one block); null otherwise.
    std::uint16_t* level0_room = nullptr;
    std::uint16_t* block = nullptr;  // the allocation holding both
};

// Edge modes of the sampler.
enum EdgeMode : int { edge_duplicate = 0, edge_black = 1, edge_wrap = 2 };

// Channel masks: bit k selects image channel k.
constexpr unsigned channels_all = 0xF;
constexpr unsigned channel_bit(int k)
{
    return 1u << k;
}

using Sample4 = std::array<std::uint16_t, 4>;

// Number of reduced levels of a picture whose smaller side is m pixels
// (0 for m of 2 or less, at most max_levels - 1).
int pyramid_level_count(int m);

// The pair of levels a box of `area` (above 1.0) is filtered from: `level`
// and `level` + 1, `weight` being the share of the upper one out of 16384.
// Needs a pyramid with at least one reduced level.
struct LevelBlend {
    int level;
    int weight;
};
LevelBlend level_blend(float area, int level_count);
// The largest area whose blend is level 0 alone (weight 0), for any level
// count: boxes up to it are filtered from level 0 like boxes of area 1 or
// less. Found once, by bisection over the float values above 1.
float level_blend_flat_limit();

// A pyramid for a width x height picture, its levels not yet filled, with
// room for a copy of level 0 before the reduced levels when asked. Null when
// an allocation fails (nothing is left allocated then).
SourcePyramid* allocate_pyramid(int width, int height, bool level0_room = false);
// Makes `image` (of the pyramid's size) level 0 and reduces it into the other
// levels, rows in parallel.
void fill_pyramid(SourcePyramid* pyramid, const ImageVx* image);
// Level `level` (>= 1) of the pyramid, rows first_row..last_row, from the
// level above it.
void reduce_pyramid_rows(SourcePyramid* pyramid, int level, int first_row, int last_row);
// Levels first_level..level_count from the levels above them, rows in parallel.
void reduce_pyramid_levels(SourcePyramid* pyramid, int first_level);
// allocate_pyramid and fill_pyramid in one.
SourcePyramid* build_pyramid(const ImageVx* image, int width, int height);
void free_pyramid(SourcePyramid* pyramid);

// Average of the picture over the box (x0, y0)-(x1, y1) in level-0 pixels,
// with the given edge mode; channels outside `mask` come back as 0.
Sample4 sample_area(const SourcePyramid* pyramid, float x0, float y0, float x1, float y1, int edge, unsigned mask);
// The box lookup under sample_area; a negative `area` is worked out from the box.
Sample4 sample_box(const SourcePyramid* pyramid, float x0, float y0, float x1, float y1, float area, unsigned mask);

}  // namespace vx
