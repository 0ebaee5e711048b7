// test-labels: threaded
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "effect/trellin.h"
#include "host/smp_pool.h"
#include "node/parallel_rows.h"

using namespace vx;

namespace {

std::uint16_t noise(int x, int y, int c)
{
    std::uint32_t v = std::uint32_t(x) * 73856093u ^ std::uint32_t(y) * 19349663u ^ std::uint32_t(c) * 83492791u;
    v ^= v >> 13;
    v *= 0x5bd1e995u;
    v ^= v >> 15;
    return std::uint16_t(v % 32768);
}

using Pattern = std::function<std::uint16_t(int x, int y, int c)>;

// A Trellin set up for compositing passes over a given source: the output
// starts as a copy of the source, positions are undisplaced unless a test
// moves them.
struct Scene {
    Trellin t;
    int w, h;
    ImageVx* input;
    ImageVx* out;
    std::vector<float> sx, sy, hl;

    Scene(int width, int rows, const Pattern& pattern) : w(width), h(rows)
    {
        input = ImageVx::create(w, h);
        out = ImageVx::create(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 4; ++c)
                    input->rows[y][x * 4 + c] = pattern(x, y, c);
        std::memcpy(out->pixels, input->pixels, std::size_t(w) * h * 8);
        const std::size_t n = std::size_t(w) * h;
        sx.resize(n);
        sy.resize(n);
        hl.assign(n, 0.0f);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                sx[std::size_t(y) * w + x] = float(x);
                sy[std::size_t(y) * w + x] = float(y) - 1.0f;
            }
        }
        FrameState& f = t.frame;
        f.width = w;
        f.height = h;
        f.edge_mode = 1;
        f.back_bright = 1.0f;
        f.brightness = 0.0f;
        f.pyramid = build_pyramid(input, w, h);
        f.sample_x_buf = sx.data();
        f.sample_y_buf = sy.data();
        f.highlight_buf = hl.data();
        t.output.image = out;
        t.input.image = input;
    }
    ~Scene()
    {
        free_pyramid(t.frame.pyramid);
        delete input;
        delete out;
    }
    void run(int pass)
    {
        t.frame.pass_select = pass;
        parallel_rows(&t, &Trellin::composite_rows, h);
        t.finish_composite_last_row();
    }
    std::uint16_t in(int x, int y, int c) const { return input->rows[y][x * 4 + c]; }
    std::uint16_t at(int x, int y, int c) const { return out->rows[y][x * 4 + c]; }
};

class CompositingTest : public ::testing::Test {
protected:
    void SetUp() override { smp_set_numprocs(2); }
};

}  // namespace

TEST_F(CompositingTest, UndisplacedDuplicateIsTheTwoByTwoMean)
{
    Scene s(19, 14, noise);
    s.run(0);
    for (int y = 1; y <= s.h - 3; ++y) {
        for (int x = 1; x <= s.w - 3; ++x) {
            for (int c = 0; c < 4; ++c) {
                const int top = (s.in(x - 1, y - 1, c) + s.in(x, y - 1, c)) >> 1;
                const int bottom = (s.in(x - 1, y, c) + s.in(x, y, c)) >> 1;
                ASSERT_EQ(s.at(x, y, c), (top + bottom) >> 1) << x << ',' << y << ',' << c;
            }
        }
    }
    // Edge columns and the last row repeat their neighbours.
    for (int y = 0; y < s.h; ++y) {
        for (int c = 0; c < 4; ++c) {
            ASSERT_EQ(s.at(0, y, c), s.at(1, y, c));
            ASSERT_EQ(s.at(s.w - 1, y, c), s.at(s.w - 2, y, c));
        }
    }
    EXPECT_EQ(0, std::memcmp(s.out->rows[s.h - 1], s.out->rows[s.h - 2], std::size_t(s.w) * 8));
}

TEST_F(CompositingTest, UndisplacedBlackClearsTheTopRow)
{
    Scene s(16, 9, noise);
    s.t.frame.edge_mode = 2;
    s.run(0);
    for (int x = 0; x < s.w; ++x)
        for (int c = 0; c < 4; ++c)
            ASSERT_EQ(s.at(x, 0, c), 0) << x;
    EXPECT_NE(s.at(5, 4, 1), 0);
}

TEST_F(CompositingTest, Lighting)
{
    Scene s(8, 6, [](int, int, int c) { return std::uint16_t(c == 3 ? 30000 : 20000); });
    s.t.param.light_active.value = true;
    s.t.frame.brightness = 1.0f;
    s.t.frame.back_bright = 0.5f;
    s.t.frame.light_colour[0] = 32767.0f;
    s.t.frame.light_colour[1] = 0.0f;
    s.t.frame.light_colour[2] = 32767.0f;
    for (float& v : s.hl)
        v = 0.25f;
    s.hl[std::size_t(3) * s.w + 4] = 2.0f;  // far too bright at (4, 3)
    s.run(0);
    EXPECT_EQ(s.at(2, 2, 0), 18191);  // 32767 x 0.25 + 20000 x 0.5 = 18191.75
    EXPECT_EQ(s.at(2, 2, 1), 10000);  // black light: only dimmed
    EXPECT_EQ(s.at(2, 2, 3), 30000);  // alpha is never lit
    EXPECT_EQ(s.at(4, 3, 0), 32767);
    EXPECT_EQ(s.at(4, 3, 1), 10000);

    // Single-channel passes light their own channel with their own colour.
    s.run(3);
    EXPECT_EQ(s.at(2, 2, 2), 18191);
    s.run(4);
    EXPECT_EQ(s.at(2, 2, 3), 30000);

    // A negative result is 0, not a wrapped sample.
    s.t.frame.back_bright = -1.0f;
    s.run(1);
    EXPECT_EQ(s.at(2, 2, 0), 0);

    // Lighting off: Back Bright does nothing.
    s.t.param.light_active.value = false;
    s.run(0);
    EXPECT_EQ(s.at(2, 2, 0), 20000);
}

