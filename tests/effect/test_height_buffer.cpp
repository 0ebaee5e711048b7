#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "effect/trellin.h"

namespace {

// One step below 1.0: four full-intensity pixels.
constexpr float almost_one = 0.99999994f;

struct HeightRun {
    HeightRun(int w, int h, double black, double white, bool invert = false)
        : map(vx::ImageVx::create(w, h)), heights(std::size_t(w) * h, std::nanf(""))
    {
        map->fill(0, 0, 0, 0);
        auto& f = t.frame;
        f.width = w;
        f.height = h;
        f.cell_map = map.get();
        f.height_buf = heights.data();
        f.black_height = float(black * 0.01);
        f.white_height = float(white * 0.01);
        f.invert_map = invert ? 1 : 0;
    }
    void set(int x, int y, std::uint16_t r, std::uint16_t g, std::uint16_t b)
    {
        std::uint16_t* s = map->rows[y] + 4 * x;
        s[0] = r, s[1] = g, s[2] = b;
    }
    // The whole pass as one band.
    HeightRun& build()
    {
        t.build_height_rows(0, t.frame.height - 1);
        t.finish_height_last_row();
        return *this;
    }
    float at(int x, int y) const { return heights[std::size_t(y) * t.frame.width + x]; }
    void expect_all(float value) const
    {
        for (float v : heights)
            ASSERT_EQ(v, value);
    }

    vx::Trellin t;
    std::unique_ptr<vx::ImageVx> map;
    std::vector<float> heights;
};

}  // namespace

TEST(HeightBuffer, BlackAndFullIntensityMapsGiveTheEndsOfTheRange)
{
    HeightRun black(6, 5, 10, 20);
    black.build().expect_all(0.1f);

    HeightRun white(6, 5, 10, 20);
    white.map->fill(32767, 32767, 32767, 0);
    white.build().expect_all(almost_one * 0.1f + 0.1f);
    EXPECT_NEAR(white.at(0, 0), 0.2f, 1e-7);

    HeightRun unit(3, 3, 0, 100);
    unit.map->fill(32767, 32767, 32767, 0);
    unit.build().expect_all(almost_one);
}

TEST(HeightBuffer, InvertedReversedAndNegativeHeights)
{
    HeightRun inverted(4, 4, 10, 20, true);
    inverted.build().expect_all(1.0f * 0.1f + 0.1f);

    // White below black does not reverse the ramp: white reaches b + |w - b|.
    HeightRun reversed(4, 4, 30, 10);
    reversed.map->fill(32767, 32767, 32767, 0);
    reversed.build().expect_all(almost_one * 0.2f + 0.3f);

    // A negative height counts as 0.
    HeightRun negative(4, 4, -50, 40);
    negative.build().expect_all(0.0f);
    HeightRun negative_white(4, 4, 20, -40);
    negative_white.map->fill(32767, 32767, 32767, 0);
    negative_white.build().expect_all(almost_one * 0.2f + 0.2f);
}

TEST(HeightBuffer, TwoByTwoAverageOfWeightedBrightness)
{
    // One red pixel at (2, 1) reaches the four heights whose 2 x 2 block holds
    // it: (1..2, 0..1).
    HeightRun run(5, 4, 0, 100);
    run.set(2, 1, 32767, 0, 0);
    run.build();
    const float red = float(3 * 32767) * 7.629627e-7f;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            const bool reached = (x == 1 || x == 2) && (y == 0 || y == 1);
            EXPECT_EQ(run.at(x, y), reached ? red : 0.0f) << x << "," << y;
        }

    // Green weighs 5, blue 2.
    HeightRun mix(2, 2, 0, 100);
    mix.set(0, 0, 0, 1000, 0);
    mix.set(1, 1, 0, 0, 1000);
    mix.build();
    EXPECT_EQ(mix.at(0, 0), float(7000) * 7.629627e-7f);
}

TEST(HeightBuffer, LastColumnAndRowRepeatTheirNeighbours)
{
    HeightRun run(7, 6, 0, 100);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 7; ++x)
            run.set(x, y, std::uint16_t(x * 3000), std::uint16_t(y * 4000), 500);
    run.build();
    for (int y = 0; y < 6; ++y)
        EXPECT_EQ(run.at(6, y), run.at(5, y));
    for (int x = 0; x < 7; ++x)
        EXPECT_EQ(run.at(x, 5), run.at(x, 4));
    EXPECT_NE(run.at(0, 0), run.at(5, 4));
}

TEST(HeightBuffer, LastRowBandOfOneRowLeavesTheCopyToTheEndOfThePass)
{
    auto pattern = [](HeightRun& r) {
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x)
                r.set(x, y, std::uint16_t(x * 5000 + y * 700), 100, 9000);
    };
    HeightRun whole(5, 4, 5, 25);
    pattern(whole);
    whole.build();

    // Bands as four processors cut four rows; the last band runs first,
    // before row H - 2 exists, and must not copy it.
    HeightRun banded(5, 4, 5, 25);
    pattern(banded);
    banded.t.build_height_rows(3, 3);
    EXPECT_TRUE(std::isnan(banded.at(0, 3)));
    banded.t.build_height_rows(2, 2);
    banded.t.build_height_rows(0, 1);
    banded.t.finish_height_last_row();
    EXPECT_EQ(banded.heights, whole.heights);

    // A band holding both last rows copies by itself.
    HeightRun pair(5, 4, 5, 25);
    pattern(pair);
    pair.t.build_height_rows(0, 1);
    pair.t.build_height_rows(2, 3);
    EXPECT_EQ(pair.heights, whole.heights);
}

TEST(HeightBuffer, PicturesOnePixelWideOrHigh)
{
    for (auto [w, h] : {std::pair{1, 1}, std::pair{1, 4}, std::pair{4, 1}}) {
        HeightRun run(w, h, 10, 20);
        run.map->fill(32767, 32767, 32767, 0);
        run.build().expect_all(almost_one * 0.1f + 0.1f);
    }
}
