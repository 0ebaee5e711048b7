// test-labels: threaded
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "effect/cell_shapes.h"
#include "effect/reference/passes.h"
#include "effect/trellin_info.h"
#include "pixels/parallel_rows.h"

using vx::CellGrid;

namespace {

// The default cell controls, drawing into a map of their own.
struct MapRun {
    MapRun(int w, int h, std::uint16_t* block = nullptr)
    {
        p.cell_size.value = 0.1;
        p.cell_count_x.value = p.cell_count_y.value = 10;
        p.angle_centre.x = p.angle_centre.y = p.tweak.x = p.tweak.y = 0.5;
        p.cell_curve.value = 1.0;
        map.reset(vx::ImageVx::create(w, h, block));
    }
    MapRun& cells(int count, double size)
    {
        p.cell_count_x.value = p.cell_count_y.value = count;
        p.cell_size.value = size;
        return *this;
    }
    vx::FrameState frame(int shape = 0)
    {
        p.cell_shape.value = shape;
        vx::FrameState f = vx::derive_frame_state(p, map->width, map->height);
        f.cell_map = map.get();
        return f;
    }
    void draw(int shape)
    {
        const vx::FrameState f = frame(shape);
        map->fill(0, 0, 0, 0);
        vx::parallel_rows(map->height, [&f](int first, int last) { vx::cell_map_rows(f, first, last); });
    }
    std::uint16_t at(int x, int y) const { return map->rows[y][4 * x]; }
    std::vector<std::uint16_t> samples() const
    {
        return {map->pixels, map->pixels + std::size_t(map->width) * map->height * 4};
    }

    vx::TrellinParams p;
    std::unique_ptr<vx::ImageVx> map;
};

CellGrid grid_of(int shape, int w, int h, int count = 10)
{
    CellGrid g;
    EXPECT_TRUE(vx::make_cell_grid(shape, float(0.1 * 0.2 * w), w, h, count, count, g));
    return g;
}

int cell_count(const CellGrid& g)
{
    int n = 0;
    vx::for_each_cell(g, [&](float, float) { ++n; });
    return n;
}

void expect_centre(const CellGrid& g, float j, float i, double cx, double cy)
{
    const vx::CellPlacement c = vx::place_cell(g, j, i);
    EXPECT_NEAR(c.cx, cx, 1e-2) << j << "," << i;
    EXPECT_NEAR(c.cy, cy, 1e-2) << j << "," << i;
}

}  // namespace

TEST(CellGrid, DefaultsAt1920x1080)
{
    const CellGrid tri = grid_of(vx::shape_triangle, 1920, 1080);
    EXPECT_NEAR(tri.pitch_x, 33.2554, 1e-3);
    EXPECT_FLOAT_EQ(tri.pitch_y, 57.6f);
    EXPECT_EQ(std::vector<float>({tri.half_cols, tri.half_rows, tri.j_from, tri.j_to, tri.i_from, tri.i_to}),
              std::vector<float>({28, 9, 4, 14, 23, 33}));
    EXPECT_EQ(vx::place_cell(tri, 4, 23).orientation, 1);  // odd column: apex up
    EXPECT_LT(tri.templates[1][2][1], 0.0f);               // its 270-degree vertex is on top
    EXPECT_EQ(vx::place_cell(tri, 4, 24).orientation, 0);
    expect_centre(tri, 4, 23, 814.76, 278.4);
    expect_centre(tri, 4, 24, 848.01, 259.2);
    EXPECT_NEAR(vx::place_cell(tri, 5, 23).cx, 814.76 - 33.2554, 1e-2);  // odd row steps back

    const CellGrid hex = grid_of(vx::shape_hexagon, 1920, 1080);
    EXPECT_FLOAT_EQ(hex.pitch_x, 57.6f);
    EXPECT_NEAR(hex.lift, 33.2554, 1e-3);
    EXPECT_NEAR(hex.half_cols, 16.6667, 1e-3);
    EXPECT_NEAR(hex.half_rows, 8.1190, 1e-3);
    EXPECT_NEAR(hex.j_from, 3.1190, 1e-3);
    EXPECT_EQ(cell_count(hex), 100);
    expect_centre(hex, hex.j_from, hex.i_from, 700.8, 240.70);  // floor(i) 11: lifted
    expect_centre(hex, hex.j_from, hex.i_from + 1.0f, 758.4, 207.45);
}

