// The glass surface and sample positions in vector form: the surface normal
// from the heights around each pixel, the bent view ray's sideways shift per
// unit of thickness, the highlight, and for each channel pass the positions
// where the bent rays land.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>

#include "effect/fast_kernels.h"
#include "effect/pixel_math.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "effect/fast_surface.cpp"
#include "hwy/foreach_target.h"  // IWYU pragma: keep
#include "hwy/highway.h"

#include "effect/lane_loop-inl.h"
#include "effect/vector_math-inl.h"

HWY_BEFORE_NAMESPACE();
namespace vx {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

namespace {

// What every pixel of one row of the surface shares.
struct RowSetup {
    int width;
    int dist;        // slope distance, at most the width (the same columns as any larger one)
    float dx, dy;    // the tangents' steps, in normalised picture units
    float normal_z;  // the tangents' cross product's z, the same everywhere
    float r, nn1;    // 1 / index and index^2 - 1
    const float* above;
    const float* below;
    bool lit;
    bool exact_highlight;  // the highlight's power only through the library
    float light_x, light_y_row, light_dz;
    double gloss, brightness;
};

RowSetup row_setup(const FrameState& f, int y)
{
    RowSetup s{};
    const int width = f.width;
    const int height = f.height;
    const float iw = 1.0f / static_cast<float>(width - 1);
    const float ih = 1.0f / static_cast<float>(height - 1);
    const int dist = f.smoothing_px < 1 ? 1 : (f.smoothing_px == INT_MAX ? INT_MAX : f.smoothing_px + 1);
    s.width = width;
    s.dist = std::min(dist, width);
    s.dx = static_cast<float>(dist) * iw;
    s.dy = static_cast<float>(dist) * ih;
    const double ax = s.dx, ay = s.dy, bx = -s.dx, by = s.dy;
    s.normal_z = static_cast<float>(ax * by - ay * bx);
    s.r = 1.0f / f.index;
    s.nn1 = f.index * f.index - 1.0f;
    const int ya = y - dist > 0 ? y - dist : 0;
    const int yb = dist > height - 1 - y ? height - 1 : y + dist;
    s.above = f.height_buf + static_cast<std::size_t>(ya) * width;
    s.below = f.height_buf + static_cast<std::size_t>(yb) * width;
    s.lit = f.lit;
    s.gloss = f.gloss;
    s.brightness = f.brightness;
    // The highlight's bracket holds for the controls' ranges; anything else
    // goes through the library alone.
    s.exact_highlight = !(s.gloss >= 0.0 && s.gloss <= 10000.0 && s.brightness > 0.0 && s.brightness < 1e30);
    s.light_x = f.light_x;
    s.light_y_row = static_cast<float>(y) - f.light_y;
    s.light_dz = f.light_z + 1.0f;
    return s;
}

template <bool Interior, class DF>
HWY_INLINE void surface_lanes(DF df, const RowSetup& s, int x, const SurfaceRow& out)
{
    using VF = hn::Vec<DF>;
    const hn::RebindToSigned<DF> di;
    const hn::Rebind<double, DF> dd;
    const auto column = hn::Iota(di, x);

    VF above_a, above_b, below_a, below_b;
    if (Interior) {
        above_a = hn::LoadU(df, s.above + x - s.dist);
        above_b = hn::LoadU(df, s.above + x + s.dist);
        below_a = hn::LoadU(df, s.below + x - s.dist);
        below_b = hn::LoadU(df, s.below + x + s.dist);
    } else {
        // Neighbours are clamped to the row; the tangents keep their full step.
        const auto xa = hn::Max(hn::Sub(column, hn::Set(di, s.dist)), hn::Zero(di));
        const auto xb = hn::Min(hn::Add(column, hn::Set(di, s.dist)), hn::Set(di, s.width - 1));
        above_a = hn::GatherIndex(df, s.above, xa);
        above_b = hn::GatherIndex(df, s.above, xb);
        below_a = hn::GatherIndex(df, s.below, xa);
        below_b = hn::GatherIndex(df, s.below, xb);
    }

    // Normal: (dx, dy, below[xb] - above[xa]) x (-dx, dy, below[xa] - above[xb]),
    // each component formed in double and rounded once.
    const auto az = hn::PromoteTo(dd, hn::Sub(below_b, above_a));
    const auto bz = hn::PromoteTo(dd, hn::Sub(below_a, above_b));
    const auto dx = hn::Set(dd, static_cast<double>(s.dx));
    const auto dy = hn::Set(dd, static_cast<double>(s.dy));
    const auto minus_dx = hn::Set(dd, static_cast<double>(-s.dx));
    VF nx = hn::DemoteTo(df, hn::Sub(hn::Mul(dy, bz), hn::Mul(az, dy)));
    VF ny = hn::DemoteTo(df, hn::Sub(hn::Mul(az, minus_dx), hn::Mul(dx, bz)));
    VF nz = hn::Set(df, s.normal_z);
    normalize3(df, nx, ny, nz);

    // The downward view ray entering glass of index n.
    const VF one = hn::Set(df, 1.0f);
    const VF r = hn::Set(df, s.r);
    const VF k = hn::Add(hn::Set(df, s.nn1), hn::Mul(nz, nz));
    // The square root in single precision equals the double one rounded to
    // single: a root rounded twice is the same whenever the wider format has
    // at least 2p + 2 bits (53 >= 2 * 24 + 2). A test checks every float.
    const VF root = hn::Sqrt(k);
    const VF m = hn::IfThenElse(k >= hn::Zero(df), hn::Sub(nz, root), one);
    const VF tx = hn::Mul(hn::Mul(r, nx), m);
    const VF ty = hn::Mul(hn::Mul(r, ny), m);
    const VF tz = hn::Mul(hn::Sub(hn::Mul(m, nz), one), r);
    const VF q = hn::Div(one, tz);
    hn::StoreU(hn::Mul(tx, q), df, out.shift_x + x);
    hn::StoreU(hn::Mul(q, ty), df, out.shift_y + x);

    if (!s.lit) return;
    VF lx = hn::Sub(hn::ConvertTo(df, column), hn::Set(df, s.light_x));
    VF ly = hn::Set(df, s.light_y_row);
    VF lz = hn::Set(df, s.light_dz);
    normalize3(df, lx, ly, lz);
    const auto dot = hn::Add(hn::Add(hn::Mul(hn::PromoteTo(dd, ny), hn::PromoteTo(dd, ly)),
                                     hn::Mul(hn::PromoteTo(dd, nx), hn::PromoteTo(dd, lx))),
                             hn::Mul(hn::PromoteTo(dd, nz), hn::PromoteTo(dd, lz)));
    const VF d = hn::DemoteTo(df, dot);
    const auto away = d < hn::Zero(df);
    hn::Mask<DF> redo;
    VF h = highlight_lanes(df, d, s.gloss, s.brightness, redo);
    if (s.exact_highlight) redo = hn::Not(away);
    redo = hn::AndNot(away, redo);
    hn::StoreU(hn::IfThenZeroElse(away, h), df, out.highlight + x);
    if (!hn::AllFalse(df, redo)) {
        float values[hn::MaxLanes(DF())];
        hn::StoreU(d, df, values);
        for_each_set_lane(df, redo, [&](int i) { out.highlight[x + i] = highlight(values[i], s.gloss, s.brightness); });
    }
}

}  // namespace

void surface_row(const FrameState& f, int y, const SurfaceRow& out)
{
    const RowSetup s = row_setup(f, y);
    const hn::ScalableTag<double> dd;
    const hn::Rebind<float, decltype(dd)> df;
    const int width = s.width;
    // Columns whose neighbours at the slope distance both lie inside the row.
    const int interior_first = s.dist;
    const int interior_end = width - s.dist;
    for_lanes(df, 0, width, [&](auto d, int x) {
        const int n = static_cast<int>(hn::Lanes(d));
        if (x >= interior_first && x + n <= interior_end)
            surface_lanes<true>(d, s, x, out);
        else
            surface_lanes<false>(d, s, x, out);
    });
}

void position_row(const FrameState& f, int y, const SurfaceRow& surface, float* sample_x, float* sample_y)
{
    const float w1 = static_cast<float>(f.width - 1);
    const float h1 = static_cast<float>(f.height - 1);
    const float iw = 1.0f / w1;
    const float ih = 1.0f / h1;
    const float py = static_cast<float>(y) * ih;
    const float* here = f.height_buf + static_cast<std::size_t>(y) * f.width;
    const hn::ScalableTag<float> df;
    for_lanes(df, 0, f.width, [&](auto d, int x) {
        const hn::RebindToSigned<decltype(d)> di;
        const auto t = hn::Add(hn::Set(d, f.thickening), hn::LoadU(d, here + x));
        const auto fx = hn::ConvertTo(d, hn::Iota(di, x));
        const auto sx = hn::Mul(hn::Add(hn::Mul(hn::LoadU(d, surface.shift_x + x), t), hn::Mul(fx, hn::Set(d, iw))),
                                hn::Set(d, w1));
        const auto sy =
            hn::Sub(hn::Mul(hn::Add(hn::Mul(hn::LoadU(d, surface.shift_y + x), t), hn::Set(d, py)), hn::Set(d, h1)),
                    hn::Set(d, 1.0f));
        hn::StoreU(sx, d, sample_x + x);
        hn::StoreU(sy, d, sample_y + x);
    });
}

}  // namespace HWY_NAMESPACE
}  // namespace vx
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace vx {

HWY_EXPORT(surface_row);
HWY_EXPORT(position_row);

void fast_surface_row(const FrameState& f, int y, const SurfaceRow& out)
{
    HWY_DYNAMIC_DISPATCH(surface_row)(f, y, out);
}

void fast_position_row(const FrameState& f, int y, const SurfaceRow& surface, float* sample_x, float* sample_y)
{
    HWY_DYNAMIC_DISPATCH(position_row)(f, y, surface, sample_x, sample_y);
}

}  // namespace vx
#endif  // HWY_ONCE
