// Pictures read into storage lent by an earlier frame (another size, stale
// samples) come out as a fresh read makes them, whatever the file's layout
// and samples; and OpenEXR's half samples are written as the library itself
// converts floats into halves.
// test-links: trellin_app_picture
#include <gtest/gtest.h>

#include <OpenImageIO/imageio.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <limits>
#include <string>
#include <unistd.h>
#include <vector>

#include "apps/common/core/sample_convert.h"
#include "apps/common/picture/image_io.h"
#include "support/scratch_dir.h"

namespace {

using namespace trellin_app;
namespace fs = std::filesystem;

class ImageIo : public testkit::ScratchDirTest {
protected:
    // A `width` x `height` file of `channels` noise samples stored as `type`;
    // float files also hold samples outside 0..1 and a NaN.
    std::string make(const std::string& name, int width, int height, int channels, OIIO::TypeDesc type)
    {
        const std::string path = (dir / name).string();
        std::vector<float> f(std::size_t(width) * std::size_t(height) * std::size_t(channels));
        std::uint32_t state = std::uint32_t(name.size() * 7919);
        for (float& v : f) v = float((state = state * 1664525u + 1013904223u) >> 8) / float(1 << 24);
        if (type.is_floating_point()) {
            f[0] = 2.5f;
            f[1] = -0.25f;
            f[2] = std::numeric_limits<float>::quiet_NaN();
        }
        auto out = OIIO::ImageOutput::create(path);
        EXPECT_TRUE(out && out->open(path, OIIO::ImageSpec(width, height, channels, type))) << OIIO::geterror();
        EXPECT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, f.data()));
        out->close();
        return path;
    }
};

bool same_bits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
}

TEST_F(ImageIo, ReadingIntoLentStorageGivesWhatAFreshReadGives)
{
    using T = OIIO::TypeDesc;
    const std::string files[] = {
        make("rgb-half.exr", 40, 30, 3, T::HALF),    make("rgba-float.exr", 64, 20, 4, T::FLOAT),
        make("grey-half.exr", 40, 30, 1, T::HALF),   make("grey-alpha.tif", 33, 7, 2, T::UINT16),
        make("rgb-16.tif", 64, 20, 3, T::UINT16),    make("rgba-8.png", 40, 30, 4, T::UINT8),
        make("grey-float.tif", 64, 20, 1, T::FLOAT),
    };
    for (const std::string& file : files) {
        PictureSource fresh_source;
        const HostPicture fresh = read_picture(file, &fresh_source);
        for (const std::string& donor : files) {
            // Storage a frame of another file leaves: its size, stale samples.
            PictureSource source;
            HostPicture storage = read_picture(donor, &source);
            for (std::uint16_t& s : storage.data) s = 0xabcd;
            source.samples.assign(source.samples.size() + 5, -7.0f);
            const HostPicture lent = read_picture(file, &source, std::move(storage));
            SCOPED_TRACE(file + " into the storage of " + donor);
            EXPECT_EQ(lent.width, fresh.width);
            EXPECT_EQ(lent.height, fresh.height);
            EXPECT_EQ(lent.samples, fresh.samples);
            EXPECT_EQ(lent.pixel_aspect, fresh.pixel_aspect);
            EXPECT_EQ(lent.attributes == nullptr, fresh.attributes == nullptr);
            EXPECT_TRUE(lent.data == fresh.data);
            EXPECT_EQ(source.float_samples, fresh_source.float_samples);
            EXPECT_TRUE(same_bits(source.samples, fresh_source.samples));
        }
    }
}

TEST_F(ImageIo, HalfSamplesAreTheLibrarysOwnConversion)
{
    // Floats around every edge of half: zero of either sign, below its
    // smallest step, subnormal, a hair under a half step, its largest, past
    // it, beyond 0..1 both ways; and the 16-bit samples' own floats.
    const float edges[] = {0.0f,     -0.0f,  1e-9f,   3e-8f, 6.0e-5f, 6.2e-5f, 0.1f,    1.0f / 3.0f,
                           0.99951f, 1.0f,   1.0004f, 2.5f,  -3.0f,   65504.f, 65520.f, 1e6f,
                           -1e6f,    1e-30f, 0.5f,    0.25f, 7.0f,    -0.001f, 4097.f,  123.456f};
    constexpr int width = 24, height = 5;
    HostPicture picture(width, height, 4);
    std::vector<float> floats(picture.data.size());
    for (std::size_t i = 0; i < floats.size(); ++i) {
        floats[i] = edges[i % std::size(edges)] * (1.0f + float(i / std::size(edges)) / 64.0f);
        picture.data[i] = std::uint16_t(i * 2654435761u >> 16);
    }
    for (const bool from_floats : {true, false}) {
        SCOPED_TRACE(from_floats ? "float samples" : "16-bit samples");
        WriteOptions options;
        if (from_floats) options.float_samples = &floats;
        const std::string ours = (dir / "ours.exr").string(), theirs = (dir / "theirs.exr").string();
        write_picture(picture, ours, options);
        std::vector<float> given(floats.size());
        for (std::size_t i = 0; i < given.size(); ++i)
            given[i] = from_floats ? floats[i] : to_unit_float(picture.data[i]);
        auto out = OIIO::ImageOutput::create(theirs);
        ASSERT_TRUE(out && out->open(theirs, OIIO::ImageSpec(width, height, 4, OIIO::TypeDesc::HALF)));
        ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, given.data()));
        out->close();

        std::vector<std::uint16_t> a(floats.size()), b(floats.size());
        auto in = OIIO::ImageInput::open(ours);
        ASSERT_TRUE(in && in->read_image(0, 0, 0, 4, OIIO::TypeDesc::HALF, a.data()));
        in = OIIO::ImageInput::open(theirs);
        ASSERT_TRUE(in && in->read_image(0, 0, 0, 4, OIIO::TypeDesc::HALF, b.data()));
        for (std::size_t i = 0; i < a.size(); ++i) ASSERT_EQ(a[i], b[i]) << "sample " << i << " from " << given[i];
    }
}

}  // namespace
