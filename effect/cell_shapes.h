// The six cell shapes: the polygon templates of each, and how their grid is
// laid out around the picture centre (pitches, half counts, index ranges and
// the centre and orientation of the cell at each index).
#pragma once

namespace vx {

// Shapes by their "CellShape" list value.
enum CellShape : int {
    shape_triangle = 1,
    shape_square = 2,
    shape_pentagon = 3,
    shape_hexagon = 4,
    shape_octagon = 5,
    shape_dodecagon = 6,
};

// One shape's grid for one picture, worked out once per worker call. All
// values are single precision, as the cells are placed with them.
struct CellGrid {
    static constexpr int max_template_vertices = 12;

    int shape = 0;
    int vertex_count = 0;    // vertices of each template
    int template_count = 0;  // 2 for the triangle and pentagon (down/up), else 1
    // Template vertices around the origin, in drawing order. For the
    // triangle template 0 has its apex down and template 1 up; for the
    // pentagon template 0 has its apex up and template 1 down.
    float templates[2][max_template_vertices][2] = {};

    float pitch_x = 0.0f;  // column pitch
    // Row measure that the half row count divides the height by: the row
    // pitch of the triangle, square and octagon, the pentagon's
    // R sin 54 + R sin 18 + (R - R sin 18), twice the half height of the
    // hexagon and dodecagon.
    float pitch_y = 0.0f;
    float half_cols = 0.0f;  // hc
    float half_rows = 0.0f;  // hr

    // Row index j runs from j_from in steps of 1.0 while below j_to; for
    // each j the column index i does the same over i_from..i_to.
    float j_from = 0.0f, j_to = 0.0f;
    float i_from = 0.0f, i_to = 0.0f;

    // Placement values of the shapes that need them.
    float step_x = 0.0f;      // triangle: x step per column, R cos 330
    float back_x = 0.0f;      // triangle: R cos 30, odd rows; pentagon: R cos 18, phases 2 and 3
    float lift = 0.0f;        // triangle: R sin 90 - R sin 30 for apex-up cells;
                              // hexagon, dodecagon: half height b for odd columns
    float row_height = 0.0f;  // pentagon: h, the height of a pair of rows
    float rise_2 = 0.0f;      // pentagon: 2 R sin 54
    float rise_4 = 0.0f;      // pentagon: 4 R sin 54
    float rs18 = 0.0f;        // pentagon: R sin 18
    float radius = 0.0f;      // R
};

// A cell's centre and the template it uses.
struct CellPlacement {
    float cx = 0.0f;
    float cy = 0.0f;
    int orientation = 0;
};

// Fills `grid` for `shape` (1..6) on a width x height picture with cells of
// circumradius `radius`, count_x x count_y asked for. False for an unknown
// shape. Ranges that single-precision steps of 1.0 cannot walk (beyond
// +-2^24, or not numbers) are left empty.
bool make_cell_grid(int shape, float radius, int width, int height, int count_x, int count_y, CellGrid& grid);

// The cell at row index j and column index i.
CellPlacement place_cell(const CellGrid& grid, float j, float i);

// Calls visit(j, i) for every cell of the grid, rows outer, both ascending.
template <class Visit>
void for_each_cell(const CellGrid& grid, Visit&& visit)
{
    for (float j = grid.j_from; j < grid.j_to; j += 1.0f)
        for (float i = grid.i_from; i < grid.i_to; i += 1.0f) visit(j, i);
}

}  // namespace vx
