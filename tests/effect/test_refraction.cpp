// test-labels: threaded
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "effect/trellin.h"
#include "effect/vector3.h"
#include "host/smp_pool.h"
#include "node/parallel_rows.h"

using namespace vx;

namespace {

constexpr float sentinel = -7.0f;

// A Trellin with a height buffer and the three output buffers of one
// refraction pass.
struct Glass {
    Trellin t;
    int w, h;
    std::vector<float> height, sx, sy, hl;

    Glass(int width, int rows, const std::function<float(int, int)>& surface) : w(width), h(rows)
    {
        const std::size_t n = std::size_t(w) * h;
        height.resize(n);
        sx.assign(n, sentinel);
        sy.assign(n, sentinel);
        hl.assign(n, sentinel);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                height[std::size_t(y) * w + x] = surface(x, y);
        FrameState& f = t.frame;
        f.width = w;
        f.height = h;
        f.index = 1.5f;
        f.smoothing_px = 0;
        f.light_x = 0.5f * w;
        f.light_y = 0.5f * h;
        f.light_z = 1.0f * w;
        f.gloss = 10.0f;
        f.brightness = 0.0f;
        f.height_buf = height.data();
        f.sample_x_buf = sx.data();
        f.sample_y_buf = sy.data();
        f.highlight_buf = hl.data();
    }
    void run(int pass = 0)
    {
        t.frame.pass_select = pass;
        t.guard_index();
        parallel_rows(&t, &Trellin::refract_rows, h);
    }
    float x_at(int x, int y) const { return sx[std::size_t(y) * w + x]; }
    float y_at(int x, int y) const { return sy[std::size_t(y) * w + x]; }
    float hl_at(int x, int y) const { return hl[std::size_t(y) * w + x]; }
};

float bumpy(int x, int y) { return 0.1f + 0.05f * std::sin(0.3f * x) * std::cos(0.2f * y) + 0.0005f * x; }

class RefractionTest : public ::testing::Test {
protected:
    void SetUp() override { smp_set_numprocs(3); }
};

}  // namespace

TEST(VectorTest, CrossAndNormalize)
{
    Vec3 out;
    cross3(out, Vec3{0.01f, 0.01f, 0.002f}, Vec3{-0.01f, 0.01f, -0.002f});
    EXPECT_FLOAT_EQ(out.x, -0.00004f);
    EXPECT_EQ(out.y, 0.0f);
    EXPECT_FLOAT_EQ(out.z, 0.0002f);
    Vec3 v{3, -4, 0};
    EXPECT_FLOAT_EQ(normalize3(v), 5.0f);
    EXPECT_FLOAT_EQ(v.x, 0.6f);
    EXPECT_FLOAT_EQ(v.y, -0.8f);

    Vec3 zero{};
    EXPECT_EQ(normalize3(zero), 0.0f);
    EXPECT_EQ(zero.x, 0.0f);
    Vec3 tiny{1e-11f, -5e-11f, 0.0f};
    EXPECT_EQ(normalize3(tiny), 0.0f);
    EXPECT_EQ(tiny.x, 0.0f);
    EXPECT_EQ(tiny.y, 0.0f);
}

TEST_F(RefractionTest, UndisplacedGlass)
{
    // Flat glass: no displacement, and y one row up.
    Glass flat(31, 23, [](int, int) { return 0.15f; });
    flat.run();
    // Index 1.0 bends nothing at any slope.
    Glass slope(31, 23, bumpy);
    slope.t.frame.index = 1.0f;
    slope.run();
    for (Glass* g : {&flat, &slope}) {
        for (int y = 0; y < 23; ++y) {
            for (int x = 0; x < 31; ++x) {
                ASSERT_NEAR(g->x_at(x, y), x, 1e-4f);
                ASSERT_NEAR(g->y_at(x, y), y - 1.0f, 1e-4f);
                ASSERT_EQ(g->hl_at(x, y), sentinel);  // lighting is off
            }
        }
    }
}

TEST_F(RefractionTest, SlopeShowsTheSourceOnItsLowerSide)
{
    // Heights rising to the right; at (50, 50) the normal leans left
    // (-0.1961, 0, 0.9806), the thickness is 0.15 and the pixel shows the
    // source about one pixel to its left.
    Glass g(101, 101, [](int x, int) { return 0.1f + 0.001f * x; });
    g.run();
    EXPECT_NEAR(g.x_at(50, 50), 49.004f, 0.001f);
    EXPECT_NEAR(g.y_at(50, 50), 49.0f, 1e-4f);
    for (int x = 1; x < 100; ++x)
        ASSERT_LT(g.x_at(x, 30), float(x));
}

