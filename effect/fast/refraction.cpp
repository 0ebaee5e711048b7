// The glass surface and sample positions in vector form: the surface normal
// from the heights around each pixel, the bent view ray's sideways shift per
// unit of thickness, the highlight, and for each channel pass the positions
// where the bent rays land.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>

#include "effect/fast/kernels.h"
#include "effect/pixel_math.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "effect/fast/refraction.cpp"
#include "hwy/foreach_target.h"  // IWYU pragma: keep
#include "hwy/highway.h"

#include "effect/fast/lane_loop-inl.h"
#include "effect/fast/vector_math-inl.h"

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

// The highlight of columns x.. of the row (K vectors of them), from their
// unit normals.
template <int K, class DF, class VF = hn::Vec<DF>>
HWY_INLINE void highlight_each(DF df, const RowSetup& s, int x, const VF* nx, const VF* ny, const VF* nz,
                               const SurfaceRow& out)
{
    const hn::RebindToSigned<DF> di;
    const hn::Rebind<double, DF> dd;
    const int n = static_cast<int>(hn::Lanes(df));
    VF lx[K], ly[K], lz[K];
    for (int i = 0; i < K; ++i) {
        lx[i] = hn::Sub(hn::ConvertTo(df, columns_from(di, x + i * n)), hn::Set(df, s.light_x));
        ly[i] = hn::Set(df, s.light_y_row);
        lz[i] = hn::Set(df, s.light_dz);
    }
    normalize3_each<K>(df, lx, ly, lz);
    for (int i = 0; i < K; ++i) {
        const int at = x + i * n;
        const auto dot = hn::Add(hn::Add(hn::Mul(hn::PromoteTo(dd, ny[i]), hn::PromoteTo(dd, ly[i])),
                                         hn::Mul(hn::PromoteTo(dd, nx[i]), hn::PromoteTo(dd, lx[i]))),
                                 hn::Mul(hn::PromoteTo(dd, nz[i]), hn::PromoteTo(dd, lz[i])));
        const VF d = hn::DemoteTo(df, dot);
        const auto away = d < hn::Zero(df);
        hn::Mask<DF> redo;
        VF h = highlight_lanes(df, d, s.gloss, s.brightness, redo);
        if (s.exact_highlight) redo = hn::Not(away);
        redo = hn::AndNot(away, redo);
        hn::StoreU(hn::IfThenZeroElse(away, h), df, out.highlight + at);
        if (!hn::AllFalse(df, redo)) {
            float values[hn::MaxLanes(DF())];
            hn::StoreU(d, df, values);
            for_each_set_lane(
                df, redo, [&](int lane) { out.highlight[at + lane] = highlight(values[lane], s.gloss, s.brightness); });
        }
    }
}

// Columns x.. of the row, K vectors of them side by side (each step for all
// K before the next), so that their divisions and roots overlap.
template <bool Interior, int K, class DF>
HWY_INLINE void surface_lanes(DF df, const RowSetup& s, int x, const SurfaceRow& out)
{
    using VF = hn::Vec<DF>;
    const hn::RebindToSigned<DF> di;
    const hn::Rebind<double, DF> dd;
    const int n = static_cast<int>(hn::Lanes(df));

    VF nx[K], ny[K], nz[K];
    for (int i = 0; i < K; ++i) {
        const int at = x + i * n;
        VF above_a, above_b, below_a, below_b;
        if (Interior) {
            above_a = hn::LoadU(df, s.above + at - s.dist);
            above_b = hn::LoadU(df, s.above + at + s.dist);
            below_a = hn::LoadU(df, s.below + at - s.dist);
            below_b = hn::LoadU(df, s.below + at + s.dist);
        } else {
            // Neighbours are clamped to the row; the tangents keep their full step.
            const auto column = columns_from(di, at);
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
        nx[i] = hn::DemoteTo(df, hn::Sub(hn::Mul(dy, bz), hn::Mul(az, dy)));
        ny[i] = hn::DemoteTo(df, hn::Sub(hn::Mul(az, minus_dx), hn::Mul(dx, bz)));
        nz[i] = hn::Set(df, s.normal_z);
    }
    normalize3_each<K>(df, nx, ny, nz);

    // The downward view ray entering glass of index n.
    const VF one = hn::Set(df, 1.0f);
    const VF r = hn::Set(df, s.r);
    VF tx[K], ty[K], tz[K];
    for (int i = 0; i < K; ++i) {
        const VF k = hn::Add(hn::Set(df, s.nn1), hn::Mul(nz[i], nz[i]));
        // The square root in single precision equals the double one rounded to
        // single: a root rounded twice is the same whenever the wider format has
        // at least 2p + 2 bits (53 >= 2 * 24 + 2). A test checks every float.
        const VF root = hn::Sqrt(k);
        const VF m = hn::IfThenElse(k >= hn::Zero(df), hn::Sub(nz[i], root), one);
        tx[i] = hn::Mul(hn::Mul(r, nx[i]), m);
        ty[i] = hn::Mul(hn::Mul(r, ny[i]), m);
        tz[i] = hn::Mul(hn::Sub(hn::Mul(m, nz[i]), one), r);
    }
    for (int i = 0; i < K; ++i) {
        const VF q = hn::Div(one, tz[i]);
        hn::StoreU(hn::Mul(tx[i], q), df, out.shift_x + x + i * n);
        hn::StoreU(hn::Mul(q, ty[i]), df, out.shift_y + x + i * n);
    }

    if (!s.lit) return;
    highlight_each<K>(df, s, x, nx, ny, nz, out);
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
    // Four vectors at a time through the interior, one at a time elsewhere.
    const int n = static_cast<int>(hn::Lanes(df));
    int x = 0;
    for (; x + n <= width && !(x >= interior_first && x + n <= interior_end); x += n)
        surface_lanes<false, 1>(df, s, x, out);
    for (; x + 4 * n <= interior_end; x += 4 * n) surface_lanes<true, 4>(df, s, x, out);
    for_lanes(df, x, width, [&](auto d, int at) {
        const int lanes = static_cast<int>(hn::Lanes(d));
        if (at >= interior_first && at + lanes <= interior_end)
            surface_lanes<true, 1>(d, s, at, out);
        else
            surface_lanes<false, 1>(d, s, at, out);
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
        const auto fx = hn::ConvertTo(d, columns_from(di, x));
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
