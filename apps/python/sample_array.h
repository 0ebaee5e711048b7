// Pictures as NumPy holds them: height x width x channels samples of one
// type, laid out by byte strides, converted to and from the host's 16-bit
// pictures exactly as `trellin` converts files of the same depth.
#pragma once

#include <cstddef>
#include <vector>

#include "apps/common/core/host_picture.h"

namespace trellin_python {

// The sample types a picture array may hold.
enum class SampleType { uint8, uint16, half, float32, float64 };

struct SampleArray {
    SampleType type = SampleType::uint16;
    int height = 0;
    int width = 0;
    int channels = 0;  // 3 (colour) or 4 (colour and alpha)
    // Bytes from one row, pixel and sample to the next.
    std::ptrdiff_t row_stride = 0;
    std::ptrdiff_t pixel_stride = 0;
    std::ptrdiff_t sample_stride = 0;
    void* data = nullptr;
};

// The largest picture the node takes: width * height * 4 samples must stay
// below 2^31.
inline constexpr long long max_pixels = 0x7fffffffLL / 4;

// The samples into a host picture, whose memory is reused when it has their
// size: 8-bit samples widened by 257, 16-bit ones as they are, floats clamped
// to 0..1 and scaled to 0..65535 (NaN becomes 0; doubles are first narrowed
// to float, so a float64 array converts exactly as the same float32 one).
void picture_from_samples(const SampleArray& samples, trellin_app::HostPicture& picture);

// Writes `picture` (of the array's size and channels) into the array: 8-bit
// samples rounded to the nearest step, 16-bit as they are, floats as the
// 16-bit value over 65535 (half floats rounded to the nearest half).
void samples_from_picture(const trellin_app::HostPicture& picture, const SampleArray& samples);

// The samples of a float array (half, float32 or float64) as they stand,
// packed. float64 samples are taken as float32: those beyond its range
// become infinities, and `beyond_range` (when given) counts them.
std::vector<float> floats_from_samples(const SampleArray& samples, long long* beyond_range = nullptr);

// Writes packed floats into a float array (half or float32). Values beyond
// the largest half (65504) are written as it, so none becomes infinite.
void samples_from_floats(const std::vector<float>& values, const SampleArray& samples);

}  // namespace trellin_python
