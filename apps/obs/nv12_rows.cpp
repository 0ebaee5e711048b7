#include "apps/obs/nv12_rows.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "apps/obs/nv12_rows.cpp"
#include "hwy/foreach_target.h"  // IWYU pragma: keep
#include "hwy/highway.h"

#include <algorithm>

#include "apps/common/core/sample_convert.h"

// The per-pixel forms every lane's work must equal.
#ifndef TRELLIN_OBS_NV12_SCALAR
#define TRELLIN_OBS_NV12_SCALAR
namespace trellin_obs::nv12_scalar {

inline float affine(const float (&m)[4], float a, float b, float c)
{
    return m[0] * a + m[1] * b + m[2] * c + m[3];
}

inline std::uint16_t word(float v)
{
    const float unit = std::min(v > 0.0f ? v : 0.0f, 1.0f);
    return static_cast<std::uint16_t>(static_cast<int>(unit * 65535.0f + 0.5f));
}

inline std::uint8_t byte(float v)
{
    const float steps = std::min(std::max(v * 255.0f, 0.0f), 255.0f);
    return static_cast<std::uint8_t>(static_cast<int>(steps + 0.5f));
}

inline float sample(std::uint8_t s)
{
    return float(s) * (1.0f / 255.0f);
}

}  // namespace trellin_obs::nv12_scalar
#endif

