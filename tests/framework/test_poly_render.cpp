#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <utility>

#include "framework/poly_render.h"

using vx::CellPolygon;
using vx::RowBand;

namespace {

using Pixel = std::pair<int, int>;  // (x, y)

// Records which polygon (by tag) drew each pixel last. Cut cells covering a
// whole raster, and nothing drawn outside it, are checked with the cell map.
class Recorder : public vx::PolyRender {
public:
    void render_pixel(int x, int y, const CellPolygon&) override { owner[{x, y}] = tag; }
    std::map<Pixel, int> owner;
    int tag = 0;
};

CellPolygon polygon(std::initializer_list<std::pair<float, float>> vertices)
{
    CellPolygon p;
    p.raster_height = 100;
    for (auto [x, y] : vertices) {
        p.vertices[p.count][0] = x;
        p.vertices[p.count][1] = y;
        ++p.count;
    }
    return p;
}

CellPolygon box(float x0, float y0, float x1, float y1)
{
    return polygon({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
}

std::map<Pixel, int> rect(int x0, int y0, int x1, int y1, int tag = 0)
{
    std::map<Pixel, int> s;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) s[{x, y}] = tag;
    return s;
}

const RowBand everything{0, 0, 1000, 1000};

}  // namespace

TEST(ScanConversion, PixelCentresInsideInEitherWindingAndWithinTheBand)
{
    Recorder cw, ccw, banded, none;
    cw.draw_polygon(box(2, 3, 6, 5), everything);
    ccw.draw_polygon(polygon({{2, 3}, {2, 5}, {6, 5}, {6, 3}}), everything);
    EXPECT_EQ(cw.owner, rect(2, 3, 5, 4));
    EXPECT_EQ(ccw.owner, cw.owner);

    banded.draw_polygon(box(0, 0, 20, 20), RowBand{3, 5, 7, 6});
    EXPECT_EQ(banded.owner, rect(3, 5, 7, 6));

    CellPolygon nan = box(0, 0, 5, 5);
    nan.vertices[2][1] = std::nanf("");
    none.draw_polygon(nan, everything);
    none.draw_polygon(polygon({{0, 0}, {5, 5}}), everything);
    EXPECT_TRUE(none.owner.empty());
}

TEST(ScanConversion, EdgesThroughPixelCentres)
{
    // Two cells drawn one after the other, tagged 1 and 2.
    auto pair = [](const CellPolygon& first, const CellPolygon& second) {
        Recorder r;
        r.tag = 1;
        r.draw_polygon(first, everything);
        r.tag = 2;
        r.draw_polygon(second, everything);
        return r.owner;
    };
    // Vertical edge at x = 4.5: the pixel goes to the cell on its left.
    const auto v = pair(box(1.5f, 0, 4.5f, 3), box(4.5f, 0, 7.5f, 3));
    EXPECT_EQ(v.at({4, 1}), 1);
    EXPECT_EQ(v.at({5, 1}), 2);

    // Horizontal edge at y = 4.5: the lower cell's span on row 4 is empty, so
    // the upper cell keeps the row, whichever top vertex the lower cell lists
    // first. (Likewise the upper cell's own top row 1 is empty.)
    for (const CellPolygon& lower : {box(2, 4.5f, 6, 7.5f), polygon({{6, 4.5f}, {6, 7.5f}, {2, 7.5f}, {2, 4.5f}})}) {
        auto expected = rect(2, 2, 5, 4, 1);
        expected.merge(rect(2, 5, 5, 7, 2));
        EXPECT_EQ(pair(box(2, 1.5f, 6, 4.5f), lower), expected);
    }
}

TEST(Clipping, CutPolygonDrawsTheWholePolygonsPixelsInsideTheRectangle)
{
    vx::PolyRender pr;
    CellPolygon touching = box(0, 0, 10, 10);  // on the border is inside
    EXPECT_TRUE(pr.clip_polygon(touching, 0, 10, 0, 10));
    CellPolygon beyond = box(11, 1, 15, 5);
    EXPECT_FALSE(pr.clip_polygon(beyond, 0, 10, 0, 10));
    EXPECT_EQ(beyond.count, 0);

    // A triangle over a corner: centre pointers survive, vertices are inside.
    float cx = 1, cy = 1;
    CellPolygon corner = polygon({{-4, -2}, {6, 1}, {1, 7}});
    corner.centre_x = &cx;
    corner.centre_y = &cy;
    ASSERT_TRUE(pr.clip_polygon(corner, 0, 10, 0, 10));
    EXPECT_EQ(corner.count, 5);
    EXPECT_EQ(corner.centre_x, &cx);
    for (int k = 0; k < corner.count; ++k) {
        EXPECT_GE(corner.vertices[k][0], -1e-6f);
        EXPECT_GE(corner.vertices[k][1], -1e-6f);
    }
}

TEST(Clipping, HalfPlaneKeepsVerticesOnTheLine)
{
    CellPolygon dst;
    vx::clip_half_plane(polygon({{0, 1}, {4, 5}, {0, 5}}), dst, 1, -1.0f, -1.0f);  // y >= 1
    EXPECT_EQ(dst.count, 3);
}
