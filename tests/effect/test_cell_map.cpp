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
        auto& p = t.param;
        p.cell_size.value = 0.1;
        p.cell_count_x.value = 10;
        p.cell_count_y.value = 10;
        p.cell_angle.value = 0.0;
        p.angle_centre.x = p.angle_centre.y = 0.5;
        p.tweak.x = p.tweak.y = 0.5;
        p.cell_curve.value = 1.0;
        map.reset(vx::ImageVx::create(w, h, block));
        t.frame.width = w;
        t.frame.height = h;
        t.frame.cell_map = map.get();
    }

    const vx::ImageVx& draw(int shape)
    {
        t.frame.cell_radius = float(t.param.cell_size.value * 0.2 * t.frame.width);
        map->fill(0, 0, 0, 0);
        vx::parallel_rows(&t, workers[shape], t.frame.height);
        return *map;
    }

    std::uint16_t at(int x, int y) const { return map->rows[y][4 * x]; }
    std::vector<std::uint16_t> samples() const
    {
        return {map->pixels, map->pixels + std::size_t(map->width) * map->height * 4};
    }

    Trellin t;
    std::unique_ptr<vx::ImageVx> map;
};

CellGrid grid_of(int shape, int w, int h, int cx = 10, int cy = 10, double size = 0.1)
{
    CellGrid g;
    EXPECT_TRUE(vx::make_cell_grid(shape, float(size * 0.2 * w), w, h, cx, cy, g));
    return g;
}

int cells_in(const CellGrid& g, int& rows)
{
    int n = 0;
    float last_j = -1e9f;
    rows = 0;
    vx::for_each_cell(g, [&](float j, float) {
        rows += j != last_j;
        last_j = j;
        ++n;
    });
    return n;
}

}  // namespace

