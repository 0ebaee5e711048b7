// Dome levels of a cell's pixels in vector form: the distance to the cell's
// centre, the quarter sine to the power "CellCurve", quantised.
#include <algorithm>
#include <cmath>

#include "effect/fast/kernels.h"
#include "effect/pixel_math.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "effect/fast/cell_map.cpp"
#include "hwy/foreach_target.h"  // IWYU pragma: keep
#include "hwy/highway.h"

#include "effect/fast/lane_loop-inl.h"
#include "effect/fast/vector_math-inl.h"

HWY_BEFORE_NAMESPACE();
namespace vx {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void dome_pixels(const FrameState& f, std::uint16_t* map, const DomePixels& pixels, float centre_x, float centre_y)
{
    const double curve = f.cell_curve;
    // The power's bracket holds for the control's range; anything else goes
    // through the library alone.
    const bool exact_only = !(curve >= 0.0 && curve <= 1000.0);
    const double radius = f.cell_radius;
    const std::size_t width = static_cast<std::size_t>(f.width);
    const hn::ScalableTag<double> dd;
    const hn::Rebind<float, decltype(dd)> df;
    const hn::RebindToSigned<decltype(df)> di;
    constexpr int most = static_cast<int>(hn::MaxLanes(decltype(df)()));
    for_vectors(df, 0, pixels.count, [&](auto d, int i, int n) {
        // The arrays are padded, so whole vectors can be read.
        const auto x = hn::LoadU(di, pixels.x + i);
        const auto y = hn::LoadU(di, pixels.y + i);
        const auto dxd = hn::PromoteTo(dd, hn::Sub(hn::Set(d, centre_x), hn::ConvertTo(d, x)));
        const auto dyd = hn::PromoteTo(dd, hn::Sub(hn::Set(d, centre_y), hn::ConvertTo(d, y)));
        const auto distance = hn::Sqrt(hn::Add(hn::Mul(dyd, dyd), hn::Mul(dxd, dxd)));
        auto t = hn::DemoteTo(d, hn::Sub(hn::Set(dd, 1.0), hn::Div(distance, hn::Set(dd, radius))));
        const auto full = hn::Set(d, 1.0f);
        t = hn::IfThenElse(t > full, full, t);
        t = hn::IfThenElseZero(t >= hn::Zero(d), t);
        hn::Mask<decltype(d)> redo;
        const auto level = dome_lanes(d, t, curve, redo);
        std::int32_t levels[most];
        float values[most];
        hn::StoreU(level, di, levels);
        hn::StoreU(t, d, values);
        const auto valid = hn::FirstN(d, static_cast<std::size_t>(n));
        redo = exact_only ? valid : hn::And(redo, valid);
        for_each_set_lane(d, redo, [&](int k) { levels[k] = dome_level(values[k], curve); });
        for (int k = 0; k < n; ++k)
            map[std::size_t(pixels.y[i + k]) * width + std::size_t(pixels.x[i + k])] =
                static_cast<std::uint16_t>(levels[k]);
    });
}

}  // namespace HWY_NAMESPACE
}  // namespace vx
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace vx {

HWY_EXPORT(dome_pixels);

void fast_dome_pixels(const FrameState& f, std::uint16_t* map, const DomePixels& pixels, float centre_x, float centre_y)
{
    HWY_DYNAMIC_DISPATCH(dome_pixels)(f, map, pixels, centre_x, centre_y);
}

}  // namespace vx
#endif  // HWY_ONCE
