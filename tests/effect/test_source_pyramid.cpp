// test-labels: threaded
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "effect/source_pyramid.h"
#include "host/smp_pool.h"
#include "pixels/image_vx.h"
#include "support/noise_pattern.h"

using namespace vx;

namespace {

struct PyramidDeleter {
    void operator()(SourcePyramid* p) const { free_pyramid(p); }
};
using ImagePtr = std::unique_ptr<ImageVx>;
using PyramidPtr = std::unique_ptr<SourcePyramid, PyramidDeleter>;

ImagePtr make_image(int w, int h, const std::function<std::uint16_t(int x, int y, int c)>& pattern)
{
    ImagePtr image(ImageVx::create(w, h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c) image->rows[y][x * 4 + c] = pattern(x, y, c);
    return image;
}

// An image and its pyramid.
struct Source {
    ImagePtr image;
    PyramidPtr p;
    template <class Pattern>
    Source(int w, int h, Pattern pattern) : image(make_image(w, h, pattern)), p(build_pyramid(image.get(), w, h))
    {
    }
    Sample4 area(float x0, float y0, float x1, float y1, int edge, unsigned channels = channels_all) const
    {
        return sample_area(p.get(), x0, y0, x1, y1, edge, channels);
    }
    Sample4 box(float x0, float y0, float x1, float y1) const
    {
        return sample_box(p.get(), x0, y0, x1, y1, -1.0f, channels_all);
    }
};

// Channel 0 rises by 100 per column: level k, column c holds 100 * 2^k * c + 50 * (2^k - 1).
std::uint16_t ramp(int x, int, int c)
{
    return c == 0 ? std::uint16_t(100 * x) : std::uint16_t(1000 * c);
}

struct SourcePyramidTest : ::testing::Test {
    void SetUp() override { smp_set_numprocs(3); }
};

}  // namespace

TEST_F(SourcePyramidTest, LevelCountsSizesAndBlendWeights)
{
    EXPECT_EQ(pyramid_level_count(1024), 9);  // an exact power of two counts one less
    EXPECT_EQ(pyramid_level_count(1080), 10);
    EXPECT_EQ(pyramid_level_count(2), 0);
    Source big(1920, 1080, noise);
    ASSERT_TRUE(big.p);
    EXPECT_EQ(big.p->level_count, 10);
    EXPECT_EQ(big.p->level_width[3], 240);
    EXPECT_EQ(big.p->level_height[3], 135);
    EXPECT_FLOAT_EQ(big.p->level_scale[3], 134.0f / 1080.0f);

    // Area 400 is filtered as 200: levels 3 and 4, lev = 3.8219. Capped at
    // the last pair of levels, the fraction stays.
    const struct {
        float area;
        int levels, level, weight;
    } blends[] = {{400.0f, 9, 3, 13466}, {2.0f, 9, 0, 8192}, {200.0f, 2, 1, 13466}};
    for (const auto& b : blends) {
        EXPECT_EQ(level_blend(b.area, b.levels).level, b.level) << b.area;
        EXPECT_EQ(level_blend(b.area, b.levels).weight, b.weight) << b.area;
    }
}

TEST_F(SourcePyramidTest, BoxLookups)
{
    // Area exactly 1 is bilinear: centre on a half pixel gives the 2 x 2 mean.
    Source n(16, 16, noise);
    for (int k = 0; k < 4; ++k) {
        const int top = (noise(4, 6, k) + noise(5, 6, k)) >> 1;
        const int bottom = (noise(4, 7, k) + noise(5, 7, k)) >> 1;
        EXPECT_EQ(n.box(4.0f, 6.0f, 5.0f, 7.0f)[k], (top + bottom) >> 1);
    }
    // Area 2: level 0 at the centre (11, 10.5) gives 1100, level 1 at half
    // that centre (5.5, 5.25) gives 1150; equal weights.
    Source r(64, 64, ramp);
    EXPECT_EQ(r.box(10.0f, 10.0f, 12.0f, 11.0f), (Sample4{1125, 1000, 2000, 3000}));
    // Area 400: level 3 at x 3.5 gives 3150, level 4 at 1.75 gives 3550,
    // level 4 weighing 13466 / 16384.
    EXPECT_EQ(r.box(22.0f, 22.0f, 42.0f, 42.0f), (Sample4{3478, 1000, 2000, 3000}));
}

TEST_F(SourcePyramidTest, EdgeModes)
{
    Source r(64, 48, ramp);
    Source flat(32, 32, [](int, int, int) { return std::uint16_t(20000); });
    // Duplicate: squeezed onto column 0, but the unclamped area of 2 still
    // blends level 0 (0) with level 1 (50).
    EXPECT_EQ(r.area(-5.0f, 2.0f, -3.0f, 3.0f, edge_duplicate)[0], 25);

    // Black: wholly outside is transparent black; half outside is half; an
    // unknown edge value behaves as Black.
    EXPECT_EQ(flat.area(3.0f, -9.0f, 4.0f, -8.0f, edge_black), (Sample4{0, 0, 0, 0}));
    EXPECT_EQ(flat.area(-1.0f, 5.0f, 1.0f, 6.0f, edge_black)[2], 10000);
    EXPECT_EQ(flat.area(-1.0f, 5.0f, 1.0f, 6.0f, 7)[2], 10000);

    // Wrap with period W - 1: a box centred at x = -0.5 is the box centred at
    // W1 - 0.5 (which sample_box then clamps like Duplicate).
    Source n(20, 12, noise);
    EXPECT_EQ(n.area(-1.0f, 4.0f, 0.0f, 5.0f, edge_wrap), n.area(18.0f, 4.0f, 19.0f, 5.0f, edge_duplicate));
    // A box wider than the picture is narrowed to W1 / 2 on each side, which
    // also changes the area that picks the filter.
    EXPECT_EQ(r.area(31.5f - 100.0f, 5.0f, 31.5f + 100.0f, 6.0f, edge_wrap),
              r.area(0.5f, 5.0f, 62.5f, 6.0f, edge_duplicate));
    // Across the right edge the box folds onto column 0: half from the right
    // edge (about 6200), half from [0, 0.5] (25).
    const Sample4 w = r.area(62.5f, 5.0f, 63.5f, 6.0f, edge_wrap);
    EXPECT_NEAR(w[0], (6200 + 25) / 2, 2);
    EXPECT_NEAR(w[1], 1000, 1);
}

TEST_F(SourcePyramidTest, FlatPicturesSampleFlatAtEverySize)
{
    // Every level of a constant picture holds that value, so any box must
    // answer it; a tap that strays out of its level breaks this. Sizes such as
    // 12 x 15 and 24 x 31 put the next level's tap point outside its level.
    for (int h = 3; h <= 40; ++h)
        for (int w = 3; w <= 40; ++w) {
            Source s(w, h, [](int, int, int c) { return std::uint16_t(12345 + c); });
            ASSERT_TRUE(s.p);
            for (float side : {1.5f, 3.0f, 6.0f, 14.0f, 30.0f})
                for (float cy = 0.0f; cy <= h; cy += 0.5f * h)
                    for (float cx = 0.0f; cx <= w; cx += 0.5f * w)
                        ASSERT_EQ(s.box(cx - side, cy - side, cx + side, cy + side),
                                  (Sample4{12345, 12346, 12347, 12348}))
                            << w << 'x' << h << " side " << side << " at " << cx << ',' << cy;
        }
}

TEST_F(SourcePyramidTest, TinyPictures)
{
    // No reduced levels: a large box is the bilinear tap at its centre.
    Source s(5, 2, ramp);
    ASSERT_TRUE(s.p);
    EXPECT_EQ(s.p->level_count, 0);
    // The box is clamped to x 0..2.9999 and row 0, so its centre is 1.49995.
    const Sample4 big = s.box(0.0f, 0.0f, 4.0f, 3.0f);
    EXPECT_EQ(big[0], 149);
    EXPECT_EQ(big[3], 3000);
    EXPECT_EQ(s.area(-3.0f, -3.0f, 9.0f, 9.0f, edge_duplicate)[3], 3000);
    // Black: 4 of the box's 144 square pixels lie on the picture.
    EXPECT_EQ(s.area(-3.0f, -3.0f, 9.0f, 9.0f, edge_black)[3], 83);

    // One pixel: every box reads that pixel; nothing folds or strays.
    Source one(1, 1, [](int, int, int c) { return std::uint16_t(100 * (c + 1)); });
    for (int edge : {edge_duplicate, edge_wrap})
        EXPECT_EQ(one.area(-3.0f, -3.0f, 9.0f, 9.0f, edge), (Sample4{100, 200, 300, 400}));

    EXPECT_EQ(build_pyramid(s.image.get(), 0, 2), nullptr);
    free_pyramid(nullptr);
}
