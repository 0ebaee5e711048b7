#include "effect/fast/frame.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "effect/cell_layout.h"
#include "effect/fast/kernels.h"
#include "contract/host_api.h"
#include "pixels/image_exchange.h"
#include "pixels/parallel_rows.h"

namespace vx {

namespace {

// The fast kernels address every level of the pyramid with 32-bit sample
// offsets and need at least three columns and rows.
bool fits(const FrameState& f)
{
    const double samples = double(f.width) * double(f.height) * 4.0;
    return f.width >= 3 && f.height >= 3 && samples < 2147483647.0;
}

std::size_t row_bytes(const FrameState& f)
{
    return std::size_t(f.width) * 4 * sizeof(std::uint16_t);
}

// Without working storage the frame shows the input unchanged.
void show_input(const FrameState& f)
{
    parallel_rows(f.height, [&f](int first, int last) {
        for (int y = first; y <= last; ++y) std::memcpy(f.output->rows[y], f.input->rows[y], row_bytes(f));
    });
}

// Every cell of the frame, placed once in drawing order. False when the cells
// cannot be stored.
bool place_cells(const FrameState& f, FrameStorage& storage, std::size_t& count)
{
    count = 0;
    const CellLayout layout(f);
    if (!layout.valid()) return true;
    for_each_cell(layout.grid(), [&count](float, float) { ++count; });
    if (!storage.need_cells(count)) return false;
    // Grid indices first (they are float sums, as the walk forms them), then
    // the placing itself, shared out over the processors.
    PlacedCell* cells = storage.cells;
    std::size_t k = 0;
    for_each_cell(layout.grid(), [cells, &k](float j, float i) {
        cells[k].centre_x = j;
        cells[k].centre_y = i;
        ++k;
    });
    const int height = f.height;
    parallel_rows(int(count), [&layout, cells, height](int first, int last) {
        for (int n = first; n <= last; ++n) {
            PlacedCell& cell = cells[n];
            const float j = cell.centre_x;
            const float i = cell.centre_y;
            layout.place(j, i, cell.polygon, cell.centre_x, cell.centre_y);
            // The rows it may touch, with a row to spare either side.
            float top = INFINITY, bottom = -INFINITY;
            for (int v = 0; v < cell.polygon.count; ++v) {
                top = std::min(top, cell.polygon.vertices[v][1]);
                bottom = std::max(bottom, cell.polygon.vertices[v][1]);
            }
            cell.first_row = 0;
            cell.last_row = -1;
            if (cell.polygon.count >= 3 && std::isfinite(top) && std::isfinite(bottom) && top < 1e9f &&
                bottom > -1e9f) {
                cell.first_row = std::max(0, int(std::floor(top)) - 1);
                cell.last_row = std::min(height - 1, int(std::ceil(bottom)) + 1);
            }
        }
    });
    return true;
}

// Draws a cell with its dome levels: the covered pixels are listed span by
// span and their levels worked out a vector at a time.
class DomePainter : public PolyRender {
public:
    DomePainter(const FrameState& f, std::uint16_t* map) : f_(f), map_(map) {}
    void draw(const CellPolygon& polygon, const RowBand& band)
    {
        centre_x_ = *polygon.centre_x;
        centre_y_ = *polygon.centre_y;
        draw_polygon(polygon, band);
        flush();
    }
    void render_span(int y, int x_first, int x_last, const CellPolygon&) override
    {
        // The span rule can reach one column past the picture; such pixels
        // are dropped.
        if (y < 0 || y >= f_.height) return;
        x_first = std::max(x_first, 0);
        x_last = std::min(x_last, f_.width - 1);
        for (int x = x_first; x <= x_last; ++x) {
            if (pixels_.count == DomePixels::capacity) flush();
            pixels_.x[pixels_.count] = x;
            pixels_.y[pixels_.count] = y;
            ++pixels_.count;
        }
    }

private:
    void flush()
    {
        if (pixels_.count > 0) fast_dome_pixels(f_, map_, pixels_, centre_x_, centre_y_);
        pixels_.count = 0;
    }

