// The cell map: every cell of the grid is placed, turned about the pivot,
// shifted, clipped to the picture and scan-converted; each covered pixel gets
// the height of the cell's dome there. One cell loop serves all six shapes;
// what differs between them lives in the shape table (cell_shapes.cpp).
#include <cmath>
#include <cstdint>

#include "effect/cell_shapes.h"
#include "effect/passes.h"

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

// Draws the whole grid, writing only map rows first_row..last_row. Every band
// walks every cell in the same order, so a pixel covered by several cells
// ends with the same (last drawn) cell whatever the banding.
void cell_map_rows(const FrameState& frame, int first_row, int last_row)
{
    const int width = frame.width;
    const int height = frame.height;
    if (first_row > last_row || width <= 0 || height <= 0 || !frame.cell_map)
        return;

    const double angle_degrees = frame.cell_angle;
    const float angle = float(angle_degrees * 0.017453292522222223);
    const float kx = float(width * frame.angle_centre_x);
    const float ky = float(height * frame.angle_centre_y);
    const float ox = float((frame.tweak_x - 0.5) * width);
    const float oy = float((frame.tweak_y - 0.5) * height);
    const bool turned = angle_degrees != 0.0;  // a NaN angle counts as turned
    const bool shifted = ox != 0.0f || oy != 0.0f;

    CellGrid grid;
    if (!make_cell_grid(frame.cell_shape, frame.cell_radius, width, height, frame.cell_count_x,
                        frame.cell_count_y, grid))
        return;

    // The cell centre lives here; the polygon records point at it so that the
    // turn and the shift move it with the vertices.
    float centre_x = 0.0f;
    float centre_y = 0.0f;
    CellPolygon templates[2];
    for (int t = 0; t < grid.template_count; ++t) {
        templates[t].count = grid.vertex_count;
        templates[t].raster_height = height;
        templates[t].centre_x = &centre_x;
        templates[t].centre_y = &centre_y;
        for (int k = 0; k < grid.vertex_count; ++k) {
            templates[t].vertices[k][0] = grid.templates[t][k][0];
            templates[t].vertices[k][1] = grid.templates[t][k][1];
        }
    }

    const float clip_w = float(width);
    const float clip_h = float(height);
    const RowBand band{0, first_row, width, last_row};
    CellPainter painter(frame);
    CellPolygon cell;

    for_each_cell(grid, [&](float j, float i) {
        const CellPlacement place = place_cell(grid, j, i);
        const CellPolygon& tmpl = templates[place.orientation];
        centre_x = place.cx;
        centre_y = place.cy;
        cell.count = tmpl.count;
        cell.raster_height = tmpl.raster_height;
        cell.centre_x = tmpl.centre_x;
        cell.centre_y = tmpl.centre_y;
        for (int k = 0; k < tmpl.count; ++k) {
            cell.vertices[k][0] = tmpl.vertices[k][0] + place.cx;
            cell.vertices[k][1] = tmpl.vertices[k][1] + place.cy;
        }
        if (turned)
            rotate_polygon(cell, angle, kx, ky);
        if (shifted) {
            for (int k = 0; k < cell.count; ++k) {
                cell.vertices[k][0] = cell.vertices[k][0] + ox;
                cell.vertices[k][1] = cell.vertices[k][1] + oy;
            }
            centre_x = centre_x + ox;
            centre_y = centre_y + oy;
        }
        painter.clip_polygon(cell, 0.0f, clip_w, 0.0f, clip_h);
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
    if (!map || !polygon.centre_x || !polygon.centre_y || x < 0 || y < 0 || x >= map->width ||
        y >= map->height)
        return;

    const float dx = *polygon.centre_x - float(x);
    const float dy = *polygon.centre_y - float(y);
    const double d = std::sqrt(double(dy) * double(dy) + double(dx) * double(dx));
    float t = float(1.0 - d / double(frame.cell_radius));
    if (t > 1.0f)
        t = 1.0f;
    else if (!(t >= 0.0f))
        t = 0.0f;
    const double s = std::sin(double(t) * 1.570796327);
    float v = float(std::pow(s, frame.cell_curve));
    if (v > 1.0f)
        v = 1.0f;
    else if (!(v >= 0.0f))
        v = 0.0f;
    const auto level = std::uint16_t(int(v * 32767.0f));
    std::uint16_t* pixel = map->rows[y] + 4 * std::size_t(x);
    pixel[0] = level;
    pixel[1] = level;
    pixel[2] = level;
}

}  // namespace vx
