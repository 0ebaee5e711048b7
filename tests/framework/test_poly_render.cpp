#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>
#include <set>
#include <utility>

#include "framework/poly_render.h"

using vx::CellPolygon;
using vx::RowBand;

namespace {

using Pixel = std::pair<int, int>;  // (x, y)

// Records every pixel it is asked to draw, and who drew it last.
class Recorder : public vx::PolyRender {
public:
    void render_pixel(int x, int y, const CellPolygon&) override
    {
        pixels.insert({x, y});
        ++calls;
        owner[{x, y}] = tag;
    }
    std::set<Pixel> pixels;
    std::map<Pixel, int> owner;
    int calls = 0;
    int tag = 0;
};

CellPolygon make_polygon(std::initializer_list<std::pair<float, float>> vertices, int raster = 100)
{
    CellPolygon p;
    p.raster_height = raster;
    for (auto [x, y] : vertices) {
        p.vertices[p.count][0] = x;
        p.vertices[p.count][1] = y;
        ++p.count;
    }
    return p;
}

CellPolygon box(float x0, float y0, float x1, float y1, int raster = 100)
{
    return make_polygon({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, raster);
}

std::set<Pixel> rect_pixels(int x0, int y0, int x1, int y1)
{
    std::set<Pixel> s;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            s.insert({x, y});
    return s;
}

const RowBand everything{0, 0, 1000, 1000};

}  // namespace

TEST(ScanConversion, PixelCentresInsideTheOutlineInEitherWinding)
{
    // Edges on pixel boundaries: exactly the pixels 2..5 x 3..4.
    Recorder clockwise, counter;
    clockwise.draw_polygon(box(2, 3, 6, 5), everything);
    counter.draw_polygon(make_polygon({{2, 3}, {2, 5}, {6, 5}, {6, 3}}), everything);
    EXPECT_EQ(clockwise.pixels, rect_pixels(2, 3, 5, 4));
    EXPECT_EQ(counter.pixels, rect_pixels(2, 3, 5, 4));
    EXPECT_EQ(clockwise.calls, 8);  // no pixel twice

    // A triangle: row y holds the columns whose centres lie inside it.
    Recorder tri;
    tri.draw_polygon(make_polygon({{0, 0}, {10, 10}, {0, 10}}), everything);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(tri.pixels.count({x, y}) == 1, x + 0.5 <= y + 0.5) << x << "," << y;
}

TEST(ScanConversion, SharedEdgesGoToOneCell)
{
    // A vertical edge through pixel centres (x = 4.5): the pixel goes left.
    Recorder r;
    r.tag = 1;
    r.draw_polygon(box(1.5f, 0, 4.5f, 3), everything);
    r.tag = 2;
    r.draw_polygon(box(4.5f, 0, 7.5f, 3), everything);
    EXPECT_EQ(r.owner.at({4, 1}), 1);
    EXPECT_EQ(r.owner.at({5, 1}), 2);

    // A horizontal edge through pixel centres (y = 4.5): the lower cell's span
    // on that row is empty, so the upper cell keeps the row even though the
    // lower one is drawn later.
    for (bool first_vertex_right : {false, true}) {
        Recorder h;
        h.tag = 1;
        h.draw_polygon(box(2, 1.5f, 6, 4.5f), everything);
        h.tag = 2;
        h.draw_polygon(first_vertex_right
                           ? make_polygon({{6, 4.5f}, {6, 7.5f}, {2, 7.5f}, {2, 4.5f}})
                           : box(2, 4.5f, 6, 7.5f),
                       everything);
        for (int x = 2; x < 6; ++x) {
            EXPECT_EQ(h.owner.at({x, 4}), 1);
            EXPECT_EQ(h.owner.at({x, 5}), 2);
        }
    }
}

TEST(ScanConversion, BandLimitsRowsAndColumnsAndDegenerateCountsDrawNothing)
{
    Recorder r;
    r.draw_polygon(box(0, 0, 20, 20), RowBand{3, 5, 7, 6});
    EXPECT_EQ(r.pixels, rect_pixels(3, 5, 7, 6));

    Recorder none;
    CellPolygon two = make_polygon({{0, 0}, {5, 5}});
    none.draw_polygon(two, everything);
    CellPolygon many = box(0, 0, 5, 5);
    many.count = 31;
    none.draw_polygon(many, everything);
    CellPolygon nan = box(0, 0, 5, 5);
    nan.vertices[2][1] = std::nanf("");
    none.draw_polygon(nan, everything);
    EXPECT_EQ(none.calls, 0);
}

TEST(ScanConversion, RowsAtOrBeyondRasterHeightLandOnItsLastRow)
{
    Recorder r;
    r.draw_polygon(box(0, 2, 1, 6, /*raster=*/4), everything);
    // Rows 2..5 are spanned; 4 and 5 are redrawn on row 3.
    EXPECT_EQ(r.pixels, rect_pixels(0, 2, 0, 3));
    EXPECT_EQ(r.calls, 4);
}

TEST(Clipping, InsideOutsideAndAcross)
{
    vx::PolyRender pr;
    CellPolygon inside = box(1, 1, 5, 5);
    EXPECT_TRUE(pr.clip_polygon(inside, 0, 10, 0, 10));
    EXPECT_EQ(inside.count, 4);

    // Touching the border from inside is not outside (strict comparisons).
    CellPolygon touching = box(0, 0, 10, 10);
    EXPECT_TRUE(pr.clip_polygon(touching, 0, 10, 0, 10));
    EXPECT_EQ(touching.count, 4);

    CellPolygon beyond = box(11, 1, 15, 5);
    EXPECT_FALSE(pr.clip_polygon(beyond, 0, 10, 0, 10));
    EXPECT_EQ(beyond.count, 0);

    // A triangle across the top-left corner keeps its centre pointers and
    // every remaining vertex is inside.
    float cx = 1, cy = 1;
    CellPolygon across = make_polygon({{-4, -2}, {6, 1}, {1, 7}});
    across.centre_x = &cx;
    across.centre_y = &cy;
    EXPECT_TRUE(pr.clip_polygon(across, 0, 10, 0, 10));
    EXPECT_GE(across.count, 4);
    EXPECT_EQ(across.centre_x, &cx);
    EXPECT_EQ(across.raster_height, 100);
    for (int k = 0; k < across.count; ++k) {
        EXPECT_GE(across.vertices[k][0], -1e-6f);
        EXPECT_GE(across.vertices[k][1], -1e-6f);
    }
}

TEST(Clipping, ClippedPolygonDrawsTheUnclippedPixelsInsideTheRectangle)
{
    // A box crossing all four sides of a 16 x 12 raster.
    Recorder whole, cut;
    whole.draw_polygon(box(-5.3f, -3.7f, 20.2f, 14.6f), everything);
    CellPolygon p = box(-5.3f, -3.7f, 20.2f, 14.6f);
    ASSERT_TRUE(cut.clip_polygon(p, 0, 16, 0, 12));
    cut.draw_polygon(p, RowBand{0, 0, 16, 11});
    EXPECT_EQ(cut.pixels, rect_pixels(0, 0, 15, 11));
    for (const Pixel& px : cut.pixels)
        EXPECT_EQ(whole.pixels.count(px), 1u);
}

TEST(Clipping, HalfPlaneKeepsVerticesOnTheLine)
{
    // Keep x <= 2 of the square 0..4: vertices on x = 2 are inside.
    CellPolygon src = box(0, 0, 4, 4);
    CellPolygon dst;
    vx::clip_half_plane(src, dst, 0, 1.0f, 2.0f);
    ASSERT_EQ(dst.count, 4);
    std::set<std::pair<float, float>> got;
    for (int k = 0; k < dst.count; ++k)
        got.insert({dst.vertices[k][0], dst.vertices[k][1]});
    EXPECT_EQ(got, (std::set<std::pair<float, float>>{{0, 0}, {2, 0}, {2, 4}, {0, 4}}));

    // Keep y >= 1 (sign -1, offset -1) of a triangle with a vertex at y = 1.
    CellPolygon tri = make_polygon({{0, 1}, {4, 5}, {0, 5}});
    vx::clip_half_plane(tri, dst, 1, -1.0f, -1.0f);
    EXPECT_EQ(dst.count, 3);
}

TEST(Turning, PositiveAngleTurnsClockwiseOnThePictureWithTheCentre)
{
    float cx = 12, cy = 5;
    CellPolygon p = make_polygon({{12, 5}, {10, 7}, {8, 5}});
    p.centre_x = &cx;
    p.centre_y = &cy;
    vx::rotate_polygon(p, float(std::numbers::pi / 2), 10, 5);
    // Right of the pivot goes below it (y points down).
    EXPECT_NEAR(p.vertices[0][0], 10, 1e-5);
    EXPECT_NEAR(p.vertices[0][1], 7, 1e-5);
    EXPECT_NEAR(p.vertices[1][0], 8, 1e-5);
    EXPECT_NEAR(p.vertices[1][1], 5, 1e-5);
    EXPECT_NEAR(cx, 10, 1e-5);
    EXPECT_NEAR(cy, 7, 1e-5);
}
