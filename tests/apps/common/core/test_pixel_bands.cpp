// test-labels: threaded
// test-links: trellin_app_picture
// The colour handling's work shared out over the host's processors: bands
// cover every pixel once, and a float picture with samples above 1, below 0
// and not finite comes to the node and back the same, counts included,
// whatever the number of processors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>
#include <vector>

#include "apps/common/core/pixel_bands.h"
#include "apps/common/picture/picture_colour.h"
#include "host/smp_pool.h"

namespace {

using namespace trellin_app;

TEST(PixelBands, EveryPixelOnceInOrderAtAnyProcessorCount)
{
    for (int procs : {1, 2, 3, 7}) {
        smp_set_numprocs(procs);
        for (std::size_t pixels : {std::size_t(0), std::size_t(5), std::size_t(1) << 16, (std::size_t(1) << 16) + 3}) {
            std::vector<int> seen(pixels, 0);
            std::mutex lock;
            std::vector<std::pair<std::size_t, std::size_t>> bands(std::size_t(pixel_band_count(pixels)));
            for_pixel_bands(pixels, [&](int band, std::size_t first, std::size_t end) {
                for (std::size_t p = first; p < end; ++p) ++seen[p];
                std::lock_guard<std::mutex> hold(lock);
                bands[std::size_t(band)] = {first, end};
            });
            EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), std::ptrdiff_t(pixels)) << procs << " " << pixels;
            std::size_t next = 0;
            for (const auto& [first, end] : bands) {
                EXPECT_EQ(first, next);
                next = end;
            }
            EXPECT_EQ(next, pixels);
        }
    }
    smp_set_numprocs(1);
}

struct Converted {
    std::vector<std::uint16_t> to_node, above, below, back;
    std::vector<float> alpha, samples;
    float above_scale = 0, below_scale = 0;
    ClipCount in, out;
};

// A 512 x 300 float picture through the colour handling in `mode`, as
// trellin render takes an OpenEXR and writes one (premultiplied).
Converted convert(HdrMode mode)
{
    const int w = 512, h = 300;
    std::vector<float> plate(std::size_t(w) * h * 4);
    for (std::size_t i = 0; i < plate.size(); ++i) plate[i] = float(int(i * 2654435761u % 4001) - 1000) / 1000.0f;
    plate[7] = std::numeric_limits<float>::quiet_NaN();
    plate[plate.size() - 2] = std::numeric_limits<float>::infinity();
    plate[plate.size() / 2 + 3] = -std::numeric_limits<float>::infinity();  // an alpha
    RenderOptions options;
    options.hdr = mode;
    const PictureColour colour(options);
    PictureSource source;
    source.float_samples = true;
    source.associated_alpha = true;
    source.samples = plate;
    NodeFrame frame = colour.to_node(HostPicture(w, h, 4), source, "plate");
    Converted c;
    c.to_node = frame.picture.data;
    c.above = frame.parts.above.data;
    c.below = frame.parts.below.data;
    c.above_scale = frame.parts.above_scale;
    c.below_scale = frame.parts.below_scale;
    c.alpha = frame.alpha;
    c.in = frame.clipped;
    OutputFrame out = colour.from_node(frame.picture, frame, linear_space, {"openexr", true, true},
                                       frame.parts.empty() ? nullptr : &frame.parts);
    c.back = out.picture.data;
    c.samples = out.samples;
    c.out = out.clipped;
    return c;
}

void expect_same(const ClipCount& a, const ClipCount& b)
{
    EXPECT_EQ(a.clipped, b.clipped);
    EXPECT_EQ(a.non_finite, b.non_finite);
    EXPECT_EQ(a.total, b.total);
    EXPECT_EQ(a.lowest, b.lowest);
    EXPECT_EQ(a.highest, b.highest);
    EXPECT_EQ(a.alpha_clipped, b.alpha_clipped);
    EXPECT_EQ(a.alpha_non_finite, b.alpha_non_finite);
    EXPECT_EQ(a.alpha_total, b.alpha_total);
    EXPECT_EQ(a.alpha_lowest, b.alpha_lowest);
    EXPECT_EQ(a.alpha_highest, b.alpha_highest);
}

TEST(PixelBands, FloatPicturesConvertTheSameOnOneProcessorAndOnMany)
{
    for (HdrMode mode : {HdrMode::split, HdrMode::none, HdrMode::log}) {
        smp_set_numprocs(1);
        const Converted one = convert(mode);
        smp_set_numprocs(3);
        const Converted many = convert(mode);
        smp_set_numprocs(1);
        EXPECT_TRUE(one.to_node == many.to_node);
        EXPECT_TRUE(one.above == many.above && one.below == many.below);
        EXPECT_EQ(one.above_scale, many.above_scale);
        EXPECT_EQ(one.below_scale, many.below_scale);
        EXPECT_TRUE(one.alpha == many.alpha);
        EXPECT_TRUE(one.back == many.back);
        ASSERT_EQ(one.samples.size(), many.samples.size());
        EXPECT_EQ(std::memcmp(one.samples.data(), many.samples.data(), one.samples.size() * sizeof(float)), 0);
        expect_same(one.in, many.in);
        expect_same(one.out, many.out);
        // One colour sample and two alpha samples, counted apart.
        EXPECT_EQ(one.in.non_finite, 1);
        EXPECT_EQ(one.in.alpha_non_finite, 2);
    }
}

}  // namespace