TEST_F(RefractionTest, ChannelPassesThickenTheGlass)
{
    Glass base(40, 30, bumpy);
    base.run(0);
    // Without aberration every channel pass lands where pass 0 does.
    Glass same(40, 30, bumpy);
    same.t.frame.chroma = 0.0f;
    same.run(3);
    EXPECT_EQ(same.sx, base.sx);
    EXPECT_EQ(same.sy, base.sy);

    // With it, thicker glass moves each pass further along the same way.
    Glass p1(40, 30, bumpy), p3(40, 30, bumpy);
    p1.t.frame.chroma = p3.t.frame.chroma = 0.05f;
    p1.run(1);
    p3.run(3);
    const float d0 = base.x_at(20, 15) - 20, d1 = p1.x_at(20, 15) - 20, d3 = p3.x_at(20, 15) - 20;
    ASSERT_NE(d0, 0.0f);
    EXPECT_GT(std::fabs(d1), std::fabs(d0));
    EXPECT_GT(std::fabs(d3), std::fabs(d1));
    EXPECT_EQ(d3 > 0, d0 > 0);
}

TEST_F(RefractionTest, IndexGuard)
{
    Trellin t;
    for (float index : {0.005f, -0.005f, 0.0f, 0.01f, -0.02f, 1.5f, -1.5f}) {
        t.frame.index = index;
        t.guard_index();
        EXPECT_EQ(t.frame.index, std::fabs(index) < 0.01f ? 0.01f : index) << index;
    }
    // A guarded index gives finite positions everywhere.
    Glass g(20, 20, bumpy);
    g.t.frame.index = -0.001f;
    g.run();
    for (float v : g.sx)
        ASSERT_TRUE(std::isfinite(v));
}

TEST_F(RefractionTest, Highlight)
{
    // Light straight above a pixel of flat glass: the highlight is the full
    // brightness there.
    Glass g(21, 21, [](int, int) { return 0.1f; });
    g.t.param.light_active.value = true;
    g.t.frame.brightness = 0.8f;
    g.t.frame.light_x = 7.0f;
    g.t.frame.light_y = 9.0f;
    g.t.frame.light_z = 5.0f;
    g.run();
    EXPECT_NEAR(g.hl_at(7, 9), 0.8f, 1e-6f);
    EXPECT_LT(g.hl_at(0, 0), g.hl_at(7, 9));
    EXPECT_GT(g.hl_at(0, 0), 0.0f);

    // A steep slope facing away from the light: exactly 0, and written.
    Glass away(21, 21, [](int x, int) { return 0.5f * x; });
    away.t.param.light_active.value = true;
    away.t.frame.brightness = 1.0f;
    away.t.frame.light_x = -1e6f;
    away.run();
    for (float v : away.hl)
        ASSERT_EQ(v, 0.0f);

    // Lighting off, or no brightness: the buffer is not touched.
    Glass off(21, 21, bumpy);
    off.t.param.light_active.value = false;
    off.t.frame.brightness = 1.0f;
    off.run();
    Glass dark(21, 21, bumpy);
    dark.t.param.light_active.value = true;
    dark.t.frame.brightness = 0.0f;
    dark.run();
    for (Glass* q : {&off, &dark})
        for (float v : q->hl)
            ASSERT_EQ(v, sentinel);
}

TEST_F(RefractionTest, SameResultOnAnyNumberOfProcessors)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(0.0f, 0.3f);
    std::vector<float> surface(57 * 41);
    for (float& v : surface)
        v = u(rng);
    auto at = [&](int x, int y) { return surface[std::size_t(y) * 57 + x]; };
    std::vector<std::vector<float>> results;
    for (int procs : {1, 2, 3, 7, 64}) {
        smp_set_numprocs(procs);
        Glass g(57, 41, at);
        g.t.frame.smoothing_px = 2;
        g.t.frame.chroma = 0.02f;
        g.t.param.light_active.value = true;
        g.t.frame.brightness = 0.7f;
        g.run(2);
        std::vector<float> all = g.sx;
        all.insert(all.end(), g.sy.begin(), g.sy.end());
        all.insert(all.end(), g.hl.begin(), g.hl.end());
        results.push_back(all);
    }
    for (const auto& r : results)
        EXPECT_EQ(r, results[0]);
}

TEST_F(RefractionTest, NegativeSmoothingMeasuresOverOnePixel)
{
    Glass a(25, 19, bumpy), b(25, 19, bumpy);
    a.t.frame.smoothing_px = 0;
    b.t.frame.smoothing_px = -40;
    a.run();
    b.run();
    EXPECT_EQ(a.sx, b.sx);
    EXPECT_EQ(a.sy, b.sy);
}
