// test-labels: threaded
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "effect/cell_shapes.h"
#include "effect/trellin.h"
#include "host/smp_pool.h"
#include "node/parallel_rows.h"

using vx::CellGrid;
using vx::Trellin;

namespace {

using Worker = void (Trellin::*)(int, int);
const Worker workers[7] = {nullptr,
                           &Trellin::triangle_rows,
                           &Trellin::square_rows,
                           &Trellin::pentagon_rows,
                           &Trellin::hexagon_rows,
                           &Trellin::octagon_rows,
                           &Trellin::dodecagon_rows};

// An effect with the default cell controls, drawing into its own map.
struct MapRun {
    MapRun(int w, int h, std::uint16_t* block = nullptr)
    {
        p.cell_size.value = 0.1;
        p.cell_count_x.value = p.cell_count_y.value = 10;
        p.angle_centre.x = p.angle_centre.y = 0.5;
        p.tweak.x = p.tweak.y = 0.5;
        p.cell_curve.value = 1.0;
        map.reset(vx::ImageVx::create(w, h, block));
        t.frame.width = w;
        t.frame.height = h;
        t.frame.cell_map = map.get();
    }
    void draw(int shape)
    {
        t.frame.cell_radius = float(p.cell_size.value * 0.2 * t.frame.width);
        map->fill(0, 0, 0, 0);
        vx::parallel_rows(&t, workers[shape], t.frame.height);
    }
    std::uint16_t at(int x, int y) const { return map->rows[y][4 * x]; }
    std::vector<std::uint16_t> samples() const
    {
        return {map->pixels, map->pixels + std::size_t(map->width) * map->height * 4};
    }

    Trellin t;
    vx::TrellinParams& p = t.param;
    std::unique_ptr<vx::ImageVx> map;
};

CellGrid grid_of(int shape, int w, int h, int count = 10, double size = 0.1)
{
    CellGrid g;
    EXPECT_TRUE(vx::make_cell_grid(shape, float(size * 0.2 * w), w, h, count, count, g));
    return g;
}

int cell_count(const CellGrid& g)
{
    int n = 0;
    vx::for_each_cell(g, [&](float, float) { ++n; });
    return n;
}

}  // namespace

TEST(CellGrid, DefaultsAt1920x1080)
{
    const CellGrid sq = grid_of(vx::shape_square, 1920, 1080);
    EXPECT_NEAR(sq.pitch_x, 54.3058, 1e-3);
    EXPECT_EQ(cell_count(sq), 100);
    const vx::CellPlacement s0 = vx::place_cell(sq, sq.j_from, sq.i_from);
    EXPECT_NEAR(s0.cx, 960 - 4.5 * 54.3058, 1e-2);
    EXPECT_NEAR(s0.cy, 540 - 4.5 * 54.3058, 1e-2);

    const CellGrid tri = grid_of(vx::shape_triangle, 1920, 1080);
    EXPECT_NEAR(tri.pitch_x, 33.2554, 1e-3);
    EXPECT_FLOAT_EQ(tri.pitch_y, 57.6f);
    EXPECT_EQ(tri.half_cols, 28.0f);
    EXPECT_EQ(tri.half_rows, 9.0f);
    EXPECT_EQ(std::vector<float>({tri.j_from, tri.j_to, tri.i_from, tri.i_to}),
              std::vector<float>({4, 14, 23, 33}));
    const vx::CellPlacement up = vx::place_cell(tri, 4, 23);  // odd column: apex up
    EXPECT_EQ(up.orientation, 1);
    EXPECT_LT(tri.templates[1][2][1], 0.0f);  // its 270-degree vertex is on top
    EXPECT_NEAR(up.cx, 814.76, 1e-2);
    EXPECT_NEAR(up.cy, 278.4, 1e-3);
    const vx::CellPlacement down = vx::place_cell(tri, 4, 24);
    EXPECT_EQ(down.orientation, 0);
    EXPECT_NEAR(down.cx, 848.01, 1e-2);
    EXPECT_NEAR(down.cy, 259.2, 1e-3);
    EXPECT_NEAR(vx::place_cell(tri, 5, 23).cx, 814.76 - 33.2554, 1e-2);  // odd row

    const CellGrid hex = grid_of(vx::shape_hexagon, 1920, 1080);
    EXPECT_FLOAT_EQ(hex.pitch_x, 57.6f);
    EXPECT_NEAR(hex.lift, 33.2554, 1e-3);
    EXPECT_NEAR(hex.half_cols, 16.6667, 1e-3);
    EXPECT_NEAR(hex.half_rows, 8.1190, 1e-3);
    EXPECT_NEAR(hex.j_from, 3.1190, 1e-3);
    EXPECT_EQ(cell_count(hex), 100);
    const vx::CellPlacement h0 = vx::place_cell(hex, hex.j_from, hex.i_from);  // floor(i) 11
    EXPECT_NEAR(h0.cx, 700.8, 1e-2);
    EXPECT_NEAR(h0.cy, 240.70, 1e-2);
    const vx::CellPlacement h1 = vx::place_cell(hex, hex.j_from, hex.i_from + 1.0f);
    EXPECT_NEAR(h1.cx, 758.4, 1e-2);
    EXPECT_NEAR(h1.cy, 207.45, 1e-2);
}