TEST(CellGrid, SquareDefaultsAt1920x1080)
{
    const CellGrid g = grid_of(vx::shape_square, 1920, 1080);
    EXPECT_NEAR(g.pitch_x, 54.3058f, 1e-3);
    EXPECT_NEAR(g.half_cols, 17.6777f, 1e-3);
    int rows = 0;
    EXPECT_EQ(cells_in(g, rows), 100);
    EXPECT_EQ(rows, 10);
    const vx::CellPlacement first = vx::place_cell(g, g.j_from, g.i_from);
    EXPECT_NEAR(first.cx, 960 - 4.5 * 54.3058, 1e-2);
    EXPECT_NEAR(first.cy, 540 - 4.5 * 54.3058, 1e-2);

    // One map: the 10 x 10 block around the centre, nothing outside it.
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

TEST(CellGrid, TriangleDefaultsAt1920x1080)
{
    const CellGrid g = grid_of(vx::shape_triangle, 1920, 1080);
    EXPECT_NEAR(g.pitch_x, 33.2554f, 1e-3);
    EXPECT_FLOAT_EQ(g.pitch_y, 57.6f);
    EXPECT_EQ(g.half_cols, 28.0f);
    EXPECT_EQ(g.half_rows, 9.0f);
    EXPECT_EQ(g.j_from, 4.0f);
    EXPECT_EQ(g.j_to, 14.0f);
    EXPECT_EQ(g.i_from, 23.0f);
    EXPECT_EQ(g.i_to, 33.0f);

    const vx::CellPlacement up = vx::place_cell(g, 4, 23);  // odd column: apex up
    EXPECT_EQ(up.orientation, 1);
    EXPECT_NEAR(up.cx, 814.76, 1e-2);
    EXPECT_NEAR(up.cy, 278.4, 1e-3);
    const vx::CellPlacement down = vx::place_cell(g, 4, 24);
    EXPECT_EQ(down.orientation, 0);
    EXPECT_NEAR(down.cx, 848.01, 1e-2);
    EXPECT_NEAR(down.cy, 259.2, 1e-3);
    // Odd rows are set back by one pitch.
    EXPECT_NEAR(vx::place_cell(g, 5, 23).cx, 814.76 - 33.2554, 1e-2);
    // Apex up: the vertex at 270 degrees is on top.
    EXPECT_LT(g.templates[1][2][1], 0.0f);
    EXPECT_GT(g.templates[0][0][1], 0.0f);
}

TEST(CellGrid, HexagonDefaultsAt1920x1080)
{
    const CellGrid g = grid_of(vx::shape_hexagon, 1920, 1080);
    EXPECT_FLOAT_EQ(g.pitch_x, 57.6f);
    EXPECT_NEAR(g.lift, 33.2554, 1e-3);  // half height b
    EXPECT_NEAR(g.half_cols, 16.6667, 1e-3);
    EXPECT_NEAR(g.half_rows, 8.1190, 1e-3);
    EXPECT_NEAR(g.j_from, 3.1190, 1e-3);
    int rows = 0;
    EXPECT_EQ(cells_in(g, rows), 100);

    const vx::CellPlacement first = vx::place_cell(g, g.j_from, g.i_from);  // floor(i) 11, odd
    EXPECT_NEAR(first.cx, 700.8, 1e-2);
    EXPECT_NEAR(first.cy, 240.70, 1e-2);
    const vx::CellPlacement next = vx::place_cell(g, g.j_from, g.i_from + 1.0f);
    EXPECT_NEAR(next.cx, 758.4, 1e-2);
    EXPECT_NEAR(next.cy, 207.45, 1e-2);
}

TEST(CellGrid, OctagonAndPentagonUseIntegerHalvesOfTheCounts)
{
    for (int shape : {vx::shape_octagon, vx::shape_pentagon}) {
        int rows = 0;
        EXPECT_EQ(cells_in(grid_of(shape, 96, 96, 1, 1), rows), 0) << shape;
        const CellGrid g = grid_of(shape, 96, 96, 3, 3);
        EXPECT_EQ(cells_in(g, rows), 4) << shape;
        EXPECT_EQ(rows, 2) << shape;

        MapRun one(96, 96);
        one.t.param.cell_count_x.value = one.t.param.cell_count_y.value = 1;
        const auto& blank = one.draw(shape);
        EXPECT_EQ(one.samples(), std::vector<std::uint16_t>(blank.width * blank.height * 4, 0));

        // Three asked for: two columns, whose centres are drawn near full.
        MapRun three(96, 96);
        three.t.param.cell_count_x.value = three.t.param.cell_count_y.value = 3;
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
    // One spare row before and after the picture.
    std::vector<std::uint16_t> block(std::size_t(w) * (h + 2) * 4, guard);
    MapRun run(w, h, block.data() + w * 4);
    auto& p = run.t.param;

    // One square far larger than the picture covers every pixel, edge
    // rows and columns included.
    p.cell_count_x.value = p.cell_count_y.value = 1;
    p.cell_size.value = 5.0;
    p.cell_curve.value = 0.0;
    run.draw(vx::shape_square);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(run.at(x, y), 32767) << x << "," << y;

    // Turned, shifted hexagons hanging over every side.
    p.cell_count_x.value = p.cell_count_y.value = 20;
    p.cell_size.value = 0.2;
    p.cell_curve.value = 1.0;
    p.cell_angle.value = 17.0;
    p.tweak.x = 0.58;
    p.tweak.y = 0.43;
    run.draw(vx::shape_hexagon);
    for (int x = 0; x < w * 4; ++x) {
        EXPECT_EQ(block[x], guard);
        EXPECT_EQ(block[std::size_t(h + 1) * w * 4 + x], guard);
    }
    int edge_pixels = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint16_t* s = run.map->rows[y] + 4 * x;
            EXPECT_EQ(s[1], s[0]);
            EXPECT_EQ(s[2], s[0]);
            EXPECT_EQ(s[3], 0);
            edge_pixels += (x == 0 || y == 0 || x == w - 1 || y == h - 1) && s[0] != 0;
        }
    EXPECT_GT(edge_pixels, w + h);
}

TEST(CellMap, CurveZeroFillsCellsAndLeavesGapsBlack)
{
    MapRun run(96, 96);
    run.t.param.cell_count_x.value = run.t.param.cell_count_y.value = 4;
    run.t.param.cell_size.value = 0.5;  // R = 9.6
    run.t.param.cell_curve.value = 0.0;
    run.draw(vx::shape_octagon);
    int covered = 0;
    const std::vector<std::uint16_t> samples = run.samples();
    for (std::uint16_t s : samples)
        if (s != 0) {
            EXPECT_EQ(s, 32767);
            ++covered;
        }
    EXPECT_GT(covered, 0);
    // The square gap where four octagons meet stays black.
    const CellGrid g = grid_of(vx::shape_octagon, 96, 96, 4, 4, 0.5);
    const float gx = (g.i_from + 1.0f) * g.pitch_x;
    const float gy = (g.j_from + 1.0f) * g.pitch_y;
    EXPECT_EQ(run.at(int(gx), int(gy)), 0);
    EXPECT_EQ(run.at(int(gx) - 1, int(gy) - 1), 0);
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
        run.t.param.cell_curve.value = curve;
        run.t.cell_profile(x, y, cell);
        return run.at(x, y);
    };
    EXPECT_EQ(profile(10, 10, 1.0), 32767);
    EXPECT_EQ(profile(14, 10, 1.0), 23169);  // sin(pi/4), truncated
    EXPECT_EQ(profile(14, 10, 2.0), 16383);  // sin(pi/4)^2 = 0.5, truncated
    EXPECT_EQ(profile(10, 18, 1.0), 0);      // on the circle
    EXPECT_EQ(profile(20, 20, 1.0), 0);      // beyond it
    EXPECT_EQ(profile(20, 20, 0.0), 32767);  // a zero power is 1 even there
}

