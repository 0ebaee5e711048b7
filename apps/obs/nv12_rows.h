// Rows of NV12 frames (the usual camera format) between the frame and the
// node's 16-bit samples, compiled for every instruction set Highway reaches
// and chosen at run time. Each gives exactly the samples the per-pixel
// conversions of frame_colour.cpp give (the same operations in the same
// order, no fused multiply-add).
#pragma once

#include <cstdint>

namespace trellin_obs {

// The maps of a frame in single precision: rgb = to_rgb * (y, u, v, 1), the
// range its samples are clamped to, and yuv = to_yuv * (r, g, b, 1).
struct Nv12Maps {
    float to_rgb[3][4];
    float to_yuv[3][4];
    float minimum[3];
    float maximum[3];
};

// One picture row: `luma` (width bytes) and its chroma row (U and V
// interleaved, one pair for two pixels) into width * 3 samples.
void nv12_row_to_words(const std::uint8_t* luma, const std::uint8_t* chroma, int width, const Nv12Maps& maps,
                       std::uint16_t* out);

// Two picture rows of width * 3 samples (`row1` null for a last row alone)
// into their luma rows and the chroma row they share: the chroma of each
// block's average colour.
void words_to_nv12_rows(const std::uint16_t* row0, const std::uint16_t* row1, int width, const Nv12Maps& maps,
                        std::uint8_t* luma0, std::uint8_t* luma1, std::uint8_t* chroma);

}  // namespace trellin_obs