    const FrameState& f_;
    std::uint16_t* map_;
    DomePixels pixels_;
    float centre_x_ = 0.0f;
    float centre_y_ = 0.0f;
};

void draw_dome_rows(const FrameState& f, std::uint16_t* map, const PlacedCell* cells, std::size_t count, int first,
                    int last)
{
    std::memset(map + std::size_t(first) * f.width, 0,
                std::size_t(last - first + 1) * std::size_t(f.width) * sizeof(std::uint16_t));
    const RowBand band{0, first, f.width, last};
    DomePainter painter(f, map);
    for (std::size_t n = 0; n < count; ++n) {
        // Bands share the cells: read only here (placing pointed each
        // polygon at its own centre).
        const PlacedCell& cell = cells[n];
        if (cell.last_row < first || cell.first_row > last) continue;
        painter.draw(cell.polygon, band);
    }
}

void show_map_rows(const FrameState& f, const std::uint16_t* map, bool refract_alpha, int first, int last)
{
    for (int y = first; y <= last; ++y) {
        const std::uint16_t* levels = map + std::size_t(y) * f.width;
        const std::uint16_t* in = f.input->rows[y];
        std::uint16_t* out = f.output->rows[y];
        for (int x = 0; x < f.width; ++x) {
            out[x * 4 + 0] = out[x * 4 + 1] = out[x * 4 + 2] = levels[x];
            out[x * 4 + 3] = refract_alpha ? 0 : in[x * 4 + 3];
        }
    }
}

// The channel passes of the frame: which positions each composites from.
struct Passes {
    FrameState position[4];  // distinct positions (by thickening)
    FrameState composite[4];
    int composite_from[4];  // index into position
    int position_count = 0;
    int composite_count = 0;
};

Passes passes_of(const FrameState& f, bool refract_alpha)
{
    Passes p;
    auto add = [&p, &f](int position_pass, int composite_pass) {
        int at = -1;
        for (int k = 0; k < p.position_count; ++k)
            if (p.position[k].pass_select == position_pass) at = k;
        if (at < 0) {
            at = p.position_count++;
            p.position[at] = for_pass(f, position_pass);
        }
        p.composite_from[p.composite_count] = at;
        p.composite[p.composite_count++] = for_pass(f, composite_pass);
    };
    if (f.chroma > 0.0001) {
        // Alpha goes through the undisplaced-thickness glass first.
        if (refract_alpha) add(0, 4);
        for (int k = 1; k <= 3; ++k) add(k, k);
    } else {
        add(0, 0);
    }
    return p;
}

// Working rows of one band: two rows of surface and of each pass's
// positions, the row being composited and the one below it.
struct BandRows {
    SurfaceRow surface[2];
    float* sample_x[4][2];
    float* sample_y[4][2];
    std::uint16_t* out;  // the output row, when it goes to the host directly

    static std::size_t floats(int width)
    {
        return std::size_t(2 * 3 + 4 * 2 * 2 + 2) * std::size_t(width) + fast_row_padding;
    }

