// test-labels: threaded
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "effect/fast/kernels.h"
#include "effect/reference/passes.h"
#include "host/smp_pool.h"
#include "pixels/parallel_rows.h"
#include "support/noise_pattern.h"

using namespace vx;

namespace {

// Compositing passes over a source picture: the output starts as a copy of
// the source and positions are undisplaced (y one row up) unless a test moves them.
struct Scene {
    FrameState f;
    int w, h;
    std::unique_ptr<ImageVx> input, out;
    std::vector<float> sx, sy, hl;

    Scene(int width, int rows, std::uint16_t (*pattern)(int, int, int) = noise)
        : w(width),
          h(rows),
          input(ImageVx::create(w, h)),
          out(ImageVx::create(w, h)),
          hl(std::size_t(w) * h + fast_row_padding, 0.0f)
    {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                for (int c = 0; c < 4; ++c) input->rows[y][x * 4 + c] = pattern(x, y, c);
                sx.push_back(float(x));
                sy.push_back(float(y) - 1.0f);
            }
        sx.resize(hl.size());
        sy.resize(hl.size());
        std::memcpy(out->pixels, input->pixels, std::size_t(w) * h * 8);
        f.width = w, f.height = h, f.edge_mode = 1;
        f.back_bright = 1.0f, f.brightness = 0.0f;
        // With room for level 0, which the fast kernel needs within reach of
        // the reduced levels (allocators may place them far apart).
        SourcePyramid* pyramid = allocate_pyramid(w, h, true);
        fill_pyramid(pyramid, input.get());
        keep_within_reach(pyramid);
        f.pyramid = pyramid;
        f.sample_x_buf = sx.data(), f.sample_y_buf = sy.data(), f.highlight_buf = hl.data();
        f.output = out.get(), f.input = input.get();
    }
    ~Scene() { free_pyramid(const_cast<SourcePyramid*>(f.pyramid)); }
    void rows(int pass = 0) const
    {
        const FrameState p = for_pass(f, pass);
        parallel_rows(h, [&p](int first, int last) { composite_rows(p, first, last); });
    }
    void run(int pass)
    {
        rows(pass);
        finish_composite_last_row(f);
    }
    // Columns 1..W-2 of rows 0..H-2 with the fast kernel.
    void fast_rows(int pass = 0) const
    {
        const FrameState p = for_pass(f, pass);
        parallel_rows(h - 1, [&](int first, int last) {
            for (int y = first; y <= last; ++y) {
                const std::size_t at = std::size_t(y) * w;
                const CompositeRow row{sx.data() + at,     sx.data() + at + w, sy.data() + at,
                                       sy.data() + at + w, hl.data() + at,     out->rows[y]};
                fast_composite_row(p, row);
            }
        });
    }
    std::uint16_t in(int x, int y, int c) const { return input->rows[y][x * 4 + c]; }
    std::uint16_t at(int x, int y, int c) const { return out->rows[y][x * 4 + c]; }
    bool same_row(int y, int y2) const { return !std::memcmp(out->rows[y], out->rows[y2], std::size_t(w) * 8); }
};

struct CompositingTest : ::testing::Test {
    void SetUp() override { smp_set_numprocs(2); }
};

}  // namespace

TEST_F(CompositingTest, Lighting)
{
    Scene s(8, 6, [](int, int, int c) { return std::uint16_t(c == 3 ? 30000 : 20000); });
    FrameState& f = s.f;
    f.lit = true;
    f.brightness = 1.0f, f.back_bright = 0.5f;
    f.light_colour[0] = f.light_colour[2] = 32767.0f, f.light_colour[1] = 0.0f;
    s.hl.assign(s.hl.size(), 0.25f);
    s.hl[3 * 8 + 4] = 2.0f;  // far too bright at (4, 3)
    s.run(0);
    EXPECT_EQ(s.at(2, 2, 0), 18191);  // 32767 x 0.25 + 20000 x 0.5 = 18191.75
    EXPECT_EQ(s.at(2, 2, 1), 10000);  // black light: only dimmed
    EXPECT_EQ(s.at(2, 2, 3), 30000);  // alpha is never lit
    EXPECT_EQ(s.at(4, 3, 0), 32767);
    EXPECT_EQ(s.at(4, 3, 1), 10000);

    // Single-channel passes light their own channel with their own colour.
    s.run(3);
    EXPECT_EQ(s.at(2, 2, 2), 18191);

    // A negative result is 0, not a wrapped sample.
    f.back_bright = -1.0f;
    s.run(1);
    EXPECT_EQ(s.at(2, 2, 0), 0);

    // Lighting off: Back Bright does nothing.
    f.lit = false;
    s.run(0);
    EXPECT_EQ(s.at(2, 2, 0), 20000);
}

