#include "apps/common/core/sample_rows.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "apps/common/core/sample_rows.cpp"
#include "hwy/foreach_target.h"  // IWYU pragma: keep
#include "hwy/highway.h"

#include "apps/common/core/sample_convert.h"

HWY_BEFORE_NAMESPACE();
namespace trellin_app {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

bool UnitFloatsToWords(const float* in, std::size_t n, std::uint16_t* out)
{
    const hn::ScalableTag<float> df;
    const hn::Rebind<std::int32_t, decltype(df)> di;
    const hn::Rebind<std::uint16_t, decltype(df)> dw;
    const std::size_t lanes = hn::Lanes(df);
    const auto zero = hn::Zero(df), one = hn::Set(df, 1.0f);
    const auto scale = hn::Set(df, 65535.0f), half = hn::Set(df, 0.5f);
    std::size_t i = 0;
    for (; i + lanes <= n; i += lanes) {
        const auto v = hn::LoadU(df, in + i);
        // A NaN fails both comparisons.
        if (!hn::AllTrue(df, hn::And(hn::Ge(v, zero), hn::Le(v, one)))) return false;
        // v * 65535 + 0.5, truncated: the product rounded first, as the
        // scalar conversion rounds it.
        const auto scaled = hn::Add(hn::Mul(v, scale), half);
        hn::StoreU(hn::DemoteTo(dw, hn::ConvertTo(di, scaled)), dw, out + i);
    }
    for (; i < n; ++i) {
        if (!(in[i] >= 0.0f && in[i] <= 1.0f)) return false;
        out[i] = from_unit_float(in[i]);
    }
    return true;
}

void WordsToUnitFloats(const std::uint16_t* in, std::size_t n, float* out)
{
    const hn::ScalableTag<float> df;
    const hn::Rebind<std::int32_t, decltype(df)> di;
    const hn::Rebind<std::uint16_t, decltype(df)> dw;
    const std::size_t lanes = hn::Lanes(df);
    // v / 65535 in float: the correctly rounded quotient, which is what
    // to_unit_float's product in double rounds to for every sample (the
    // tests compare the two for all of them).
    const auto divisor = hn::Set(df, 65535.0f);
    std::size_t i = 0;
    for (; i + lanes <= n; i += lanes) {
        const auto words = hn::PromoteTo(di, hn::LoadU(dw, in + i));
        hn::StoreU(hn::Div(hn::ConvertTo(df, words), divisor), df, out + i);
    }
    for (; i < n; ++i) out[i] = to_unit_float(in[i]);
}

}  // namespace HWY_NAMESPACE
}  // namespace trellin_app
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace trellin_app {

HWY_EXPORT(UnitFloatsToWords);
HWY_EXPORT(WordsToUnitFloats);

bool unit_floats_to_words(const float* in, std::size_t n, std::uint16_t* out)
{
    return HWY_DYNAMIC_DISPATCH(UnitFloatsToWords)(in, n, out);
}

void words_to_unit_floats(const std::uint16_t* in, std::size_t n, float* out)
{
    HWY_DYNAMIC_DISPATCH(WordsToUnitFloats)(in, n, out);
}

}  // namespace trellin_app
#endif
