// Scan conversion of convex polygons: clipping to a rectangle, turning about a
// point, and walking the two edge chains from the top vertex down, one span
// per pixel row.
#include "framework/poly_render.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vx {

namespace {

constexpr int max_vertices = CellPolygon::max_vertices;

// Rows and columns are kept well inside the int range, so that stepping a row
// counter past a polygon's last row cannot overflow.
constexpr double row_limit = 1 << 30;

bool finite_polygon(const CellPolygon& polygon)
{
    for (int k = 0; k < polygon.count; ++k) {
        if (!std::isfinite(polygon.vertices[k][0]) || !std::isfinite(polygon.vertices[k][1])) return false;
        if (std::fabs(polygon.vertices[k][0]) >= row_limit || std::fabs(polygon.vertices[k][1]) >= row_limit)
            return false;
    }
    return true;
}

void copy_polygon(const CellPolygon& source, CellPolygon& destination)
{
    destination.count = source.count;
    destination.raster_height = source.raster_height;
    destination.centre_x = source.centre_x;
    destination.centre_y = source.centre_y;
    for (int k = 0; k < source.count; ++k) {
        destination.vertices[k][0] = source.vertices[k][0];
        destination.vertices[k][1] = source.vertices[k][1];
    }
}

// One edge chain of the scan conversion: the vertex it has reached, its x at
// the current row, its step per row and the row where its edge ends.
struct Chain {
    int vertex;
    int end_row;
    float x = 0.0f;
    float slope = 0.0f;

    // Takes the edge from the current vertex to `next`, positioned at row y.
    // The left chain treats nearly horizontal edges (|dy| < 1e-5) as flat;
    // the right chain only exactly horizontal ones.
    void take(const CellPolygon& polygon, int next, int y, bool left)
    {
        const float* v = polygon.vertices[vertex];
        const float* w = polygon.vertices[next];
        double dy = double(w[1]) - double(v[1]);
        if (left ? std::fabs(dy) < 1e-5 : dy == 0.0) dy = 1.0;
        slope = float((double(w[0]) - double(v[0])) * (1.0 / dy));
        x = float((double(y) + 0.5 - double(v[1])) * double(slope) + double(v[0]));
        end_row = int(std::floor(double(w[1]) + 0.5));
        vertex = next;
    }
};

}  // namespace

void clip_half_plane(const CellPolygon& source, CellPolygon& destination, int axis, float sign, float offset)
{
    destination.raster_height = source.raster_height;
    destination.centre_x = source.centre_x;
    destination.centre_y = source.centre_y;
    destination.count = 0;

    const int n = std::clamp(source.count, 0, max_vertices);
    if (n == 0) return;
    // A convex polygon gains at most one vertex per cut; anything that would
    // overflow the record (only possible for 30-vertex or non-convex input)
    // is dropped rather than written past its end.
    auto append = [&destination](float x, float y) {
        if (destination.count >= max_vertices) return;
        destination.vertices[destination.count][0] = x;
        destination.vertices[destination.count][1] = y;
        ++destination.count;
    };

    const float* u_vertex = source.vertices[n - 1];
    float u = sign * u_vertex[axis] - offset;
    for (int k = 0; k < n; ++k) {
        const float* v_vertex = source.vertices[k];
        const float v = sign * v_vertex[axis] - offset;
        if ((u <= 0.0f) != (v <= 0.0f)) {
            const float den = u - v;
            append(u_vertex[0] + ((v_vertex[0] - u_vertex[0]) * u) / den,
                   u_vertex[1] + ((v_vertex[1] - u_vertex[1]) * u) / den);
        }
        if (v <= 0.0f) append(v_vertex[0], v_vertex[1]);
        u_vertex = v_vertex;
        u = v;
    }
}

