// Templates and grid layouts of the six cell shapes. Every value is formed in
// single precision in the order written, from the float template vertices
// R cos(theta), R sin(theta); algebraically simpler forms (1.5 R and the
// like) would round differently and move cells by a fraction of a pixel.
#include "effect/cell_shapes.h"

#include <cmath>
#include <cstdint>
#include <numbers>

namespace vx {

namespace {

// Degrees to radians for the template angles: the exact angle rounded to
// float (45 degrees is 0.7853981852531433).
double float_radians(double degrees)
{
    return double(float(degrees * std::numbers::pi / 180.0));
}

// The dodecagon keeps its angles in double.
double double_radians(double degrees)
{
    return degrees * 0.017453292522222223;
}

// Integer part of a float, for the triangle's half counts; false when it has
// none that an int can hold.
bool integer_part(float value, float& result)
{
    if (!(std::fabs(value) < 2147483648.0f)) return false;
    result = float(std::int32_t(value));
    return true;
}

// Parity source of the triangle rows and columns and the pentagon phase: the
// integer part of index + 10000, which stays non-negative for the indices a
// picture can have.
int parity_base(float index)
{
    return int(index + 10000.0f);
}

// Floor of a float index as an integer.
int floor_index(float index)
{
    return int(std::floor(index));
}

// Steps of 1.0 in single precision move an index only while it stays
// within +-2^24.
bool walkable(float from, float to)
{
    constexpr float limit = 16777216.0f;
    return from >= -limit && from <= limit && to >= -limit && to <= limit;
}

struct Measure {
    float radius;
    double (*radians)(double);