TEST(CellMap, OctagonAndPentagonDrawOneColumnFewerForOddCounts)
{
    for (int shape : {vx::shape_octagon, vx::shape_pentagon}) {
        MapRun one(96, 96);
        one.cells(1, 0.1).draw(shape);
        EXPECT_EQ(one.samples(), std::vector<std::uint16_t>(96 * 96 * 4, 0)) << shape;

        // Three asked for: two columns and two rows, their centres near full.
        const CellGrid g = grid_of(shape, 96, 96, 3);
        EXPECT_EQ(cell_count(g), 4) << shape;
        MapRun three(96, 96);
        three.cells(3, 0.1).draw(shape);
        vx::for_each_cell(g, [&](float j, float i) {
            const vx::CellPlacement c = vx::place_cell(g, j, i);
            EXPECT_GT(three.at(int(c.cx + 0.5f), int(c.cy + 0.5f)), 30000) << shape;
        });
    }
}

TEST(CellMap, CellsAreCutAtTheBorderAndNothingIsWrittenOutside)
{
    const std::uint16_t guard = 0x1234;
    // Each picture sits in a block with a spare guard row above and below.
    auto guarded = [&](int w, int h, int shape, auto set_up) {
        std::vector<std::uint16_t> block(std::size_t(w) * (h + 2) * 4, guard);
        MapRun run(w, h, block.data() + w * 4);
        set_up(run);
        run.draw(shape);
        for (int x = 0; x < w * 4; ++x)
            EXPECT_TRUE(block[x] == guard && block[block.size() - 1 - x] == guard) << w << "x" << h << " " << shape;
        return run.samples();
    };
    // One square with curve 0, far larger than the picture, covers every pixel fully.
    const auto full = guarded(40, 30, vx::shape_square, [](MapRun& r) { r.cells(1, 5.0).p.cell_curve.value = 0.0; });
    for (std::size_t k = 0; k < full.size(); k += 4) ASSERT_EQ(full[k], 32767) << k;

    // Turned, shifted hexagons hanging over every side.
    guarded(40, 30, vx::shape_hexagon, [](MapRun& r) {
        r.cells(20, 0.2).p.cell_angle.value = 17.0;
        r.p.tweak.x = 0.58;
        r.p.tweak.y = 0.43;
    });
    // Pictures of a pixel or a line under cells of every shape.
    for (auto [w, h] : {std::pair{1, 1}, std::pair{1, 3}, std::pair{3, 1}})
        for (int shape = 1; shape <= 6; ++shape) guarded(w, h, shape, [](MapRun& r) { r.cells(3, 5.0); });
}

TEST(CellMap, ProfileFallsFromFullAtTheCentreToZeroAtTheCircle)
{
    MapRun run(32, 32);
    run.map->fill(0, 0, 0, 0);
    vx::FrameState f = run.frame();
    f.cell_radius = 8.0f;
    float cx = 10.0f, cy = 10.0f;
    vx::CellPolygon cell;
    cell.centre_x = &cx;
    cell.centre_y = &cy;
    auto profile = [&](int x, int y, double curve) {
        f.cell_curve = curve;
        vx::cell_profile(f, x, y, cell);
        return run.at(x, y);
    };
    EXPECT_EQ(profile(10, 10, 1.0), 32767);
    EXPECT_EQ(profile(14, 10, 1.0), 23169);  // sin(pi/4), truncated
    EXPECT_EQ(profile(14, 10, 2.0), 16383);  // 0.5, truncated
    EXPECT_EQ(profile(10, 18, 1.0), 0);      // on the circle
    EXPECT_EQ(profile(20, 20, 0.0), 32767);  // beyond it, a zero power is still 1
}