TEST(CellMap, PositiveAngleTurnsClockwiseAboutThePivotAndTweakShiftsAfter)
{
    // One square at the centre of a 100 x 100 picture, pivot left of it.
    auto peak = [](double angle, double tweak_x) {
        MapRun run(100, 100);
        auto& p = run.t.param;
        p.cell_count_x.value = p.cell_count_y.value = 1;
        p.cell_size.value = 0.3;
        p.angle_centre.x = 0.25;
        p.cell_angle.value = angle;
        p.tweak.x = tweak_x;
        run.draw(vx::shape_square);
        std::pair<int, int> best{-1, -1};
        int value = 0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x)
                if (run.at(x, y) > value)
                    value = run.at(x, y), best = {x, y};
        return best;
    };
    const auto centre = peak(0.0, 0.5);
    EXPECT_NEAR(centre.first, 50, 1);
    EXPECT_NEAR(centre.second, 50, 1);
    // Clockwise on the picture: right of the pivot goes below it.
    const auto turned = peak(90.0, 0.5);
    EXPECT_NEAR(turned.first, 25, 1);
    EXPECT_NEAR(turned.second, 75, 1);
    // The shift moves the turned cell by 0.1 W; the pivot stays put.
    const auto shifted = peak(90.0, 0.6);
    EXPECT_EQ(shifted.first, turned.first + 10);
    EXPECT_EQ(shifted.second, turned.second);
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
                auto& p = run.t.param;
                p.cell_count_x.value = 7;
                p.cell_count_y.value = 5;
                p.cell_size.value = size;
                p.cell_angle.value = 23.5;
                p.angle_centre.x = 0.4;
                p.angle_centre.y = 0.6;
                p.tweak.x = 0.53;
                p.tweak.y = 0.46;
                run.draw(shape);
                if (procs == 1) {
                    reference = run.samples();
                    EXPECT_NE(reference, std::vector<std::uint16_t>(reference.size(), 0)) << shape;
                } else
                    EXPECT_EQ(run.samples(), reference) << shape << " on " << procs;
            }
        }
    }
    smp_set_numprocs(1);
}