TEST(CellMap, SquareDefaultsAt1920x1080FillOnlyTheBlockAroundTheCentre)
{
    MapRun run(1920, 1080);
    run.draw(vx::shape_square);
    int x0 = 1920, x1 = -1, y0 = 1080, y1 = -1;
    for (int y = 0; y < 1080; ++y)
        for (int x = 0; x < 1920; ++x)
            if (run.at(x, y)) {
                x0 = std::min(x0, x), x1 = std::max(x1, x);
                y0 = std::min(y0, y), y1 = std::max(y1, y);
            }
    const double half = 5 * 54.3058;
    EXPECT_NEAR(x0, 960 - half, 1.0);
    EXPECT_NEAR(x1, 960 + half - 1, 1.0);
    EXPECT_NEAR(y0, 540 - half, 1.0);
    EXPECT_NEAR(y1, 540 + half - 1, 1.0);
}

TEST(CellMap, OctagonAndPentagonDrawOneColumnFewerForOddCounts)
{
    for (int shape : {vx::shape_octagon, vx::shape_pentagon}) {
        MapRun one(96, 96);
        one.p.cell_count_x.value = one.p.cell_count_y.value = 1;
        one.draw(shape);
        EXPECT_EQ(one.samples(), std::vector<std::uint16_t>(96 * 96 * 4, 0)) << shape;

        // Three asked for: two columns and two rows, their centres near full.
        const CellGrid g = grid_of(shape, 96, 96, 3);
        EXPECT_EQ(cell_count(g), 4) << shape;
        MapRun three(96, 96);
        three.p.cell_count_x.value = three.p.cell_count_y.value = 3;
        three.draw(shape);
        vx::for_each_cell(g, [&](float j, float i) {
            const vx::CellPlacement c = vx::place_cell(g, j, i);
            EXPECT_GT(three.at(int(c.cx + 0.5f), int(c.cy + 0.5f)), 30000) << shape;
        });
    }
}

TEST(CellMap, CellsAreCutAtTheBorderAndNothingIsWrittenOutside)
{
    const int w = 40, h = 30;
    const std::uint16_t guard = 0x1234;
    std::vector<std::uint16_t> block(std::size_t(w) * (h + 2) * 4, guard);  // a spare row each side
    MapRun run(w, h, block.data() + w * 4);

    // One square far larger than the picture covers every pixel.
    run.p.cell_count_x.value = run.p.cell_count_y.value = 1;
    run.p.cell_size.value = 5.0;
    run.p.cell_curve.value = 0.0;
    run.draw(vx::shape_square);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(run.at(x, y), 32767) << x << "," << y;

    // Turned, shifted hexagons hanging over every side.
    run.p.cell_count_x.value = run.p.cell_count_y.value = 20;
    run.p.cell_size.value = 0.2;
    run.p.cell_curve.value = 1.0;
    run.p.cell_angle.value = 17.0;
    run.p.tweak.x = 0.58;
    run.p.tweak.y = 0.43;
    run.draw(vx::shape_hexagon);
    for (int x = 0; x < w * 4; ++x) {
        EXPECT_EQ(block[x], guard);
        EXPECT_EQ(block[std::size_t(h + 1) * w * 4 + x], guard);
    }
    int edge_pixels = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint16_t* s = run.map->rows[y] + 4 * x;
            EXPECT_TRUE(s[1] == s[0] && s[2] == s[0] && s[3] == 0) << x << "," << y;
            edge_pixels += (x == 0 || y == 0 || x == w - 1 || y == h - 1) && s[0] != 0;
        }
    EXPECT_GT(edge_pixels, w + h);

    // Pictures of a pixel or a line, cells of every shape over them: no write
    // outside (the address sanitizer run checks the map's own block too).
    for (auto [tw, th] : {std::pair{1, 1}, std::pair{1, 3}, std::pair{3, 1}})
        for (int shape = 1; shape <= 6; ++shape) {
            std::vector<std::uint16_t> small(std::size_t(tw) * (th + 2) * 4, guard);
            MapRun tiny(tw, th, small.data() + tw * 4);
            tiny.p.cell_size.value = 5.0;
            tiny.p.cell_count_x.value = tiny.p.cell_count_y.value = 3;
            tiny.draw(shape);
            for (int x = 0; x < tw * 4; ++x)
                EXPECT_TRUE(small[x] == guard && small[small.size() - 1 - x] == guard) << shape;
        }
}

