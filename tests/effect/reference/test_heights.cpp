#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "effect/reference/passes.h"

namespace {

constexpr float almost_one = 0.99999994f;  // four full-intensity pixels
constexpr float scale = 7.629627e-7f;      // 1 / (40 * 32767)

struct HeightRun {
    HeightRun(int w, int h, double black, double white, bool invert = false)
        : map(vx::ImageVx::create(w, h)), heights(std::size_t(w) * h, std::nanf(""))
    {
        map->fill(0, 0, 0, 0);
        f.width = w;
        f.height = h;
        f.cell_map = map.get();
        f.height_buf = heights.data();
        f.black_height = float(black * 0.01);
        f.white_height = float(white * 0.01);
        f.invert_map = invert ? 1 : 0;
    }
    void set(int x, int y, int r, int g, int b)
    {
        std::uint16_t* s = map->rows[y] + 4 * x;
        s[0] = std::uint16_t(r), s[1] = std::uint16_t(g), s[2] = std::uint16_t(b);
    }
    HeightRun& white() { return map->fill(32767, 32767, 32767, 0), *this; }
    const std::vector<float>& build()
    {
        rows(0, f.height - 1);
        finish();
        return heights;
    }
    void rows(int first, int last) const { vx::build_height_rows(f, first, last); }
    void finish() const { vx::finish_height_last_row(f); }
    float at(int x, int y) const { return heights[std::size_t(y) * f.width + x]; }

    vx::FrameState f;
    std::unique_ptr<vx::ImageVx> map;
    std::vector<float> heights;
};

std::vector<float> all(int w, int h, float v)
{
    return std::vector<float>(std::size_t(w) * h, v);
}

}  // namespace

TEST(HeightBuffer, MapsOntoTheHeightRange)
{
    EXPECT_EQ(HeightRun(6, 5, 10, 20).build(), all(6, 5, 0.1f));
    EXPECT_EQ(HeightRun(3, 3, 0, 100).white().build(), all(3, 3, almost_one));
    // Inverted: black reaches the top of the range.
    EXPECT_EQ(HeightRun(4, 4, 10, 20, true).build(), all(4, 4, 1.0f * 0.1f + 0.1f));
    // White below black: the range is the distance, white still goes up.
    EXPECT_EQ(HeightRun(4, 4, 30, 10).white().build(), all(4, 4, almost_one * 0.2f + 0.3f));
    // Negative heights count as 0.
    EXPECT_EQ(HeightRun(4, 4, -50, 40).build(), all(4, 4, 0.0f));
    // One pixel wide or high: the missing neighbour is the pixel itself.
    for (auto [w, h] : {std::pair{1, 4}, std::pair{4, 1}})
        EXPECT_EQ(HeightRun(w, h, 10, 20).white().build(), all(w, h, almost_one * 0.1f + 0.1f));
}

TEST(HeightBuffer, TwoByTwoAverageOfWeightedBrightnessWithEdgesRepeated)
{
    // A red pixel at (2, 1) reaches the heights at (1..2, 0..1).
    HeightRun run(5, 4, 0, 100);
    run.set(2, 1, 32767, 0, 0);
    run.build();
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            const bool reached = (x == 1 || x == 2) && (y == 0 || y == 1);
            EXPECT_EQ(run.at(x, y), reached ? float(3 * 32767) * scale : 0.0f) << x << "," << y;
        }
    HeightRun mix(2, 2, 0, 100);  // green weighs 5, blue 2
    mix.set(0, 0, 0, 1000, 0);
    mix.set(1, 1, 0, 0, 1000);
    EXPECT_EQ(mix.build()[0], float(7000) * scale);

    // The last column and row repeat their neighbours.
    HeightRun corner(5, 4, 0, 100);
    corner.set(4, 3, 0, 1000, 0);
    corner.build();
    EXPECT_EQ(corner.at(3, 2), float(5000) * scale);
    EXPECT_EQ(corner.at(4, 3), corner.at(3, 2));
    EXPECT_EQ(corner.at(4, 1), corner.at(3, 1));
}

TEST(HeightBuffer, OneRowLastBandLeavesTheLastRowToTheEndOfThePass)
{
    auto make = [] {
        auto r = std::make_unique<HeightRun>(5, 4, 5, 25);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) r->set(x, y, x * 5000 + y * 700, 100, 9000);
        return r;
    };
    const std::vector<float> whole = make()->build();

    // Four one-row bands, the last running first: it must not copy row 2 before that row exists.
    auto banded = make();
    banded->rows(3, 3);
    EXPECT_TRUE(std::isnan(banded->at(0, 3)));
    banded->rows(2, 2);
    banded->rows(0, 1);
    banded->finish();
    EXPECT_EQ(banded->heights, whole);

    // A band holding both last rows copies by itself.
    auto paired = make();
    paired->rows(0, 1);
    paired->rows(2, 3);
    EXPECT_EQ(paired->heights, whole);
}
