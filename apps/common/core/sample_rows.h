// Rows of samples between floats in 0..1 and the node's 16-bit samples, and
// between planes and interleaved pixels, compiled for every instruction set
// Highway reaches and chosen at run time. Each gives exactly what the
// per-sample conversions of sample_convert.h give (no fused multiply-add,
// the same order of operations).
#pragma once

#include <cstddef>
#include <cstdint>

namespace trellin_app {

// `n` floats into 16-bit samples as from_unit_float converts those within
// 0..1. False, with `out` unusable, when a sample is not a number within
// 0..1: such rows need the clipping and counting of the colour handling.
bool unit_floats_to_words(const float* in, std::size_t n, std::uint16_t* out);

// `n` 16-bit samples as floats, as to_unit_float converts them.
void words_to_unit_floats(const std::uint16_t* in, std::size_t n, float* out);

// `n` pixels from a plane each of red, green, blue and (unless `a` is null)
// alpha into interleaved RGB or RGBA.
void interleave_rgb(const std::uint16_t* r, const std::uint16_t* g, const std::uint16_t* b, const std::uint16_t* a,
                    std::size_t n, std::uint16_t* out);

// `n` interleaved RGB pixels (RGBA unless `a` is null) into planes.
void split_rgb(const std::uint16_t* in, std::size_t n, std::uint16_t* r, std::uint16_t* g, std::uint16_t* b,
               std::uint16_t* a);

// The rounded mean of each pair of neighbouring samples, (in[2i] + in[2i+1]
// + 1) >> 1, for `pairs` pairs.
void pair_means(const std::uint16_t* in, std::size_t pairs, std::uint16_t* out);

// `n` pixels of four bytes into 16-bit samples, interleaved, as from_8bit
// widens them: sample c (of `samples`, 3 or 4) is byte `offsets[c]` of its
// pixel (0..3, all different).
void pixel_bytes_to_words(const std::uint8_t* in, std::size_t n, const int offsets[4], int samples, std::uint16_t* out);

// The other way, as to_8bit rounds; with 3 samples, the byte of each pixel
// that none of them takes is written as 255.
void pixel_words_to_bytes(const std::uint16_t* in, std::size_t n, const int offsets[4], int samples, std::uint8_t* out);

}  // namespace trellin_app