TEST_F(CompositingTest, ChannelPassesAndColumnCopies)
{
    // Positions shifted so that passes visibly change every channel.
    Scene ref(15, 10), s(15, 10);
    for (float& v : ref.sx) v += 0.3f;
    s.sx = ref.sx;
    ref.run(0);
    // Passes 1 to 3 give channels 0..2 of pass 0, edge columns included, and keep the input's alpha.
    for (int pass : {1, 2, 3}) s.run(pass);
    for (int y = 0; y < s.h; ++y)
        for (int x = 0; x < s.w; ++x)
            for (int c = 0; c < 4; ++c)
                ASSERT_EQ(s.at(x, y, c), c < 3         ? ref.at(x, y, c)
                                         : y < s.h - 1 ? s.in(x, y, c)
                                                       : s.in(x, y - 1, c))
                    << x << ',' << y << ',' << c;
    s.run(4);
    EXPECT_EQ(0, std::memcmp(s.out->pixels, ref.out->pixels, 15 * 10 * 8));
}

TEST_F(CompositingTest, TwoColumnPicture)
{
    Scene s(2, 5);
    s.run(0);
    for (int y = 0; y < 5; ++y)
        for (int c = 0; c < 4; ++c)
            ASSERT_TRUE(s.at(0, y, c) == s.in(0, y == 4 ? 3 : y, c) && s.at(1, y, c) == s.at(0, y, c)) << y;
}

TEST_F(CompositingTest, LastRowCopyWaitsForTheWholePassWhenItsBandHoldsOneRow)
{
    // Four rows on four processors: the last band holds only the last row.
    smp_set_numprocs(4);
    Scene s(9, 4);
    s.rows();
    EXPECT_EQ(0, std::memcmp(s.out->rows[3], s.input->rows[3], 9 * 8));
    finish_composite_last_row(s.f);
    EXPECT_TRUE(s.same_row(3, 2));

    // One processor: the worker copies the row itself, with the same result.
    smp_set_numprocs(1);
    Scene one(9, 4);
    one.rows();
    EXPECT_EQ(0, std::memcmp(one.out->pixels, s.out->pixels, 9 * 4 * 8));
}

TEST_F(CompositingTest, FootprintTakesXFromThisAndTheLeftColumnAndYFromThisAndTheRightOne)
{
    // One position moved far: the pixels whose footprints use it, and only
    // they, change (interior pixels, with both kernels).
    using Pixels = std::set<std::pair<int, int>>;
    const int cx = 6, cy = 4;
    for (bool fast : {false, true}) {
        auto changed = [&](bool move_x) {
            Scene base(15, 10), moved(15, 10);
            (move_x ? moved.sx : moved.sy)[std::size_t(cy) * 15 + cx] += 5.0f;
            for (Scene* s : {&base, &moved}) fast ? s->fast_rows() : s->rows();
            Pixels pixels;
            for (int y = 0; y < 9; ++y)
                for (int x = 1; x < 14; ++x)
                    if (std::memcmp(base.out->rows[y] + x * 4, moved.out->rows[y] + x * 4, 8) != 0)
                        pixels.insert({x, y});
            return pixels;
        };
        EXPECT_EQ(changed(true), (Pixels{{cx, cy}, {cx + 1, cy}, {cx, cy - 1}, {cx + 1, cy - 1}})) << "fast " << fast;
        EXPECT_EQ(changed(false), (Pixels{{cx, cy}, {cx - 1, cy}, {cx, cy - 1}, {cx - 1, cy - 1}})) << "fast " << fast;
    }
}