TEST(CellMap, CurveZeroFillsCellsAndLeavesGapsBlack)
{
    MapRun run(96, 96);
    run.p.cell_count_x.value = run.p.cell_count_y.value = 4;
    run.p.cell_size.value = 0.5;  // R = 9.6
    run.p.cell_curve.value = 0.0;
    run.draw(vx::shape_octagon);
    int covered = 0;
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 96; ++x)
            if (run.at(x, y) != 0) {
                EXPECT_EQ(run.at(x, y), 32767);
                ++covered;
            }
    EXPECT_GT(covered, 0);
    // The square gap where four octagons meet stays black.
    const CellGrid g = grid_of(vx::shape_octagon, 96, 96, 4, 0.5);
    const int gx = int((g.i_from + 1.0f) * g.pitch_x);
    const int gy = int((g.j_from + 1.0f) * g.pitch_y);
    EXPECT_EQ(run.at(gx, gy), 0);
    EXPECT_EQ(run.at(gx - 1, gy - 1), 0);
}

TEST(CellMap, ProfileFallsFromFullAtTheCentreToZeroAtTheCircle)
{
    MapRun run(32, 32);
    run.map->fill(0, 0, 0, 0);
    run.t.frame.cell_radius = 8.0f;
    float cx = 10.0f, cy = 10.0f;
    vx::CellPolygon cell;
    cell.centre_x = &cx;
    cell.centre_y = &cy;
    auto profile = [&](int x, int y, double curve) {
        run.p.cell_curve.value = curve;
        run.t.cell_profile(x, y, cell);
        return run.at(x, y);
    };
    EXPECT_EQ(profile(10, 10, 1.0), 32767);
    EXPECT_EQ(profile(14, 10, 1.0), 23169);  // sin(pi/4), truncated
    EXPECT_EQ(profile(14, 10, 2.0), 16383);  // 0.5, truncated
    EXPECT_EQ(profile(10, 18, 1.0), 0);      // on the circle
    EXPECT_EQ(profile(20, 20, 0.0), 32767);  // beyond it, a zero power is still 1
}

TEST(CellMap, PositiveAngleTurnsClockwiseAboutThePivotAndTweakShiftsAfter)
{
    // One square at the centre of a 100 x 100 picture, pivot left of it:
    // where does its peak go?
    auto peak = [](double angle, double tweak_x) {
        MapRun run(100, 100);
        run.p.cell_count_x.value = run.p.cell_count_y.value = 1;
        run.p.cell_size.value = 0.3;
        run.p.angle_centre.x = 0.25;
        run.p.cell_angle.value = angle;
        run.p.tweak.x = tweak_x;
        run.draw(vx::shape_square);
        std::pair<int, int> best{-1, -1};
        for (int y = 0, value = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x)
                if (run.at(x, y) > value)
                    value = run.at(x, y), best = {x, y};
        return best;
    };
    EXPECT_EQ(peak(0.0, 0.5), std::make_pair(50, 50));
    EXPECT_EQ(peak(90.0, 0.5), std::make_pair(25, 75));  // right of the pivot goes below
    EXPECT_EQ(peak(90.0, 0.6), std::make_pair(35, 75));  // shifted by 0.1 W, pivot kept
}

TEST(CellMap, SameMapWhateverTheNumberOfProcessors)
{
    struct Picture {
        int w, h;
        double size;
    };
    for (auto [w, h, size] : {Picture{97, 61, 0.08}, Picture{23, 5, 0.3}}) {
        for (int shape = 1; shape <= 6; ++shape) {
            std::vector<std::uint16_t> reference;
            for (int procs : {1, 2, 3, 7}) {
                smp_set_numprocs(procs);
                MapRun run(w, h);
                run.p.cell_count_x.value = 7;
                run.p.cell_count_y.value = 5;
                run.p.cell_size.value = size;
                run.p.cell_angle.value = 23.5;
                run.p.angle_centre.x = 0.4;
                run.p.angle_centre.y = 0.6;
                run.p.tweak.x = 0.53;
                run.p.tweak.y = 0.46;
                run.draw(shape);
                if (procs == 1) {
                    reference = run.samples();
                    EXPECT_NE(reference, std::vector<std::uint16_t>(reference.size(), 0));
                } else {
                    EXPECT_EQ(run.samples(), reference) << shape << " on " << procs;
                }
            }
        }
    }
    smp_set_numprocs(1);
}