TEST_F(CompositingTest, ChannelPassesAndColumnCopies)
{
    // Positions shifted so that passes visibly change every channel.
    Scene ref(15, 10, noise);
    for (float& v : ref.sx)
        v += 0.3f;
    ref.run(0);

    Scene s(15, 10, noise);
    s.sx = ref.sx;
    auto unchanged_edges = [&](int c) {
        for (int y = 0; y < s.h - 1; ++y) {
            if (s.at(0, y, c) != s.in(0, y, c) || s.at(s.w - 1, y, c) != s.in(s.w - 1, y, c))
                return false;
        }
        return true;
    };
    s.run(1);
    s.run(2);
    // Passes 1 and 2 leave the edge columns alone...
    EXPECT_TRUE(unchanged_edges(0));
    EXPECT_TRUE(unchanged_edges(1));
    s.run(3);
    // ...pass 3 copies channels 0..2, and alpha is still the input's.
    EXPECT_FALSE(unchanged_edges(0));
    EXPECT_TRUE(unchanged_edges(3));
    for (int y = 0; y < s.h; ++y) {
        for (int x = 0; x < s.w; ++x) {
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(s.at(x, y, c), ref.at(x, y, c)) << x << ',' << y << ',' << c;
            if (y < s.h - 1) {
                ASSERT_EQ(s.at(x, y, 3), s.in(x, y, 3));
            }
        }
    }
    s.run(4);
    for (int y = 0; y < s.h; ++y)
        for (int x = 0; x < s.w; ++x)
            ASSERT_EQ(s.at(x, y, 3), ref.at(x, y, 3));
}

TEST_F(CompositingTest, TwoColumnPicture)
{
    Scene s(2, 5, noise);
    s.run(0);
    for (int y = 0; y < 5; ++y) {
        const int src = y == 4 ? 3 : y;
        for (int c = 0; c < 4; ++c) {
            ASSERT_EQ(s.at(0, y, c), s.in(0, src, c));
            ASSERT_EQ(s.at(1, y, c), s.in(0, src, c));
        }
    }
}

TEST_F(CompositingTest, LastRowCopy)
{
    // Four rows on four processors: the band ending at the last row holds
    // only that row, so the copy waits for finish_composite_last_row.
    smp_set_numprocs(4);
    Scene s(9, 4, noise);
    s.t.frame.pass_select = 0;
    parallel_rows(&s.t, &Trellin::composite_rows, 4);
    EXPECT_EQ(0, std::memcmp(s.out->rows[3], s.input->rows[3], 9 * 8));
    s.t.finish_composite_last_row();
    s.t.finish_composite_last_row();
    EXPECT_EQ(0, std::memcmp(s.out->rows[3], s.out->rows[2], 9 * 8));

    // One processor: the worker copies the row itself.
    smp_set_numprocs(1);
    Scene one(9, 4, noise);
    one.t.frame.pass_select = 0;
    parallel_rows(&one.t, &Trellin::composite_rows, 4);
    EXPECT_EQ(0, std::memcmp(one.out->rows[3], one.out->rows[2], 9 * 8));
    EXPECT_EQ(0, std::memcmp(one.out->pixels, s.out->pixels, 9 * 4 * 8));
}

TEST_F(CompositingTest, SameResultOnAnyNumberOfProcessors)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> jitter(-6.0f, 6.0f);
    std::vector<float> dx(47 * 33), dy(47 * 33);
    for (std::size_t i = 0; i < dx.size(); ++i) {
        dx[i] = jitter(rng);
        dy[i] = jitter(rng);
    }
    for (int edge = 1; edge <= 3; ++edge) {
        std::vector<std::uint16_t> first;
        for (int procs : {1, 2, 3, 7}) {
            smp_set_numprocs(procs);
            Scene s(47, 33, noise);
            s.t.frame.edge_mode = edge;
            s.t.param.light_active.value = true;
            s.t.frame.brightness = 0.5f;
            s.t.frame.back_bright = 0.8f;
            s.t.frame.light_colour[1] = 30000.0f;
            for (std::size_t i = 0; i < dx.size(); ++i) {
                s.sx[i] += dx[i];
                s.sy[i] += dy[i];
                s.hl[i] = 0.01f * float(i % 50);
            }
            s.run(0);
            std::vector<std::uint16_t> result(s.out->pixels, s.out->pixels + 47 * 33 * 4);
            if (first.empty())
                first = result;
            else
                EXPECT_EQ(result, first) << "edge " << edge << ", " << procs << " processors";
        }
    }
}
