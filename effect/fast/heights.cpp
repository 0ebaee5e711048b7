// The height buffer in vector form: the dome map's levels summed over 2 x 2
// pixels, scaled, optionally inverted and mapped onto the height range.
#include <bit>
#include <cmath>
#include <cstdint>

#include "effect/fast/kernels.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "effect/fast/heights.cpp"
#include "hwy/foreach_target.h"  // IWYU pragma: keep
#include "hwy/highway.h"

#include "effect/fast/lane_loop-inl.h"

HWY_BEFORE_NAMESPACE();
namespace vx {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void height_row(const FrameState& f, const std::uint16_t* map_row, const std::uint16_t* map_below, float* out)
{
    // 1 / (40 * 32767); a map pixel's brightness (3 : 5 : 2 of three equal
    // samples) is ten times its level.
    const float scale = std::bit_cast<float>(std::uint32_t(0x354cce66));
    const float b = f.black_height > 0.0f ? f.black_height : 0.0f;
    const float white = f.white_height > 0.0f ? f.white_height : 0.0f;
    const float range = std::fabs(white - b);
    const bool invert = f.invert_map != 0;
    const int w = f.width;
    const hn::ScalableTag<float> df;
    for_lanes(df, 0, w - 1, [&](auto d, int x) {
        using D = decltype(d);
        const hn::Rebind<std::int32_t, D> di;
        const hn::Rebind<std::uint16_t, D> d16;
        const auto level = [&](const std::uint16_t* at) { return hn::PromoteTo(di, hn::LoadU(d16, at)); };
        const auto sum = hn::Add(hn::Add(level(map_row + x), level(map_row + x + 1)),
                                 hn::Add(level(map_below + x), level(map_below + x + 1)));
        auto v = hn::Mul(hn::ConvertTo(d, hn::Mul(sum, hn::Set(di, 10))), hn::Set(d, scale));
        if (invert) v = hn::Sub(hn::Set(d, 1.0f), v);
        hn::StoreU(hn::Add(hn::Mul(v, hn::Set(d, range)), hn::Set(d, b)), d, out + x);
    });
    out[w - 1] = out[w - 2];
}

}  // namespace HWY_NAMESPACE
}  // namespace vx
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace vx {

HWY_EXPORT(height_row);

void fast_height_row(const FrameState& f, const std::uint16_t* map_row, const std::uint16_t* map_below,
                     float* height_row)
{
    HWY_DYNAMIC_DISPATCH(height_row)(f, map_row, map_below, height_row);
}

}  // namespace vx
#endif  // HWY_ONCE
