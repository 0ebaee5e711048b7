// Dome levels of a span of cell-map pixels in vector form: the distance to
// the cell's centre, the quarter sine to the power "CellCurve", quantised.
#include <algorithm>
#include <cmath>

#include "effect/fast_kernels.h"
#include "effect/pixel_math.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "effect/fast_cell_map.cpp"
#include "hwy/foreach_target.h"  // IWYU pragma: keep
#include "hwy/highway.h"

#include "effect/lane_loop-inl.h"
#include "effect/vector_math-inl.h"

HWY_BEFORE_NAMESPACE();
namespace vx {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void dome_span(const FrameState& f, std::uint16_t* map_row, int y, int x_first, int x_last, float centre_x,
               float centre_y)
{
    // The span rule can reach one column past the picture; such pixels are dropped.
    x_first = std::max(x_first, 0);
    x_last = std::min(x_last, f.width - 1);
    if (x_first > x_last || y < 0 || y >= f.height)
        return;
    const double curve = f.cell_curve;
    // The power's bracket holds for the control's range; anything else goes
    // through the library alone.
    const bool exact_only = !(curve >= 0.0 && curve <= 1000.0);
    const double radius = f.cell_radius;
    const float dy = centre_y - static_cast<float>(y);
    const hn::ScalableTag<double> dd;
    const hn::Rebind<float, decltype(dd)> df;
    const hn::RebindToSigned<decltype(df)> di;
    const hn::Rebind<std::uint16_t, decltype(df)> d16;
    for_vectors(df, x_first, x_last + 1, [&](auto d, int x, int n) {
        const auto dx = hn::Sub(hn::Set(d, centre_x), hn::ConvertTo(d, hn::Iota(di, x)));
        const auto dxd = hn::PromoteTo(dd, dx);
        const auto dyd = hn::Set(dd, static_cast<double>(dy));
        const auto distance = hn::Sqrt(hn::Add(hn::Mul(dyd, dyd), hn::Mul(dxd, dxd)));
        auto t = hn::DemoteTo(d, hn::Sub(hn::Set(dd, 1.0), hn::Div(distance, hn::Set(dd, radius))));
        const auto full = hn::Set(d, 1.0f);
        t = hn::IfThenElse(t > full, full, t);
        t = hn::IfThenElseZero(t >= hn::Zero(d), t);
        hn::Mask<decltype(d)> redo;
        const auto level = dome_lanes(d, t, curve, redo);
        const auto valid = hn::FirstN(d, static_cast<std::size_t>(n));
        if (n == static_cast<int>(hn::Lanes(d))) {
            hn::StoreU(hn::DemoteTo(d16, level), d16, map_row + x);
        } else {
            // Only the span's own pixels: the row's next ones may be another
            // band's or past the map.
            std::uint16_t levels[hn::MaxLanes(decltype(d16)())];
            hn::StoreU(hn::DemoteTo(d16, level), d16, levels);
            std::copy(levels, levels + n, map_row + x);
        }
        redo = exact_only ? valid : hn::And(redo, valid);
        if (!hn::AllFalse(d, redo)) {
            float values[hn::MaxLanes(decltype(df)())];
            hn::StoreU(t, d, values);
            for_each_set_lane(d, redo, [&](int i) { map_row[x + i] = dome_level(values[i], curve); });
        }
    });
}

}  // namespace HWY_NAMESPACE
}  // namespace vx
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace vx {

HWY_EXPORT(dome_span);

void fast_dome_span(const FrameState& f, std::uint16_t* map_row, int y, int x_first, int x_last, float centre_x,
                    float centre_y)
{
    HWY_DYNAMIC_DISPATCH(dome_span)(f, map_row, y, x_first, x_last, centre_x, centre_y);
}

}  // namespace vx
#endif  // HWY_ONCE
