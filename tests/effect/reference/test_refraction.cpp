// test-labels: threaded
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "effect/reference/passes.h"
#include "effect/trellin_info.h"
#include "effect/vector3.h"
#include "host/smp_pool.h"
#include "pixels/parallel_rows.h"

using namespace vx;

namespace {

constexpr float sentinel = -7.0f;

// A height buffer and the three output buffers of one refraction pass.
struct Glass {
    FrameState f;
    int w, h;
    std::vector<float> height, sx, sy, hl;

    Glass(int width, int rows, const std::function<float(int, int)>& surface, bool lit = false, float brightness = 0.0f)
        : w(width), h(rows), sx(std::size_t(w) * h, sentinel), sy(sx), hl(sx)
    {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) height.push_back(surface(x, y));
        f.width = w, f.height = h, f.index = 1.5f;
        f.light_x = 0.5f * w, f.light_y = 0.5f * h, f.light_z = 1.0f * w;
        f.gloss = 10.0f, f.brightness = brightness;
        f.lit = lit && brightness > 0.0f;
        f.height_buf = height.data();
        f.sample_x_buf = sx.data(), f.sample_y_buf = sy.data(), f.highlight_buf = hl.data();
    }
    void run(int pass = 0)
    {
        const FrameState p = for_pass(f, pass);
        parallel_rows(h, [&p](int first, int last) { refract_rows(p, first, last); });
    }
    float x_at(int x, int y) const { return sx[std::size_t(y) * w + x]; }
    float hl_at(int x, int y) const { return hl[std::size_t(y) * w + x]; }
};

float bumpy(int x, int y)
{
    return 0.1f + 0.05f * std::sin(0.3f * x) * std::cos(0.2f * y) + 0.0005f * x;
}
float flat(int, int)
{
    return 0.15f;
}

struct RefractionTest : ::testing::Test {
    void SetUp() override { smp_set_numprocs(3); }
};

}  // namespace

TEST(VectorTest, NormalizingAVanishingVectorLeavesItZero)
{
    for (Vec3 z : {Vec3{}, Vec3{1e-11f, -5e-11f, 0.0f}}) {
        EXPECT_EQ(normalize3(z), 0.0f);
        EXPECT_TRUE(z.x == 0.0f && z.y == 0.0f);
    }
}

TEST_F(RefractionTest, FlatGlassOrIndexOneBendsNothing)
{
    Glass plane(31, 23, flat), straight(31, 23, bumpy);
    straight.f.index = 1.0f;
    for (Glass* g : {&plane, &straight}) {
        g->run();
        for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 31; ++x) {
                ASSERT_NEAR(g->x_at(x, y), x, 1e-4f);
                ASSERT_NEAR(g->sy[std::size_t(y) * 31 + x], y - 1.0f, 1e-4f);
                ASSERT_EQ(g->hl_at(x, y), sentinel);  // lighting is off
            }
    }
}

TEST_F(RefractionTest, SlopeShowsTheSourceOnItsLowerSide)
{
    // Heights rising to the right: at (50, 50) the normal is (-0.1961, 0, 0.9806),
    // the thickness 0.15, and the pixel shows the source about one pixel to its left.
    Glass g(101, 101, [](int x, int) { return 0.1f + 0.001f * x; });
    g.run();
    EXPECT_NEAR(g.x_at(50, 50), 49.004f, 0.001f);
    EXPECT_NEAR(g.sy[50 * 101 + 50], 49.0f, 1e-4f);
    for (int x = 1; x < 100; ++x) ASSERT_LT(g.x_at(x, 30), float(x));
}

TEST_F(RefractionTest, IndexGuardAndNegativeSmoothing)
{
    TrellinParams p;
    for (auto [index, guarded] : {std::pair{0.005f, 0.01f}, {-0.005f, 0.01f}, {0.0f, 0.01f}, {-0.02f, -0.02f}}) {
        p.index.value = index;
        EXPECT_EQ(derive_frame_state(p, 20, 20).index, guarded) << index;
    }
    // A guarded index gives finite positions everywhere.
    Glass g(20, 20, bumpy);
    p.index.value = -0.001;
    g.f.index = derive_frame_state(p, 20, 20).index;
    g.run();
    for (float v : g.sx) ASSERT_TRUE(std::isfinite(v));

    // A Smoothing below 0 measures slopes over one pixel, as 0 does.
    Glass a(25, 19, bumpy), b(25, 19, bumpy);
    b.f.smoothing_px = -40;
    a.run();
    b.run();
    EXPECT_EQ(a.sx, b.sx);
    EXPECT_EQ(a.sy, b.sy);
}

TEST_F(RefractionTest, Highlight)
{
    // Light straight above a pixel of flat glass: the full brightness there.
    Glass g(21, 21, flat, true, 0.8f);
    g.f.light_x = 7.0f;
    g.f.light_y = 9.0f;
    g.f.light_z = 5.0f;
    g.run();
    EXPECT_NEAR(g.hl_at(7, 9), 0.8f, 1e-6f);
    EXPECT_TRUE(g.hl_at(0, 0) > 0.0f && g.hl_at(0, 0) < g.hl_at(7, 9));

    // A steep slope facing away from the light: exactly 0, and written.
    Glass away(
        21, 21, [](int x, int) { return 0.5f * x; }, true, 1.0f);
    away.f.light_x = -1e6f;
    away.run();
    EXPECT_EQ(away.hl, std::vector<float>(away.hl.size(), 0.0f));

    // Lighting off, or no brightness: the buffer is not touched.
    Glass dark(21, 21, bumpy, true, 0.0f);
    dark.run();
    EXPECT_EQ(dark.hl, std::vector<float>(dark.hl.size(), sentinel));
}