    BandRows(float* block, int width)
    {
        const std::size_t w = std::size_t(width);
        out = reinterpret_cast<std::uint16_t*>(block);
        block += 2 * w;
        for (int s = 0; s < 2; ++s) {
            surface[s] = SurfaceRow{block, block + w, block + 2 * w};
            block += 3 * w;
        }
        for (int p = 0; p < 4; ++p)
            for (int s = 0; s < 2; ++s) {
                sample_x[p][s] = block;
                sample_y[p][s] = block + w;
                block += 2 * w;
            }
    }
};

// Rows first..last of the glass, each written into the output record or,
// given a host picture, straight into it.
void glass_rows(const FrameState& f, const Passes& passes, float* block, bool refract_alpha, _image_str* host,
                int first, int last)
{
    const int height = f.height;
    const bool holds_last_pair = last >= height - 2;
    last = std::min(last, height - 2);
    if (first > last) return;
    BandRows rows(block, f.width);
    auto prepare = [&](int y) {
        const int s = y & 1;
        fast_surface_row(f, y, rows.surface[s]);
        for (int p = 0; p < passes.position_count; ++p)
            fast_position_row(passes.position[p], y, rows.surface[s], rows.sample_x[p][s], rows.sample_y[p][s]);
    };
    auto restore_alpha = [&](std::uint16_t* out, int y) {
        const std::uint16_t* in = f.input->rows[y];
        for (int x = 0; x < f.width; ++x) out[x * 4 + 3] = in[x * 4 + 3];
    };
    prepare(first);
    for (int y = first; y <= last; ++y) {
        if (f.aborted()) return;
        prepare(y + 1);
        const int s = y & 1;
        const int below = s ^ 1;
        std::uint16_t* out = host ? rows.out : f.output->rows[y];
        for (int c = 0; c < passes.composite_count; ++c) {
            const int p = passes.composite_from[c];
            const CompositeRow row{rows.sample_x[p][s],     rows.sample_x[p][below],   rows.sample_y[p][s],
                                   rows.sample_y[p][below], rows.surface[s].highlight, out};
            fast_composite_row(passes.composite[c], row);
        }
        // Column W - 1 repeats column W - 2, column 0 repeats column 1.
        std::uint16_t* end = out + std::size_t(f.width - 1) * 4;
        for (int c = 0; c < 4; ++c) {
            end[c] = end[c - 4];
            out[c] = out[c + 4];
        }
        if (!refract_alpha) restore_alpha(out, y);
        if (host) write_host_row(out, host, y);
    }
    // The last row repeats the one above it (its own alpha restored).
    if (holds_last_pair) {
        std::uint16_t* out = host ? rows.out : f.output->rows[height - 1];
        if (!host) std::memcpy(out, f.output->rows[height - 2], row_bytes(f));
        if (!refract_alpha) restore_alpha(out, height - 1);
        if (host) write_host_row(out, host, height - 1);
    }
}

// The input record read from the host picture, two rows at a time, each
// pair reduced into its row of pyramid level 1 while it is in the cache;
// then the other levels.
void read_into_pyramid(const _image_str* host, ImageVx* input, SourcePyramid* p)
{
    p->levels[0] = input->pixels;
    const int pairs = p->level_height[1];
    const int single = input->height - 2 * pairs;  // an odd last row, read alone
    parallel_rows(pairs + single, [=](int first, int last) {
        for (int r = first; r <= last; ++r) {
            if (r < pairs) {
                read_host_row(host, 2 * r, input->rows[2 * r]);
                read_host_row(host, 2 * r + 1, input->rows[2 * r + 1]);
                reduce_pyramid_rows(p, 1, r, r);
            } else {
                read_host_row(host, input->height - 1, input->rows[input->height - 1]);
            }
        }
    });
    reduce_pyramid_levels(p, 2);
}

}  // namespace

// The compositing kernel addresses every level in 32-bit words from the
// lowest one; when the picture's own block (level 0) lies too far from the
// reduced levels for that, level 0 is copied into the room beside them.
void keep_within_reach(SourcePyramid* p)
{
    const auto address = [](const std::uint16_t* at) { return reinterpret_cast<std::uintptr_t>(at); };
    std::uintptr_t low = address(p->levels[0]);
    std::uintptr_t high = low + std::size_t(p->width) * std::size_t(p->height) * 8;
    for (int k = 1; k <= p->level_count; ++k) {
        low = std::min(low, address(p->levels[k]));
        high = std::max(high,
                        address(p->levels[k]) + std::size_t(p->level_width[k]) * std::size_t(p->level_height[k]) * 8);
    }
    if ((high - low) / 4 < 0x7fffffffu) return;
    const std::uint16_t* picture = p->levels[0];
    std::uint16_t* room = p->level0_room;
    parallel_rows(p->height, [=](int first, int last) {
        const std::size_t row = std::size_t(p->width) * 4;
        std::memcpy(room + first * row, picture + first * row,
                    std::size_t(last - first + 1) * row * sizeof(std::uint16_t));
    });
    p->levels[0] = room;
}

bool fast_cell_map(const FrameState& f, FrameStorage& storage, bool show_map, bool refract_alpha)
{
    storage.set_size(f.width, f.height);
    std::size_t count = 0;
    if (!storage.need_dome_map() || !place_cells(f, storage, count)) return false;
    std::uint16_t* map = storage.dome_map;
    PlacedCell* cells = storage.cells;
    parallel_rows(f.height, [&](int first, int last) {
        if (first > last) return;
        draw_dome_rows(f, map, cells, count, first, last);
        if (show_map) show_map_rows(f, map, refract_alpha, first, last);
    });
    return true;
}

void fast_heights(const FrameState& f, const std::uint16_t* map)
{
    const int w = f.width;
    const int h = f.height;
    parallel_rows(h - 1, [&f, map, w](int first, int last) {
        for (int y = first; y <= last; ++y)
            fast_height_row(f, map + std::size_t(y) * w, map + std::size_t(y + 1) * w,
                            f.height_buf + std::size_t(y) * w);
    });
    std::memcpy(f.height_buf + std::size_t(h - 1) * w, f.height_buf + std::size_t(h - 2) * w,
                std::size_t(w) * sizeof(float));
}

void fast_pyramid(const _image_str* host_input, ImageVx* input, SourcePyramid* pyramid)
{
    if (host_input)
        read_into_pyramid(host_input, input, pyramid);
    else
        fill_pyramid(pyramid, input);
    keep_within_reach(pyramid);
}

bool render_fast(FastFrame& job)
{
    const FrameState& f = job.frame;
    if (!fits(f)) return false;
    auto read_input = [&job] {
        if (job.host_input) read_host_image(job.host_input, job.input);
        job.host_input = nullptr;
    };
    FrameStorage& storage = job.storage;
    if (job.show_map) read_input();
    const bool refract_alpha = job.refract_alpha;
    if (!fast_cell_map(f, storage, job.show_map, refract_alpha)) {
        read_input();
        show_input(f);
        return true;
    }
    if (job.show_map) return true;

    const int bands = std::max(1, smp_numprocs());
    const std::size_t band_floats = BandRows::floats(f.width);
    if (!storage.need_heights() || !storage.need_pyramid(true) || !storage.need_band_rows(bands, band_floats)) {
        read_input();
        show_input(f);
        return true;
    }
    FrameState g = f;
    g.height_buf = storage.height_buf;
    fast_heights(g, storage.dome_map);
    fast_pyramid(job.host_input, job.input, storage.pyramid);
    job.host_input = nullptr;
    g.pyramid = storage.pyramid;
    const int h = f.height;
    const Passes glass = passes_of(g, refract_alpha);
    float* band_rows = storage.band_rows;
    _image_str* host = job.host_output;
    parallel_rows(h, [&g, &glass, band_rows, band_floats, refract_alpha, host](int first, int last) {
        glass_rows(g, glass, band_rows + std::size_t(smp_id()) * band_floats, refract_alpha, host, first, last);
    });
    job.host_written = host != nullptr;
    return true;
}

}  // namespace vx
