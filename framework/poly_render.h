// Scan conversion of convex polygons into a raster, one callback per covered
// pixel, with clipping against a rectangle and turning about a point.
#pragma once

#include <cstdint>

namespace vx {

struct CellPolygon {
    static constexpr int max_vertices = 30;
    std::int32_t count = 0;
    // Rows at or beyond it are drawn on its last row.
    std::int32_t raster_height = 0;
    // The polygon's centre, owned by whoever fills the record, so that moving
    // the polygon moves the centre with it.
    float* centre_x = nullptr;
    float* centre_y = nullptr;
    float vertices[max_vertices][2] = {};
};

// Rows y0..y1 and columns x0..x1 that drawing may touch.
struct RowBand {
    std::int32_t x0, y0, x1, y1;
};

class PolyRender {
public:
    virtual ~PolyRender() = default;

    // Called once for every covered pixel.
    virtual void render_pixel(int /*x*/, int /*y*/, const CellPolygon& /*polygon*/) {}
    // Called once for every covered span of a row, pixels x_first..x_last;
    // by default calls render_pixel for each of them, left to right.
    virtual void render_span(int y, int x_first, int x_last, const CellPolygon& polygon);

    void draw_polygon(const CellPolygon& polygon, const RowBand& band);
    // Clips in place to xmin..xmax, ymin..ymax; false when nothing remains.
    bool clip_polygon(CellPolygon& polygon, float xmin, float xmax, float ymin, float ymax);
    void fill_span(int y, float xa, float xb, const RowBand& band, const CellPolygon& polygon);
};

// The part of `source` where sign * coordinate - offset <= 0 (coordinate x
// for axis 0, y for axis 1), into `destination`.
void clip_half_plane(const CellPolygon& source, CellPolygon& destination, int axis, float sign, float offset);
// Turns every vertex and the centre by `angle` radians about (kx, ky).
void rotate_polygon(CellPolygon& polygon, float angle, float kx, float ky);

}  // namespace vx
