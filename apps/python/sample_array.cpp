#include "apps/python/sample_array.h"

// Half floats are converted arithmetically (no table from the Imath library
// needed), rounding to the nearest as OpenImageIO does when it writes half
// float files.
#define IMATH_HALF_NO_LOOKUP_TABLE
#include <Imath/half.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "apps/common/sample_convert.h"

namespace trellin_python {

namespace {

template <class T> T load(const unsigned char* at)
{
    T v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

template <class T> void store(unsigned char* at, T v) { std::memcpy(at, &v, sizeof v); }

// One sample type: reading a sample as 16 bits and writing 16 bits as a sample.
struct Conversion {
    std::uint16_t (*read)(const unsigned char*);
    void (*write)(unsigned char*, std::uint16_t);
};

const Conversion& conversion(SampleType type)
{
    using namespace trellin_app;
    static const Conversion table[] = {
        {[](const unsigned char* at) { return from_8bit(load<std::uint8_t>(at)); },
         [](unsigned char* at, std::uint16_t v) { store(at, to_8bit(v)); }},
        {[](const unsigned char* at) { return load<std::uint16_t>(at); },
         [](unsigned char* at, std::uint16_t v) { store(at, v); }},
        {[](const unsigned char* at) {
             Imath::half h;
             h.setBits(load<std::uint16_t>(at));
             return from_unit_float(static_cast<float>(h));
         },
         [](unsigned char* at, std::uint16_t v) { store(at, Imath::half(to_unit_float(v)).bits()); }},
        {[](const unsigned char* at) { return from_unit_float(load<float>(at)); },
         [](unsigned char* at, std::uint16_t v) { store(at, to_unit_float(v)); }},
    };
    return table[static_cast<int>(type)];
}

}  // namespace

trellin_app::HostPicture picture_from_samples(const SampleArray& samples)
{
    trellin_app::HostPicture picture(samples.width, samples.height, samples.channels);
    const Conversion& c = conversion(samples.type);
    std::uint16_t* out = picture.data.data();
    const auto* rows = static_cast<const unsigned char*>(samples.data);
    for (int y = 0; y < samples.height; ++y, rows += samples.row_stride) {
        const unsigned char* pixel = rows;
        for (int x = 0; x < samples.width; ++x, pixel += samples.pixel_stride) {
            const unsigned char* sample = pixel;
            for (int k = 0; k < samples.channels; ++k, sample += samples.sample_stride) *out++ = c.read(sample);
        }
    }
    return picture;
}

void samples_from_picture(const trellin_app::HostPicture& picture, const SampleArray& samples)
{
    if (picture.width != samples.width || picture.height != samples.height || picture.samples != samples.channels)
        throw std::logic_error("samples_from_picture: the picture and the array differ in size");
    const Conversion& c = conversion(samples.type);
    const std::uint16_t* in = picture.data.data();
    auto* rows = static_cast<unsigned char*>(samples.data);
    for (int y = 0; y < samples.height; ++y, rows += samples.row_stride) {
        unsigned char* pixel = rows;
        for (int x = 0; x < samples.width; ++x, pixel += samples.pixel_stride) {
            unsigned char* sample = pixel;
            for (int k = 0; k < samples.channels; ++k, sample += samples.sample_stride) c.write(sample, *in++);
        }
    }
}

}  // namespace trellin_python
