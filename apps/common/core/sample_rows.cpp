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

// The byte of a four-byte pixel at place `at`: the sample whose offset it
// is, or 255 where none is.
template <class V>
V sample_at(int at, const int offsets[4], int samples, V s0, V s1, V s2, V s3, V none)
{
    if (offsets[0] == at) return s0;
    if (offsets[1] == at) return s1;
    if (offsets[2] == at) return s2;
    if (samples == 4 && offsets[3] == at) return s3;
    return none;
}

void PixelBytesToWords(const std::uint8_t* in, std::size_t n, const int offsets[4], int samples, std::uint16_t* out)
{
    const hn::ScalableTag<std::uint16_t> dw;
    const hn::Rebind<std::uint8_t, decltype(dw)> db;
    const std::size_t lanes = hn::Lanes(dw);
    const auto times257 = hn::Set(dw, 257);
    std::size_t i = 0;
    hn::Vec<decltype(db)> p0, p1, p2, p3;
    // Byte `at` of each pixel, widened.
    const auto sample = [&](int at) {
        const auto byte = at == 0 ? p0 : at == 1 ? p1 : at == 2 ? p2 : p3;
        return hn::Mul(hn::PromoteTo(dw, byte), times257);
    };
    for (; i + lanes <= n; i += lanes) {
        hn::LoadInterleaved4(db, in + 4 * i, p0, p1, p2, p3);
        const auto r = sample(offsets[0]), g = sample(offsets[1]), b = sample(offsets[2]);
        if (samples == 4)
            hn::StoreInterleaved4(r, g, b, sample(offsets[3]), dw, out + 4 * i);
        else
            hn::StoreInterleaved3(r, g, b, dw, out + 3 * i);
    }
    for (; i < n; ++i)
        for (int c = 0; c < samples; ++c)
            out[i * std::size_t(samples) + std::size_t(c)] = from_8bit(in[4 * i + std::size_t(offsets[c])]);
}

void PixelWordsToBytes(const std::uint16_t* in, std::size_t n, const int offsets[4], int samples, std::uint8_t* out)
{
    const hn::ScalableTag<std::uint32_t> dl;
    const hn::Rebind<std::uint16_t, decltype(dl)> dw;
    const hn::Rebind<std::uint8_t, decltype(dl)> db;
    const hn::Rebind<std::int32_t, decltype(dl)> di;
    const std::size_t lanes = hn::Lanes(dl);
    const auto times255 = hn::Set(dl, 255u), half = hn::Set(dl, 32767u), one = hn::Set(dl, 1u);
    // to_8bit: (v * 255 + 32767) / 65535 as divide_by_65535 takes it.
    const auto narrow = [&](hn::Vec<decltype(dw)> v) {
        const auto x = hn::Add(hn::Mul(hn::PromoteTo(dl, v), times255), half);
        // At most 255: as signed, it demotes as it is.
        return hn::DemoteTo(db, hn::BitCast(di, hn::ShiftRight<16>(hn::Add(hn::Add(x, one), hn::ShiftRight<16>(x)))));
    };
    const auto opaque = hn::Set(db, std::uint8_t{255});
    std::size_t i = 0;
    hn::Vec<decltype(dw)> r, g, b, a;
    for (; i + lanes <= n; i += lanes) {
        if (samples == 4)
            hn::LoadInterleaved4(dw, in + 4 * i, r, g, b, a);
        else
            hn::LoadInterleaved3(dw, in + 3 * i, r, g, b);
        const auto r8 = narrow(r), g8 = narrow(g), b8 = narrow(b);
        const auto a8 = samples == 4 ? narrow(a) : opaque;
        hn::StoreInterleaved4(sample_at(0, offsets, samples, r8, g8, b8, a8, opaque),
                              sample_at(1, offsets, samples, r8, g8, b8, a8, opaque),
                              sample_at(2, offsets, samples, r8, g8, b8, a8, opaque),
                              sample_at(3, offsets, samples, r8, g8, b8, a8, opaque), db, out + 4 * i);
    }
    for (; i < n; ++i) {
        std::uint8_t* pixel = out + 4 * i;
        if (samples == 3) pixel[6 - offsets[0] - offsets[1] - offsets[2]] = 255;
        for (int c = 0; c < samples; ++c) pixel[offsets[c]] = to_8bit(in[i * std::size_t(samples) + std::size_t(c)]);
    }
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
HWY_EXPORT(PixelBytesToWords);
HWY_EXPORT(PixelWordsToBytes);

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

void pixel_bytes_to_words(const std::uint8_t* in, std::size_t n, const int offsets[4], int samples, std::uint16_t* out)
{
    HWY_DYNAMIC_DISPATCH(PixelBytesToWords)(in, n, offsets, samples, out);
}

void pixel_words_to_bytes(const std::uint16_t* in, std::size_t n, const int offsets[4], int samples, std::uint8_t* out)
{
    HWY_DYNAMIC_DISPATCH(PixelWordsToBytes)(in, n, offsets, samples, out);
}

}  // namespace trellin_app
#endif
