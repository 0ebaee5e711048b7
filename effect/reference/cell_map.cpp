// The cell map: every cell of the grid is placed, turned about the pivot,
// shifted, clipped to the picture and scan-converted; each covered pixel gets
// the height of the cell's dome there. One cell loop serves all six shapes;
// what differs between them lives in the shape table (cell_shapes.cpp).
#include <cmath>
#include <cstdint>

#include "effect/cell_layout.h"
#include "effect/cell_shapes.h"
#include "effect/reference/passes.h"
#include "effect/pixel_math.h"

namespace vx {

namespace {

// Draws each covered pixel of a cell with its dome height.
class CellPainter : public PolyRender {
public:
    explicit CellPainter(const FrameState& frame) : frame_(frame) {}
    void render_pixel(int x, int y, const CellPolygon& polygon) override { cell_profile(frame_, x, y, polygon); }

private:
    const FrameState& frame_;
};

}  // namespace

CellLayout::CellLayout(const FrameState& frame)
{
    const int width = frame.width;
    const int height = frame.height;
    const double angle_degrees = frame.cell_angle;
    angle_ = float(angle_degrees * 0.017453292522222223);
    kx_ = float(width * frame.angle_centre_x);
    ky_ = float(height * frame.angle_centre_y);
    ox_ = float((frame.tweak_x - 0.5) * width);
    oy_ = float((frame.tweak_y - 0.5) * height);
    turned_ = angle_degrees != 0.0;  // a NaN angle counts as turned
    shifted_ = ox_ != 0.0f || oy_ != 0.0f;
    clip_w_ = float(width);
    clip_h_ = float(height);
    valid_ = make_cell_grid(frame.cell_shape, frame.cell_radius, width, height, frame.cell_count_x, frame.cell_count_y,
                            grid_);
    for (int t = 0; valid_ && t < grid_.template_count; ++t) {
        templates_[t].count = grid_.vertex_count;
        templates_[t].raster_height = height;
        for (int k = 0; k < grid_.vertex_count; ++k) {
            templates_[t].vertices[k][0] = grid_.templates[t][k][0];
            templates_[t].vertices[k][1] = grid_.templates[t][k][1];
        }
    }
}

void CellLayout::place(float j, float i, CellPolygon& cell, float& centre_x, float& centre_y) const
{
    const CellPlacement place = place_cell(grid_, j, i);
    const CellPolygon& tmpl = templates_[place.orientation];
    centre_x = place.cx;
    centre_y = place.cy;
    cell.count = tmpl.count;
    cell.raster_height = tmpl.raster_height;
    cell.centre_x = &centre_x;
    cell.centre_y = &centre_y;
    for (int k = 0; k < tmpl.count; ++k) {
        cell.vertices[k][0] = tmpl.vertices[k][0] + place.cx;
        cell.vertices[k][1] = tmpl.vertices[k][1] + place.cy;
    }
    // Turning moves the centre with the vertices, through the cell's pointers.
    if (turned_) rotate_polygon(cell, angle_, kx_, ky_);
    if (shifted_) {
        for (int k = 0; k < cell.count; ++k) {
            cell.vertices[k][0] = cell.vertices[k][0] + ox_;
            cell.vertices[k][1] = cell.vertices[k][1] + oy_;
        }
        centre_x = centre_x + ox_;
        centre_y = centre_y + oy_;
    }
    PolyRender().clip_polygon(cell, 0.0f, clip_w_, 0.0f, clip_h_);
}

// Draws the whole grid, writing only map rows first_row..last_row. Every band
// walks every cell in the same order, so a pixel covered by several cells
// ends with the same (last drawn) cell whatever the banding.
void cell_map_rows(const FrameState& frame, int first_row, int last_row)
{
    if (first_row > last_row || frame.width <= 0 || frame.height <= 0 || !frame.cell_map) return;
    const CellLayout layout(frame);
    if (!layout.valid()) return;
    const RowBand band{0, first_row, frame.width, last_row};
    CellPainter painter(frame);
    CellPolygon cell;
    float centre_x = 0.0f;
    float centre_y = 0.0f;
    for_each_cell(layout.grid(), [&](float j, float i) {
        layout.place(j, i, cell, centre_x, centre_y);
        painter.draw_polygon(cell, band);
    });
}

// Height of the dome at pixel (x, y): full at the cell centre, falling along
// a quarter sine to 0 at the circumradius, raised to the power "CellCurve".
void cell_profile(const FrameState& frame, int x, int y, const CellPolygon& polygon)
{
    ImageVx* map = frame.cell_map;
    // The span rule can reach one column past the picture (its column limit
    // is the width); such pixels, and anything else off the map, are dropped
    // so that no band writes outside its own rows.
    if (!map || !polygon.centre_x || !polygon.centre_y || x < 0 || y < 0 || x >= map->width || y >= map->height) return;

    const float dx = *polygon.centre_x - float(x);
    const float dy = *polygon.centre_y - float(y);
    const double d = std::sqrt(double(dy) * double(dy) + double(dx) * double(dx));
    float t = float(1.0 - d / double(frame.cell_radius));
    if (t > 1.0f)
        t = 1.0f;
    else if (!(t >= 0.0f))
        t = 0.0f;
    const std::uint16_t level = dome_level(t, frame.cell_curve);
    std::uint16_t* pixel = map->rows[y] + 4 * std::size_t(x);
    pixel[0] = level;
    pixel[1] = level;
    pixel[2] = level;
}

}  // namespace vx
