#include "effect/source_pyramid.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

#include "pixels/frame_memory.h"
#include "pixels/parallel_rows.h"

namespace vx {

// The record lives in a plain frame allocation and is released without a
// destructor.
static_assert(std::is_trivially_destructible_v<SourcePyramid>);

namespace {

// Slightly below log2(10): turns log10 into an (under-)estimate of log2, so
// that exact powers of two count one level less.
constexpr float log2_of_10 = 3.321928f;
// Keeps box coordinates one pixel and a hair inside the right and lower edge,
// so that the right-hand and lower taps of a bilinear lookup stay inside.
constexpr float edge_margin = 2.0001f;
// Keeps the share of a clipped or folded box finite for boxes of no area.
constexpr float area_epsilon = 0.00001f;
// Fixed-point one of the interpolation weights.
constexpr int one = 16384;
constexpr int one_shift = 14;
// Largest box area the level blend distinguishes.
constexpr float area_cap = 200.0f;

struct Level {
    const std::uint16_t* pixels;
    int width;
    int height;
};

Level level_of(const SourcePyramid* p, int k)
{
    return Level{p->levels[k], p->level_width[k], p->level_height[k]};
}

// Bilinear lookup at (cx, cy) (cx, cy >= 0) with 14-bit weights, for image
// channels first .. first + Count - 1; v[k] receives image channel k. The tap
// point is kept inside the level, and the right-hand and lower taps fall
// back onto it at the last column and row, so no read leaves the level.
template <int Count>
inline void bilinear(const Level& level, float cx, float cy, int first, int v[4])
{
    int xi = static_cast<int>(cx);
    int yi = static_cast<int>(cy);
    const int fx = static_cast<int>((cx - static_cast<float>(xi)) * 16384.0f + 0.5f);
    const int fy = static_cast<int>((cy - static_cast<float>(yi)) * 16384.0f + 0.5f);
    const int last_x = level.width - 1;
    const int last_y = level.height - 1;
    if (xi > last_x) xi = last_x;
    if (yi > last_y) yi = last_y;
    const int xr = xi >= last_x ? xi : xi + 1;
    const int yd = yi >= last_y ? yi : yi + 1;
    const std::size_t stride = static_cast<std::size_t>(level.width) * 4;
    const std::uint16_t* upper = level.pixels + static_cast<std::size_t>(yi) * stride;
    const std::uint16_t* lower = level.pixels + static_cast<std::size_t>(yd) * stride;
    const std::uint16_t* p00 = upper + static_cast<std::size_t>(xi) * 4;
    const std::uint16_t* p10 = upper + static_cast<std::size_t>(xr) * 4;
    const std::uint16_t* p01 = lower + static_cast<std::size_t>(xi) * 4;
    const std::uint16_t* p11 = lower + static_cast<std::size_t>(xr) * 4;
    const int gx = one - fx;
    const int gy = one - fy;
    for (int i = 0; i < Count; ++i) {
        const int k = first + i;
        const int s = k;
        const int top = (p00[s] * gx + p10[s] * fx) >> one_shift;
        const int bottom = (p01[s] * gx + p11[s] * fx) >> one_shift;
        v[k] = (top * gy + bottom * fy) >> one_shift;
    }
}

// The running sums of a clipped or folded box, limited and rounded.
Sample4 finish(const float sum[4], unsigned mask)
{
    Sample4 out{};
    for (int k = 0; k < 4; ++k) {
        if (!(mask & channel_bit(k))) continue;
        float s = sum[k];
        if (s > 65535.0f) s = 65535.0f;
        out[k] = static_cast<std::uint16_t>(static_cast<int>(s + 0.5f));
    }
    return out;
}

}  // namespace

// Each sample the mean of a 2 x 2 block of the level above.
void reduce_pyramid_rows(SourcePyramid* pyramid, int level, int first_row, int last_row)
{
    const int w = pyramid->level_width[level];
    const std::size_t up_stride = static_cast<std::size_t>(pyramid->level_width[level - 1]) * 4;
    const std::uint16_t* up = pyramid->levels[level - 1];
    std::uint16_t* out = pyramid->reduced_block + (pyramid->levels[level] - pyramid->levels[1]);
    for (int r = first_row; r <= last_row; ++r) {
        const std::uint16_t* a = up + static_cast<std::size_t>(2 * r) * up_stride;
        const std::uint16_t* b = a + up_stride;
        std::uint16_t* dst = out + static_cast<std::size_t>(r) * w * 4;
        for (int c = 0; c < w; ++c, a += 8, b += 8, dst += 4) {
            for (int s = 0; s < 4; ++s) dst[s] = static_cast<std::uint16_t>((a[s] + a[s + 4] + b[s] + b[s + 4]) >> 2);
        }
    }
}

int pyramid_level_count(int m)
{
    if (m < 2) return 0;
    const double estimate = std::log10(static_cast<double>(m)) * static_cast<double>(log2_of_10);
    const int count = static_cast<int>(estimate);
    return count < SourcePyramid::max_levels - 1 ? count : SourcePyramid::max_levels - 1;
}

LevelBlend level_blend(float area, int level_count)
{
    if (!(area <= area_cap))  // also catches a NaN area
        area = area_cap;
    double lev = std::log10(std::sqrt(static_cast<double>(area))) * static_cast<double>(log2_of_10);
    int li = static_cast<int>(lev);
    if (li >= level_count) {
        lev = lev - li + (level_count - 1);
        li = level_count - 1;
    }
    const int fl = static_cast<int>((lev - li) * 16384 + 0.5);
    return LevelBlend{li, fl};
}

float level_blend_flat_limit()
{
    static const float limit = [] {
        auto flat = [](std::uint32_t bits) {
            const LevelBlend b = level_blend(std::bit_cast<float>(bits), 1);
            return b.level == 0 && b.weight == 0;
        };
        std::uint32_t low = std::bit_cast<std::uint32_t>(1.0f);   // flat
        std::uint32_t high = std::bit_cast<std::uint32_t>(2.0f);  // not flat
        while (high - low > 1) {
            const std::uint32_t mid = low + (high - low) / 2;
            (flat(mid) ? low : high) = mid;
        }
        return std::bit_cast<float>(low);
    }();
    return limit;
}

SourcePyramid* allocate_pyramid(int width, int height, bool level0_room)
{
    if (width < 1 || height < 1) return nullptr;
    const int m = width < height ? width : height;
    const int count = pyramid_level_count(m);
    void* record = frame_alloc(sizeof(SourcePyramid));
    if (record == nullptr) return nullptr;
    auto* p = new (record) SourcePyramid{};
    p->width = width;
    p->height = height;
    p->level_count = count;
    p->level_width[0] = width;
    p->level_height[0] = height;
    p->level_scale[0] = 1.0f;
    std::size_t reduced = 0;
    for (int k = 1; k <= count; ++k) {
        const int w = p->level_width[k - 1] >> 1;
        const int h = p->level_height[k - 1] >> 1;
        p->level_width[k] = w;
        p->level_height[k] = h;
        p->level_scale[k] = static_cast<float>(((w < h ? w : h) - 1.0) / m);
        reduced += static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4;
    }
    // A picture without reduced levels (or room) needs no block.
    const std::size_t room = level0_room ? static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4 : 0;
    if (room + reduced > 0) {
        p->block = static_cast<std::uint16_t*>(frame_alloc((room + reduced) * sizeof(std::uint16_t)));
        if (p->block == nullptr) {
            frame_free(p);
            return nullptr;
        }
        p->level0_room = level0_room ? p->block : nullptr;
        p->reduced_block = p->block + room;
    }
    const std::uint16_t* next = p->reduced_block;
    for (int k = 1; k <= count; ++k) {
        p->levels[k] = next;
        next += static_cast<std::size_t>(p->level_width[k]) * static_cast<std::size_t>(p->level_height[k]) * 4;
    }
    return p;
}

void reduce_pyramid_levels(SourcePyramid* p, int first_level)
{
    // Small levels cost less than sharing them out.
    constexpr std::int64_t shared_from = 1 << 16;  // pixels
    for (int k = first_level; k <= p->level_count; ++k) {
        if (std::int64_t(p->level_width[k]) * p->level_height[k] < shared_from)
            reduce_pyramid_rows(p, k, 0, p->level_height[k] - 1);
        else
            parallel_rows(p->level_height[k], [p, k](int first, int last) { reduce_pyramid_rows(p, k, first, last); });
    }
}

void fill_pyramid(SourcePyramid* p, const ImageVx* image)
{
    p->levels[0] = image->pixels;
    reduce_pyramid_levels(p, 1);
}

SourcePyramid* build_pyramid(const ImageVx* image, int width, int height)
{
    if (image == nullptr) return nullptr;
    SourcePyramid* p = allocate_pyramid(width, height);
    if (p != nullptr) fill_pyramid(p, image);
    return p;
}

void free_pyramid(SourcePyramid* pyramid)
{
    if (pyramid == nullptr) return;
    frame_free(pyramid->block);
    frame_free(pyramid);
}

namespace {

// sample_box for image channels first .. first + Count - 1 (the others come
// back as 0).
template <int Count>
Sample4 box_lookup(const SourcePyramid* p, float x0, float y0, float x1, float y1, float area, int first)
{
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    const float xmax = static_cast<float>(p->width) - edge_margin;
    const float ymax = static_cast<float>(p->height) - edge_margin;
    if (area < 0.0f) area = (x1 - x0) * (y1 - y0);
    // The upper bound first and 0 last: on pictures two pixels wide or high
    // the bound lies below 0, and a NaN coordinate becomes 0 as well.
    if (x0 > xmax) x0 = xmax;
    if (!(x0 >= 0.0f)) x0 = 0.0f;
    if (y0 > ymax) y0 = ymax;
    if (!(y0 >= 0.0f)) y0 = 0.0f;
    if (x1 > xmax) x1 = xmax;
    if (!(x1 >= x0)) x1 = x0;
    if (y1 > ymax) y1 = ymax;
    if (!(y1 >= y0)) y1 = y0;

    int v[4] = {0, 0, 0, 0};
    if (area <= 1.0f || p->level_count < 1) {
        bilinear<Count>(level_of(p, 0), (x0 + x1) * 0.5f, (y0 + y1) * 0.5f, first, v);
    } else {
        const LevelBlend blend = level_blend(area, p->level_count);
        const float scale = p->level_scale[blend.level];
        const float cx = (x0 + x1) * 0.5f * scale;
        const float cy = (y0 + y1) * 0.5f * scale;
        int va[4] = {0, 0, 0, 0};
        int vb[4] = {0, 0, 0, 0};
        bilinear<Count>(level_of(p, blend.level), cx, cy, first, va);
        bilinear<Count>(level_of(p, blend.level + 1), cx * 0.5f, cy * 0.5f, first, vb);
        const int fl = blend.weight;
        for (int k = first; k < first + Count; ++k) v[k] = (va[k] * (one - fl) + vb[k] * fl) >> one_shift;
    }
    Sample4 out{};
    for (int k = first; k < first + Count; ++k) out[k] = static_cast<std::uint16_t>(v[k] > 65535 ? 65535 : v[k]);
    return out;
}

}  // namespace

Sample4 sample_box(const SourcePyramid* p, float x0, float y0, float x1, float y1, float area, unsigned mask)
{
    mask &= channels_all;
    // One channel: only that one is interpolated.
    for (int k = 0; k < 4; ++k) {
        if (mask == channel_bit(k)) return box_lookup<1>(p, x0, y0, x1, y1, area, k);
    }
    Sample4 out = box_lookup<4>(p, x0, y0, x1, y1, area, 0);
    for (int k = 0; k < 4; ++k) {
        if (!(mask & channel_bit(k))) out[k] = 0;
    }
    return out;
}

namespace {

struct Piece {
    float a;
    float b;
};

// Cuts [lo, hi] at 0 (when lo < 0) and at `last` (when hi > last), pieces in
// ascending order.
int cut(float lo, float hi, float last, Piece pieces[3])
{
    int n = 0;
    float start = lo;
    if (lo < 0.0f) {
        pieces[n++] = Piece{lo, 0.0f};
        start = 0.0f;
    }
    if (hi > last) {
        pieces[n++] = Piece{start, last};
        pieces[n++] = Piece{last, hi};
    } else {
        pieces[n++] = Piece{start, hi};
    }
    return n;
}

// Moves a piece that lies outside [0, last] by one period onto the picture.
void fold(Piece& piece, float last)
{
    if (piece.a < 0.0f) {
        piece.a += last;
        piece.b += last;
    } else if (piece.b > last) {
        piece.a -= last;
        piece.b -= last;
    }
}

Sample4 sample_black(const SourcePyramid* p, float x0, float y0, float x1, float y1, unsigned mask)
{
    const float w1 = static_cast<float>(p->width - 1);
    const float h1 = static_cast<float>(p->height - 1);
    // Written so that a NaN coordinate counts as outside.
    if (!(x0 <= w1) || !(x1 >= 0.0f) || !(y0 <= h1) || !(y1 >= 0.0f)) return Sample4{};
    const float area = (x1 - x0) * (y1 - y0);
    const float cx0 = x0 > 0.0f ? x0 : 0.0f;
    const float cx1 = x1 < w1 ? x1 : w1;
    const float cy0 = y0 > 0.0f ? y0 : 0.0f;
    const float cy1 = y1 < h1 ? y1 : h1;
    const float share = ((cx1 - cx0) * (cy1 - cy0)) / (area + area_epsilon);
    const Sample4 s = sample_box(p, cx0, cy0, cx1, cy1, area, mask);
    float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int k = 0; k < 4; ++k) sum[k] = static_cast<float>(s[k]) * share;
    return finish(sum, mask);
}

Sample4 sample_wrap(const SourcePyramid* p, float x0, float y0, float x1, float y1, unsigned mask)
{
    const int w1i = p->width - 1;
    const int h1i = p->height - 1;
    // A picture one pixel wide or high has nothing to fold over: every
    // position is its one column or row, as the clamping of sample_box gives.
    if (w1i < 1 || h1i < 1) return sample_box(p, x0, y0, x1, y1, (x1 - x0) * (y1 - y0), mask);
    const float w1 = static_cast<float>(w1i);
    const float h1 = static_cast<float>(h1i);

    float cx = (x0 + x1) * 0.5f;
    float cy = (y0 + y1) * 0.5f;
    float hx = (x1 - x0) * 0.5f;
    float hy = (y1 - y0) * 0.5f;
    // An infinite or NaN centre has no place on the picture; it folds onto 0.
    cx = std::isfinite(cx) ? std::fmod(cx, w1) : 0.0f;
    if (cx < 0.0f) cx += w1;
    cy = std::isfinite(cy) ? std::fmod(cy, h1) : 0.0f;
    if (cy < 0.0f) cy += h1;
    const float half_w = static_cast<float>(w1i / 2);
    const float half_h = static_cast<float>(h1i / 2);
    if (!(hx <= half_w)) hx = half_w;
    if (!(hy <= half_h)) hy = half_h;
    x0 = cx - hx;
    x1 = cx + hx;
    y0 = cy - hy;
    y1 = cy + hy;
    const float area = (x1 - x0) * (y1 - y0);
    const float inv = 1.0f / (area + area_epsilon);

    Piece xs[3];
    Piece ys[3];
    const int nx = cut(x0, x1, w1, xs);
    const int ny = cut(y0, y1, h1, ys);
    float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int j = 0; j < ny; ++j) {
        Piece y = ys[j];
        fold(y, h1);
        for (int i = 0; i < nx; ++i) {
            Piece x = xs[i];
            fold(x, w1);
            const float weight = ((x.b - x.a) * (y.b - y.a)) * inv;
            const Sample4 s = sample_box(p, x.a, y.a, x.b, y.b, area, mask);
            for (int k = 0; k < 4; ++k) sum[k] += static_cast<float>(s[k]) * weight;
        }
    }
    return finish(sum, mask);
}

}  // namespace

Sample4 sample_area(const SourcePyramid* p, float x0, float y0, float x1, float y1, int edge, unsigned mask)
{
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    const float w1 = static_cast<float>(p->width - 1);
    const float h1 = static_cast<float>(p->height - 1);
    const bool inside = x0 >= 0.0f && x1 <= w1 && y0 >= 0.0f && y1 <= h1;
    if (inside || edge == edge_duplicate) return sample_box(p, x0, y0, x1, y1, (x1 - x0) * (y1 - y0), mask);
    if (edge == edge_wrap) return sample_wrap(p, x0, y0, x1, y1, mask);
    return sample_black(p, x0, y0, x1, y1, mask);
}

}  // namespace vx
