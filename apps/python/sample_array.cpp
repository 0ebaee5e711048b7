#include "apps/python/sample_array.h"

// Half floats are converted arithmetically (no table from the Imath library
// needed), rounding to the nearest as OpenImageIO does when it writes half
// float files.
#define IMATH_HALF_NO_LOOKUP_TABLE
#include <Imath/half.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "apps/common/core/pixel_bands.h"
#include "apps/common/core/sample_convert.h"

namespace trellin_python {

namespace {

template <class T>
T load(const unsigned char* at)
{
    T v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

template <class T>
void store(unsigned char* at, T v)
{
    std::memcpy(at, &v, sizeof v);
}

// Every sample of the array with its place in the picture's packed samples,
// in bands of rows at once on the host's processors (each sample's
// conversion is the same whichever band holds it). The conversion is a
// template argument so that it is inlined into the loop.
template <class Visit>
void for_each_sample(const SampleArray& samples, Visit&& visit)
{
    const std::size_t row_samples = std::size_t(samples.width) * std::size_t(samples.channels);
    trellin_app::for_row_bands(samples.height, samples.width, [&](int first, int end) {
        std::size_t i = std::size_t(first) * row_samples;
        auto* rows = static_cast<unsigned char*>(samples.data) + std::ptrdiff_t(first) * samples.row_stride;
        for (int y = first; y < end; ++y, rows += samples.row_stride) {
            unsigned char* pixel = rows;
            for (int x = 0; x < samples.width; ++x, pixel += samples.pixel_stride) {
                unsigned char* sample = pixel;
                for (int k = 0; k < samples.channels; ++k, sample += samples.sample_stride) visit(sample, i++);
            }
        }
    });
}

// Calls fn(at, count) for bands of the picture's packed samples (whole
// pixels), at once on the host's processors.
template <class Fn>
void for_sample_bands(const SampleArray& samples, const Fn& fn)
{
    const std::size_t c = std::size_t(samples.channels);
    trellin_app::for_pixel_bands(std::size_t(samples.width) * std::size_t(samples.height),
                                 [&](int, std::size_t first, std::size_t end) { fn(first * c, (end - first) * c); });
}

// True when the array's samples lie packed, row after row, as the picture's do.
bool packed(const SampleArray& samples, std::size_t sample_size)
{
    const auto size = static_cast<std::ptrdiff_t>(sample_size);
    return samples.sample_stride == size && samples.pixel_stride == size * samples.channels &&
           samples.row_stride == samples.pixel_stride * samples.width;
}

// Calls body(read, write) with the sample type's conversions: reading a sample
// as 16 bits, and writing 16 bits as a sample.
template <class Body>
void with_conversion(SampleType type, Body&& body)
{
    using namespace trellin_app;
    switch (type) {
    case SampleType::uint8:
        return body([](const unsigned char* at) { return from_8bit(load<std::uint8_t>(at)); },
                    [](unsigned char* at, std::uint16_t v) { store(at, to_8bit(v)); });
    case SampleType::uint16:
        return body([](const unsigned char* at) { return load<std::uint16_t>(at); },
                    [](unsigned char* at, std::uint16_t v) { store(at, v); });
    case SampleType::half:
        return body(
            [](const unsigned char* at) {
                Imath::half h;
                h.setBits(load<std::uint16_t>(at));
                return from_unit_float(static_cast<float>(h));
            },
            [](unsigned char* at, std::uint16_t v) { store(at, Imath::half(to_unit_float(v)).bits()); });
    case SampleType::float32:
        return body([](const unsigned char* at) { return from_unit_float(load<float>(at)); },
                    [](unsigned char* at, std::uint16_t v) { store(at, to_unit_float(v)); });
    case SampleType::float64:
        return body([](const unsigned char* at) { return from_unit_float(static_cast<float>(load<double>(at))); },
                    [](unsigned char* at, std::uint16_t v) { store(at, static_cast<double>(to_unit_float(v))); });
    }
}

}  // namespace

void picture_from_samples(const SampleArray& samples, trellin_app::HostPicture& picture)
{
    if (picture.width != samples.width || picture.height != samples.height || picture.samples != samples.channels)
        picture = trellin_app::HostPicture(samples.width, samples.height, samples.channels);
    std::uint16_t* out = picture.data.data();
    // Packed integer arrays convert in loops that vectorise.
    if (samples.type == SampleType::uint8 && packed(samples, 1)) {
        const auto* in = static_cast<const std::uint8_t*>(samples.data);
        return for_sample_bands(
            samples, [&](std::size_t at, std::size_t n) { trellin_app::from_8bit_samples(in + at, out + at, n); });
    }
    if (samples.type == SampleType::uint16 && packed(samples, 2)) {
        const auto* in = static_cast<const std::uint16_t*>(samples.data);
        return for_sample_bands(
            samples, [&](std::size_t at, std::size_t n) { std::memcpy(out + at, in + at, n * sizeof(std::uint16_t)); });
    }
    with_conversion(samples.type, [&](auto read, auto) {
        for_each_sample(samples, [&](const unsigned char* sample, std::size_t i) { out[i] = read(sample); });
    });
}

void samples_from_picture(const trellin_app::HostPicture& picture, const SampleArray& samples)
{
    if (picture.width != samples.width || picture.height != samples.height || picture.samples != samples.channels)
        throw std::logic_error("samples_from_picture: the picture and the array differ in size");
    const std::uint16_t* in = picture.data.data();
    if (samples.type == SampleType::uint8 && packed(samples, 1)) {
        auto* out = static_cast<std::uint8_t*>(samples.data);
        return for_sample_bands(
            samples, [&](std::size_t at, std::size_t n) { trellin_app::to_8bit_samples(in + at, out + at, n); });
    }
    if (samples.type == SampleType::uint16 && packed(samples, 2)) {
        auto* out = static_cast<std::uint16_t*>(samples.data);
        return for_sample_bands(
            samples, [&](std::size_t at, std::size_t n) { std::memcpy(out + at, in + at, n * sizeof(std::uint16_t)); });
    }
    with_conversion(samples.type, [&](auto, auto write) {
        for_each_sample(samples, [&](unsigned char* sample, std::size_t i) { write(sample, in[i]); });
    });
}

std::vector<float> floats_from_samples(const SampleArray& samples, long long* beyond_range)
{
    std::atomic<long long> beyond{0};  // the bands run at once
    if (samples.type != SampleType::half && samples.type != SampleType::float32 && samples.type != SampleType::float64)
        throw std::logic_error("floats_from_samples: not a float array");
    std::vector<float> values(std::size_t(samples.width) * std::size_t(samples.height) * std::size_t(samples.channels));
    const SampleType type = samples.type;
    // float64 samples are taken as float32, as files of that depth are.
    for_each_sample(samples, [&](const unsigned char* sample, std::size_t i) {
        if (type == SampleType::half) {
            Imath::half h;
            h.setBits(load<std::uint16_t>(sample));
            values[i] = static_cast<float>(h);
        } else if (type == SampleType::float64) {
            const double v = load<double>(sample);
            constexpr double largest = std::numeric_limits<float>::max();
            if (std::isfinite(v) && (v > largest || v < -largest)) {
                if (samples.channels != 4 || i % 4 != 3) beyond.fetch_add(1, std::memory_order_relaxed);
                values[i] = v > 0.0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
            } else {
                values[i] = static_cast<float>(v);
            }
        } else {
            values[i] = load<float>(sample);
        }
    });
    if (beyond_range != nullptr) *beyond_range = beyond.load();
    return values;
}

void samples_from_floats(const std::vector<float>& values, const SampleArray& samples)
{
    if (samples.type != SampleType::half && samples.type != SampleType::float32 && samples.type != SampleType::float64)
        throw std::logic_error("samples_from_floats: not a float array");
    const SampleType type = samples.type;
    for_each_sample(samples, [&](unsigned char* sample, std::size_t i) {
        if (type == SampleType::half) {
            constexpr float largest = 65504.0f;
            const float v = std::clamp(values[i], -largest, largest);
            store(sample, Imath::half(v).bits());
        } else if (type == SampleType::float64) {
            store(sample, static_cast<double>(values[i]));
        } else {
            store(sample, values[i]);
        }
    });
}

}  // namespace trellin_python