HWY_BEFORE_NAMESPACE();
namespace trellin_obs {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;
namespace sc = nv12_scalar;

template <class D, class V>
V Affine(D d, const float (&m)[4], V a, V b, V c)
{
    return hn::Add(
        hn::Add(hn::Add(hn::Mul(hn::Set(d, m[0]), a), hn::Mul(hn::Set(d, m[1]), b)), hn::Mul(hn::Set(d, m[2]), c)),
        hn::Set(d, m[3]));
}

void Nv12RowToWords(const std::uint8_t* luma, const std::uint8_t* chroma, int width, const Nv12Maps& maps,
                    std::uint16_t* out)
{
    int x = 0;
#if HWY_TARGET != HWY_SCALAR  // one lane holds no pair of chroma samples
    const hn::ScalableTag<float> df;
    const hn::Rebind<std::int32_t, decltype(df)> di;
    const hn::Rebind<std::uint16_t, decltype(df)> dw;
    const hn::Rebind<std::uint8_t, decltype(df)> db;
    const int lanes = int(hn::Lanes(df));
    const auto scale = hn::Set(df, 1.0f / 255.0f);
    const auto zero = hn::Zero(df), one = hn::Set(df, 1.0f);
    const auto to_word = [&](auto v) {
        const auto unit = hn::Min(hn::Max(v, zero), one);
        return hn::DemoteTo(dw, hn::ConvertTo(di, hn::Add(hn::Mul(unit, hn::Set(df, 65535.0f)), hn::Set(df, 0.5f))));
    };
    {
        for (; x + lanes <= width; x += lanes) {
            auto l = hn::Mul(hn::ConvertTo(df, hn::PromoteTo(di, hn::LoadU(db, luma + x))), scale);
            const auto uv = hn::Mul(hn::ConvertTo(df, hn::PromoteTo(di, hn::LoadU(db, chroma + x))), scale);
            auto u = hn::DupEven(uv), v = hn::DupOdd(uv);
            l = hn::Min(hn::Max(l, hn::Set(df, maps.minimum[0])), hn::Set(df, maps.maximum[0]));
            u = hn::Min(hn::Max(u, hn::Set(df, maps.minimum[1])), hn::Set(df, maps.maximum[1]));
            v = hn::Min(hn::Max(v, hn::Set(df, maps.minimum[2])), hn::Set(df, maps.maximum[2]));
            hn::StoreInterleaved3(to_word(Affine(df, maps.to_rgb[0], l, u, v)),
                                  to_word(Affine(df, maps.to_rgb[1], l, u, v)),
                                  to_word(Affine(df, maps.to_rgb[2], l, u, v)), dw, out + 3 * x);
        }
    }
#endif
    for (; x < width; ++x) {
        const int c = (x / 2) * 2;
        const float l = std::min(std::max(sc::sample(luma[x]), maps.minimum[0]), maps.maximum[0]);
        const float u = std::min(std::max(sc::sample(chroma[c]), maps.minimum[1]), maps.maximum[1]);
        const float v = std::min(std::max(sc::sample(chroma[c + 1]), maps.minimum[2]), maps.maximum[2]);
        for (int k = 0; k < 3; ++k) out[3 * x + k] = sc::word(sc::affine(maps.to_rgb[k], l, u, v));
    }
}

void WordsToNv12Rows(const std::uint16_t* row0, const std::uint16_t* row1, int width, const Nv12Maps& maps,
                     std::uint8_t* luma0, std::uint8_t* luma1, std::uint8_t* chroma)
{
    int x = 0;
#if HWY_TARGET != HWY_SCALAR  // one lane holds no pair of pixels
    const hn::ScalableTag<float> df;
    const hn::Rebind<std::int32_t, decltype(df)> di;
    const hn::Rebind<std::uint16_t, decltype(df)> dw;
    const hn::Rebind<std::uint8_t, decltype(df)> db;
    const int lanes = int(hn::Lanes(df));
    const auto divisor = hn::Set(df, 65535.0f);
    const auto zero = hn::Zero(df), top = hn::Set(df, 255.0f), half = hn::Set(df, 0.5f);
    const auto to_byte = [&](auto v) {
        const auto steps = hn::Min(hn::Max(hn::Mul(v, top), zero), top);
        return hn::DemoteTo(db, hn::ConvertTo(di, hn::Add(steps, half)));
    };
    const auto unit = [&](auto words) { return hn::Div(hn::ConvertTo(df, hn::PromoteTo(di, words)), divisor); };
    const float inv = 1.0f / float(row1 != nullptr ? 4 : 2);
    {
        for (; x + lanes <= width; x += lanes) {
            hn::Vec<decltype(dw)> r16, g16, b16;
            hn::LoadInterleaved3(dw, row0 + 3 * x, r16, g16, b16);
            const auto r0 = unit(r16), g0 = unit(g16), b0 = unit(b16);
            hn::StoreU(to_byte(Affine(df, maps.to_yuv[0], r0, g0, b0)), db, luma0 + x);
            // Sums in the order of the per-pixel form: the pixels of the
            // first row left to right, then the second row's.
            auto r = hn::Add(hn::DupEven(r0), hn::DupOdd(r0));
            auto g = hn::Add(hn::DupEven(g0), hn::DupOdd(g0));
            auto b = hn::Add(hn::DupEven(b0), hn::DupOdd(b0));
            if (row1 != nullptr) {
                hn::LoadInterleaved3(dw, row1 + 3 * x, r16, g16, b16);
                const auto r1 = unit(r16), g1 = unit(g16), b1 = unit(b16);
                hn::StoreU(to_byte(Affine(df, maps.to_yuv[0], r1, g1, b1)), db, luma1 + x);
                r = hn::Add(hn::Add(r, hn::DupEven(r1)), hn::DupOdd(r1));
                g = hn::Add(hn::Add(g, hn::DupEven(g1)), hn::DupOdd(g1));
                b = hn::Add(hn::Add(b, hn::DupEven(b1)), hn::DupOdd(b1));
            }
            const auto scale = hn::Set(df, inv);
            r = hn::Mul(r, scale);
            g = hn::Mul(g, scale);
            b = hn::Mul(b, scale);
            const auto u = Affine(df, maps.to_yuv[1], r, g, b), v = Affine(df, maps.to_yuv[2], r, g, b);
            hn::StoreU(to_byte(hn::OddEven(v, u)), db, chroma + x);
        }
    }
#endif
    for (; x < width; x += 2) {
        float sum[3] = {0.0f, 0.0f, 0.0f};
        int n = 0;
        for (const std::uint16_t* row : {row0, row1}) {
            if (row == nullptr) continue;
            std::uint8_t* luma = row == row0 ? luma0 : luma1;
            for (int dx = 0; dx < 2 && x + dx < width; ++dx) {
                const std::uint16_t* p = row + 3 * (x + dx);
                const float rgb[3] = {trellin_app::to_unit_float(p[0]), trellin_app::to_unit_float(p[1]),
                                      trellin_app::to_unit_float(p[2])};
                luma[x + dx] = sc::byte(sc::affine(maps.to_yuv[0], rgb[0], rgb[1], rgb[2]));
                for (int k = 0; k < 3; ++k) sum[k] += rgb[k];
                ++n;
            }
        }
        const float share = 1.0f / float(n);
        const float r = sum[0] * share, g = sum[1] * share, b = sum[2] * share;
        chroma[x] = sc::byte(sc::affine(maps.to_yuv[1], r, g, b));
        chroma[x + 1] = sc::byte(sc::affine(maps.to_yuv[2], r, g, b));
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace trellin_obs
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace trellin_obs {

HWY_EXPORT(Nv12RowToWords);
HWY_EXPORT(WordsToNv12Rows);

void nv12_row_to_words(const std::uint8_t* luma, const std::uint8_t* chroma, int width, const Nv12Maps& maps,
                       std::uint16_t* out)
{
    HWY_DYNAMIC_DISPATCH(Nv12RowToWords)(luma, chroma, width, maps, out);
}

void words_to_nv12_rows(const std::uint16_t* row0, const std::uint16_t* row1, int width, const Nv12Maps& maps,
                        std::uint8_t* luma0, std::uint8_t* luma1, std::uint8_t* chroma)
{
    HWY_DYNAMIC_DISPATCH(WordsToNv12Rows)(row0, row1, width, maps, luma0, luma1, chroma);
}

}  // namespace trellin_obs
#endif
