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

void InterleaveRgb(const std::uint16_t* r, const std::uint16_t* g, const std::uint16_t* b, const std::uint16_t* a,
                   std::size_t n, std::uint16_t* out)
{
    const hn::ScalableTag<std::uint16_t> d;
    const std::size_t lanes = hn::Lanes(d);
    std::size_t i = 0;
    if (a != nullptr) {
        for (; i + lanes <= n; i += lanes)
            hn::StoreInterleaved4(hn::LoadU(d, r + i), hn::LoadU(d, g + i), hn::LoadU(d, b + i), hn::LoadU(d, a + i), d,
                                  out + 4 * i);
        for (; i < n; ++i) {
            out[4 * i] = r[i];
            out[4 * i + 1] = g[i];
            out[4 * i + 2] = b[i];
            out[4 * i + 3] = a[i];
        }
        return;
    }
    for (; i + lanes <= n; i += lanes)
        hn::StoreInterleaved3(hn::LoadU(d, r + i), hn::LoadU(d, g + i), hn::LoadU(d, b + i), d, out + 3 * i);
    for (; i < n; ++i) {
        out[3 * i] = r[i];
        out[3 * i + 1] = g[i];
        out[3 * i + 2] = b[i];
    }
}

void SplitRgb(const std::uint16_t* in, std::size_t n, std::uint16_t* r, std::uint16_t* g, std::uint16_t* b,
              std::uint16_t* a)
{
    const hn::ScalableTag<std::uint16_t> d;
    const std::size_t lanes = hn::Lanes(d);
    std::size_t i = 0;
    hn::Vec<decltype(d)> vr, vg, vb, va;
    if (a != nullptr) {
        for (; i + lanes <= n; i += lanes) {
            hn::LoadInterleaved4(d, in + 4 * i, vr, vg, vb, va);
            hn::StoreU(vr, d, r + i);
            hn::StoreU(vg, d, g + i);
            hn::StoreU(vb, d, b + i);
            hn::StoreU(va, d, a + i);
        }
        for (; i < n; ++i) {
            r[i] = in[4 * i];
            g[i] = in[4 * i + 1];
            b[i] = in[4 * i + 2];
            a[i] = in[4 * i + 3];
        }
        return;
    }
    for (; i + lanes <= n; i += lanes) {
        hn::LoadInterleaved3(d, in + 3 * i, vr, vg, vb);
        hn::StoreU(vr, d, r + i);
        hn::StoreU(vg, d, g + i);
        hn::StoreU(vb, d, b + i);
    }
    for (; i < n; ++i) {
        r[i] = in[3 * i];
        g[i] = in[3 * i + 1];
        b[i] = in[3 * i + 2];
    }
}

void PairMeans(const std::uint16_t* in, std::size_t pairs, std::uint16_t* out)
{
    const hn::ScalableTag<std::uint16_t> d;
    const std::size_t lanes = hn::Lanes(d);
    std::size_t i = 0;
    hn::Vec<decltype(d)> even, odd;
    for (; i + lanes <= pairs; i += lanes) {
        hn::LoadInterleaved2(d, in + 2 * i, even, odd);
        hn::StoreU(hn::AverageRound(even, odd), d, out + i);
    }
    for (; i < pairs; ++i) out[i] = std::uint16_t((unsigned(in[2 * i]) + in[2 * i + 1] + 1) >> 1);
}

}  // namespace HWY_NAMESPACE
}  // namespace trellin_app
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace trellin_app {

HWY_EXPORT(UnitFloatsToWords);
HWY_EXPORT(WordsToUnitFloats);
HWY_EXPORT(InterleaveRgb);
HWY_EXPORT(SplitRgb);
HWY_EXPORT(PairMeans);

bool unit_floats_to_words(const float* in, std::size_t n, std::uint16_t* out)
{
    return HWY_DYNAMIC_DISPATCH(UnitFloatsToWords)(in, n, out);
}

void words_to_unit_floats(const std::uint16_t* in, std::size_t n, float* out)
{
    HWY_DYNAMIC_DISPATCH(WordsToUnitFloats)(in, n, out);
}

void interleave_rgb(const std::uint16_t* r, const std::uint16_t* g, const std::uint16_t* b, const std::uint16_t* a,
                    std::size_t n, std::uint16_t* out)
{
    HWY_DYNAMIC_DISPATCH(InterleaveRgb)(r, g, b, a, n, out);
}

void split_rgb(const std::uint16_t* in, std::size_t n, std::uint16_t* r, std::uint16_t* g, std::uint16_t* b,
               std::uint16_t* a)
{
    HWY_DYNAMIC_DISPATCH(SplitRgb)(in, n, r, g, b, a);
}

void pair_means(const std::uint16_t* in, std::size_t pairs, std::uint16_t* out)
{
    HWY_DYNAMIC_DISPATCH(PairMeans)(in, pairs, out);
}

}  // namespace trellin_app
#endif