    float rc(double degrees) const { return float(double(radius) * std::cos(radians(degrees))); }
    float rs(double degrees) const { return float(double(radius) * std::sin(radians(degrees))); }
};

// Sizes of the grid: width and height as floats, the counts and their halves.
struct Extent {
    float w, h;
    float cx_half, cy_half;          // CX * 0.5, CY * 0.5
    float cx_int_half, cy_int_half;  // CX / 2, CY / 2 as integers, then floats
};

void centred_ranges(CellGrid& g, float col_half, float row_half)
{
    g.j_from = g.half_rows - row_half;
    g.j_to = g.half_rows + row_half;
    g.i_from = g.half_cols - col_half;
    g.i_to = g.half_cols + col_half;
}

// --- Triangle: alternate apex down / apex up along a row, odd rows set back
// by half a side.

bool measure_triangle(CellGrid& g, const Measure& m, const Extent& e)
{
    g.pitch_x = m.rc(30);
    g.pitch_y = m.rs(30) + m.rs(90);
    if (!integer_part(e.w / g.pitch_x * 0.5f, g.half_cols) || !integer_part(e.h / g.pitch_y * 0.5f, g.half_rows))
        return false;
    centred_ranges(g, e.cx_half, e.cy_half);
    g.step_x = m.rc(330);
    g.back_x = m.rc(30);
    g.lift = m.rs(90) - m.rs(30);
    return true;
}

CellPlacement place_triangle(const CellGrid& g, float j, float i)
{
    CellPlacement p;
    p.cy = (j + 0.5f) * g.pitch_y;
    p.cx = (i + 1.5f) * g.step_x;
    if (parity_base(j) & 1) p.cx = p.cx - g.back_x;
    if (parity_base(i) & 1) {
        p.orientation = 1;
        p.cy = p.cy + g.lift;
    }
    return p;
}

// --- Square and octagon: a plain grid.

bool measure_square(CellGrid& g, const Measure& m, const Extent& e)
{
    g.pitch_x = 2.0f * m.rc(45);
    g.pitch_y = 2.0f * m.rs(45);
    g.half_cols = e.w / g.pitch_x * 0.5f;
    g.half_rows = e.h / g.pitch_y * 0.5f;
    centred_ranges(g, e.cx_half, e.cy_half);
    return true;
}

bool measure_octagon(CellGrid& g, const Measure& m, const Extent& e)
{
    g.pitch_x = 2.0f * m.rc(22.5);
    g.pitch_y = 2.0f * m.rs(67.5);
    g.half_cols = e.w / g.pitch_x * 0.5f;
    g.half_rows = e.h / g.pitch_y * 0.5f;
    centred_ranges(g, e.cx_int_half, e.cy_int_half);
    return true;
}

CellPlacement place_plain(const CellGrid& g, float j, float i)
{
    CellPlacement p;
    p.cx = (i + 0.5f) * g.pitch_x;
    p.cy = (j + 0.5f) * g.pitch_y;
    return p;
}

// --- Pentagon: a four-row pattern of up and down pentagons standing base to
// base, every second pair set back by half a column.

bool measure_pentagon(CellGrid& g, const Measure& m, const Extent& e)
{
    const float r = m.radius;
    const float rs54 = m.rs(54);
    const float rs18 = m.rs(18);
    g.pitch_x = 2.0f * m.rc(18);
    g.pitch_y = (rs54 + rs18) + (r - rs18);
    g.half_cols = e.w / g.pitch_x * 0.5f;
    g.half_rows = e.h / g.pitch_y * 0.5f;
    g.j_from = (g.half_rows - e.cy_int_half) + 1.0f;
    g.j_to = (g.half_rows + e.cy_int_half) + 1.0f;
    g.i_from = g.half_cols - e.cx_int_half;
    g.i_to = g.half_cols + e.cx_int_half;
    g.row_height = ((2.0f * rs54 + rs18) + r) / 2.0f;
    g.rise_2 = 2.0f * rs54;
    g.rise_4 = 4.0f * rs54;
    g.rs18 = rs18;
    g.back_x = m.rc(18);
    g.radius = r;
    return true;
}

CellPlacement place_pentagon(const CellGrid& g, float j, float i)
{
    CellPlacement p;
    const float cx0 = (i + 0.5f) * g.pitch_x;
    const float h = g.row_height;
    switch (parity_base(j) & 3) {
    case 0:
        p = {cx0, j * h, 0};
        break;
    case 1:
        p = {cx0, (j - 1.0f) * h + g.rise_2, 1};
        break;
    case 2:
        p = {cx0 - g.back_x, (j - 2.0f) * h + g.rise_2 + g.rs18 + g.radius, 0};
        break;
    default:
        p = {cx0 - g.back_x, (j - 3.0f) * h + g.rise_4 + g.rs18 + g.radius, 1};
        break;
    }
    return p;
}

// --- Hexagon and dodecagon: columns touching along their sides, every odd
// column half a row lower.

bool measure_hexagon(CellGrid& g, const Measure& m, const Extent& e)
{
    const float r = m.radius;
    const float rc60 = m.rc(60);
    g.pitch_x = (r - rc60) + 2.0f * rc60;
    g.lift = m.rs(60);
    g.pitch_y = 2.0f * g.lift;
    g.half_cols = e.w / g.pitch_x * 0.5f;
    g.half_rows = e.h / g.pitch_y * 0.5f;
    centred_ranges(g, e.cx_half, e.cy_half);
    return true;
}

bool measure_dodecagon(CellGrid& g, const Measure& m, const Extent& e)
{
    const float rc15 = m.rc(15);
    g.pitch_x = 2.0f * rc15 - (rc15 - m.rc(45));
    g.lift = m.rs(75);
    g.pitch_y = 2.0f * g.lift;
    g.half_cols = e.w / g.pitch_x * 0.5f;
    g.half_rows = e.h / g.pitch_y * 0.5f;
    centred_ranges(g, e.cx_half, e.cy_half);
    return true;
}

CellPlacement place_staggered(const CellGrid& g, float j, float i)
{
    CellPlacement p;
    p.cx = (i + 0.5f) * g.pitch_x;
    p.cy = g.pitch_y * j;
    if (floor_index(i) & 1) p.cy = p.cy + g.lift;
    return p;
}

// --- The table.

struct ShapeRule {
    int vertex_count;
    int template_count;
    double angles[2][CellGrid::max_template_vertices];  // degrees, drawing order
    double (*radians)(double);
    bool (*measure)(CellGrid&, const Measure&, const Extent&);
    CellPlacement (*place)(const CellGrid&, float, float);
};

const ShapeRule shape_rules[6] = {
    {3, 2, {{90, 210, 330}, {30, 150, 270}}, float_radians, measure_triangle, place_triangle},
    {4, 1, {{45, 135, 225, 315}}, float_radians, measure_square, place_plain},
    {5, 2, {{54, 126, 198, 270, 342}, {18, 90, 162, 234, 306}}, float_radians, measure_pentagon, place_pentagon},
    {6, 1, {{0, 60, 120, 180, 240, 300}}, float_radians, measure_hexagon, place_staggered},
    {8, 1, {{22.5, 67.5, 112.5, 157.5, 202.5, 247.5, 292.5, 337.5}}, float_radians, measure_octagon, place_plain},
    {12,
     1,
     {{15, 45, 75, 105, 135, 165, 195, 225, 255, 285, 315, 345}},
     double_radians,
     measure_dodecagon,
     place_staggered},
};

}  // namespace

bool make_cell_grid(int shape, float radius, int width, int height, int count_x, int count_y, CellGrid& grid)
{
    grid = CellGrid{};
    if (shape < shape_triangle || shape > shape_dodecagon) return false;
    const ShapeRule& rule = shape_rules[shape - 1];
    const Measure m{radius, rule.radians};

    grid.shape = shape;
    grid.vertex_count = rule.vertex_count;
    grid.template_count = rule.template_count;
    for (int t = 0; t < rule.template_count; ++t) {
        for (int k = 0; k < rule.vertex_count; ++k) {
            grid.templates[t][k][0] = m.rc(rule.angles[t][k]);
            grid.templates[t][k][1] = m.rs(rule.angles[t][k]);
        }
    }

    const Extent e{float(width),          float(height),      float(count_x) * 0.5f,
                   float(count_y) * 0.5f, float(count_x / 2), float(count_y / 2)};
    const bool measured = rule.measure(grid, m, e);
    if (!measured || !walkable(grid.j_from, grid.j_to) || !walkable(grid.i_from, grid.i_to)) {
        grid.j_from = grid.j_to = 0.0f;
        grid.i_from = grid.i_to = 0.0f;
    }
    return true;
}

CellPlacement place_cell(const CellGrid& grid, float j, float i)
{
    if (grid.shape < shape_triangle || grid.shape > shape_dodecagon) return {};
    return shape_rules[grid.shape - 1].place(grid, j, i);
}

}  // namespace vx