bool PolyRender::clip_polygon(CellPolygon& polygon, float xmin, float xmax, float ymin, float ymax)
{
    if (polygon.count < 0 || polygon.count > max_vertices) {
        polygon.count = 0;
        return false;
    }
    int left = 0, right = 0, top = 0, bottom = 0;
    for (int k = 0; k < polygon.count; ++k) {
        const float x = polygon.vertices[k][0];
        const float y = polygon.vertices[k][1];
        left += xmin > x;
        right += x > xmax;
        top += ymin > y;
        bottom += y > ymax;
    }
    if (left == 0 && right == 0 && top == 0 && bottom == 0) return true;
    if (left == polygon.count || right == polygon.count || top == polygon.count || bottom == polygon.count) {
        polygon.count = 0;
        return false;
    }

    struct Side {
        int outside;
        int axis;
        float sign;
        float offset;
    };
    const Side sides[4] = {
        {left, 0, -1.0f, -xmin}, {right, 0, 1.0f, xmax}, {top, 1, -1.0f, -ymin}, {bottom, 1, 1.0f, ymax}};

    CellPolygon second;
    CellPolygon* current = &polygon;
    CellPolygon* other = &second;
    for (const Side& side : sides) {
        if (side.outside == 0) continue;
        clip_half_plane(*current, *other, side.axis, side.sign, side.offset);
        std::swap(current, other);
        if (current->count == 0) {
            polygon.count = 0;
            return false;
        }
    }
    if (current != &polygon) copy_polygon(*current, polygon);
    return true;
}

void PolyRender::draw_polygon(const CellPolygon& polygon, const RowBand& band)
{
    const int n = polygon.count;
    if (n > max_vertices || n < 3) return;
    // Coordinates that are not numbers, or beyond any picture, draw nothing
    // (they would make the row counter meaningless).
    if (!finite_polygon(polygon)) return;

    // The first vertex with the smallest y.
    float ytop = std::numeric_limits<float>::infinity();
    int top = 0;
    for (int k = 0; k < n; ++k) {
        if (polygon.vertices[k][1] < ytop) {
            ytop = polygon.vertices[k][1];
            top = k;
        }
    }

    // First row whose pixel centre is not above the top vertex.
    int y = int(std::ceil(double(ytop) - 0.5));
    Chain left{top, y - 1};
    Chain right{top, y - 1};
    int remaining = n;  // edges still to take, shared by both chains

    while (remaining > 0) {
        while (left.end_row <= y && remaining > 0) {
            --remaining;
            left.take(polygon, left.vertex == 0 ? n - 1 : left.vertex - 1, y, true);
        }
        while (right.end_row <= y && remaining > 0) {
            --remaining;
            right.take(polygon, right.vertex == n - 1 ? 0 : right.vertex + 1, y, false);
        }
        while (y < left.end_row && y < right.end_row) {
            // Rows below the band can no longer be drawn.
            if (y > band.y1) return;
            if (band.y0 <= y) fill_span(y, std::min(left.x, right.x), std::max(left.x, right.x), band, polygon);
            left.x += left.slope;
            right.x += right.slope;
            ++y;
        }
    }
}

void PolyRender::fill_span(int y, float xa, float xb, const RowBand& band, const CellPolygon& polygon)
{
    // Pixel centres in [xa + 0.0001, xb], near enough: a pixel whose centre
    // lies exactly on an edge shared by two cells goes to the cell on its left.
    double first = std::ceil(double(xa) - 0.4999);
    double last = std::floor(double(xb) - 0.5);
    if (first < double(band.x0)) first = band.x0;
    if (last > double(band.x1)) last = band.x1;
    if (!(first <= last)) return;
    const int row = y >= polygon.raster_height ? polygon.raster_height - 1 : y;
    render_span(row, int(first), int(last), polygon);
}

void PolyRender::render_span(int y, int x_first, int x_last, const CellPolygon& polygon)
{
    for (int x = x_first; x <= x_last; ++x) render_pixel(x, y, polygon);
}

void rotate_polygon(CellPolygon& polygon, float angle, float kx, float ky)
{
    const float c = float(std::cos(double(angle)));
    const float s = float(std::sin(double(angle)));
    auto turn = [c, s, kx, ky](float& x, float& y) {
        const float dx = x - kx;
        const float dy = y - ky;
        const float nx = (c * dx - s * dy) + kx;
        const float ny = (s * dx + c * dy) + ky;
        x = nx;
        y = ny;
    };
    const int n = std::clamp(polygon.count, 0, max_vertices);
    for (int k = 0; k < n; ++k) turn(polygon.vertices[k][0], polygon.vertices[k][1]);
    if (polygon.centre_x && polygon.centre_y) turn(*polygon.centre_x, *polygon.centre_y);
}

}  // namespace vx
