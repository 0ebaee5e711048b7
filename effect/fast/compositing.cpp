// Compositing in vector form, a lane per output pixel: the footprint, its
// box, the pair of pyramid levels and the bilinear taps, gathered from the
// levels as 32-bit words of two samples each and weighted in 32-bit lanes.
// Footprints that reach outside the picture under the "Black" and "Wrap"
// edges, and level blends the bracket cannot decide, are sampled by the
// scalar sampler itself.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "effect/fast/kernels.h"
#include "effect/level_steps.h"
#include "effect/pixel_math.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "effect/fast/compositing.cpp"
#include "hwy/foreach_target.h"  // IWYU pragma: keep
#include "hwy/highway.h"

#include "effect/fast/lane_loop-inl.h"
#include "effect/fast/vector_math-inl.h"

HWY_BEFORE_NAMESPACE();
namespace vx {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

namespace {

constexpr int one = 16384;
constexpr int table = SourcePyramid::max_levels + 1;

// The pyramid as the lanes look it up: every level addressed in 32-bit words
// (two samples) from one base.
struct Levels {
    const std::uint32_t* base;
    std::int32_t word[table];  // the level's first word
    std::int32_t end[table];   // one past the last word of the block holding it
    std::int32_t width[table];
    std::int32_t last_x[table];
    std::int32_t last_y[table];
    float scale[table];
    int count;                // reduced levels
    float flat_limit;         // areas up to it are filtered from level 0 alone
    const float* step_areas;  // the level blend's table (four or more levels)
    int steps;
};

Levels levels_of(const SourcePyramid* p)
{
    Levels l{};
    l.count = p->level_count;
    l.flat_limit = level_blend_flat_limit();
    const LevelSteps& steps = level_steps();
    l.step_areas = steps.first_area.data();
    l.steps = steps.count;
    const std::uint16_t* lowest = p->levels[0];
    for (int k = 1; k <= p->level_count; ++k) lowest = std::min(lowest, p->levels[k]);
    l.base = reinterpret_cast<const std::uint32_t*>(lowest);
    const auto words = [p](int k) {
        return static_cast<std::int32_t>(std::size_t(p->level_width[k]) * std::size_t(p->level_height[k]) * 2);
    };
    const std::int32_t reduced_end =
        static_cast<std::int32_t>((p->levels[p->level_count] - lowest) / 2) + words(p->level_count);
    for (int k = 0; k < table; ++k) {
        const int at = std::min(k, p->level_count);
        l.word[k] = static_cast<std::int32_t>((p->levels[at] - lowest) / 2);
        l.end[k] = at == 0 ? l.word[0] + words(0) : reduced_end;
        l.width[k] = p->level_width[at];
        l.last_x[k] = p->level_width[at] - 1;
        l.last_y[k] = p->level_height[at] - 1;
        l.scale[k] = p->level_scale[at];
    }
    return l;
}

// What every pixel of a row's pass shares.
struct Pass {
    const FrameState* f;
    Levels levels;
    int channel;  // -1: all four
    bool lit;     // colour channels lit
    int edge;
};

template <class DI>
struct Channels {
    hn::Vec<DI> v[4];
};

// The taps of a vector of lookups read as short stretches of a level and
// picked out lane by lane, rather than gathered: when every lane's taps lie
// within two vectors' words of the lowest (neighbouring pixels looking at
// neighbouring places, as they mostly do) and the steps to the right and
// lower taps are the same in every lane. With four lanes or more.
template <class DI>
struct Window {
    using V = hn::Vec<DI>;
    static constexpr int lanes = static_cast<int>(hn::MaxLanes(DI()));
    bool fits = false;
    std::int32_t first = 0;
    // Stretches of two vectors' words from `first` at the upper left, upper
    // right, lower left and lower right taps, each in two halves.
    V stretch[4][2];

    // Reads the stretches when the lanes' taps fit them (sets `fits`).
    void open(DI di, const std::int32_t* base, V at, V step_x, V step_y, std::int32_t end)
    {
        if constexpr (lanes >= 4) {
            if (end < 0) return;
            const std::int32_t sx = hn::GetLane(step_x);
            const std::int32_t sy = hn::GetLane(step_y);
            if (!hn::AllTrue(di, hn::And(hn::Eq(step_x, hn::Set(di, sx)), hn::Eq(step_y, hn::Set(di, sy))))) return;
            first = hn::GetLane(hn::MinOfLanes(di, at));
            const std::int32_t last = hn::GetLane(hn::MaxOfLanes(di, at)) + 1;  // and its second word
            if (last - first >= 2 * lanes || first + sx + sy + 2 * lanes > end) return;
            const std::int32_t starts[4] = {first, first + sx, first + sy, first + sy + sx};
            for (int t = 0; t < 4; ++t) {
                stretch[t][0] = hn::LoadU(di, base + starts[t]);
                stretch[t][1] = hn::LoadU(di, base + starts[t] + lanes);
            }
            fits = true;
        } else {
            (void)di, (void)base, (void)at, (void)step_x, (void)step_y, (void)end;
        }
    }
    // The four taps' words at `words` (upper left tap's word of each lane).
    void taps(V words, V out[4]) const
    {
        const DI di;
        const auto offset = hn::Sub(words, hn::Set(di, first));
        const auto lane = hn::IndicesFromVec(di, hn::And(offset, hn::Set(di, lanes - 1)));
        const auto low = offset < hn::Set(di, lanes);
        for (int t = 0; t < 4; ++t)
            out[t] = hn::IfThenElse(low, hn::TableLookupLanes(stretch[t][0], lane),
                                    hn::TableLookupLanes(stretch[t][1], lane));
    }
};

// Bilinear lookups at (cx, cy) in levels `level`, with 14-bit weights, for
// the pass's channels. `same` is the level of every lane when they share
// one, else -1. K lookups at once (the two levels of a blend), each step for
// all of them before the next, so that their loads and arithmetic overlap.
template <int K, class DF, class VF = hn::Vec<DF>>
HWY_INLINE void bilinear_each(DF df, const Pass& pass, const hn::Vec<hn::RebindToSigned<DF>>* level, const int* same,
                              const VF* cx, const VF* cy, Channels<hn::RebindToSigned<DF>>* out)
{
    const hn::RebindToSigned<DF> di;
    using VI = hn::Vec<decltype(di)>;
    const Levels& l = pass.levels;
    const VF scale14 = hn::Set(df, 16384.0f);
    const VF half = hn::Set(df, 0.5f);
    const auto mask16 = hn::Set(di, 0xFFFF);
    const auto* base = reinterpret_cast<const std::int32_t*>(l.base);
    VI fx[K], fy[K], gx[K], gy[K], step_x[K], step_y[K], at[K];
    Window<decltype(di)> window[K];
    for (int i = 0; i < K; ++i) {
        const auto look_up = [&](const std::int32_t* values) {
            return same[i] >= 0 ? hn::Set(di, values[same[i]]) : hn::GatherIndex(di, values, level[i]);
        };
        const auto width = look_up(l.width);
        const auto last_x = look_up(l.last_x);
        const auto last_y = look_up(l.last_y);
        const auto first = look_up(l.word);
        auto xi = hn::ConvertTo(di, cx[i]);
        auto yi = hn::ConvertTo(di, cy[i]);
        fx[i] = hn::ConvertTo(di, hn::Add(hn::Mul(hn::Sub(cx[i], hn::ConvertTo(df, xi)), scale14), half));
        fy[i] = hn::ConvertTo(di, hn::Add(hn::Mul(hn::Sub(cy[i], hn::ConvertTo(df, yi)), scale14), half));
        gx[i] = hn::Sub(hn::Set(di, one), fx[i]);
        gy[i] = hn::Sub(hn::Set(di, one), fy[i]);
        // The tap point is kept inside the level; the right and lower taps fall
        // back onto it at the last column and row.
        xi = hn::Min(xi, last_x);
        yi = hn::Min(yi, last_y);
        const auto row_words = hn::ShiftLeft<1>(width);
        step_x[i] = hn::IfThenElseZero(last_x > xi, hn::Set(di, 2));
        step_y[i] = hn::IfThenElseZero(last_y > yi, row_words);
        at[i] = hn::Add(first, hn::ShiftLeft<1>(hn::Add(hn::Mul(yi, width), xi)));
    }
    for (int i = 0; i < K; ++i) {
        for (auto& v : out[i].v) v = hn::Zero(di);
        window[i].open(di, base, at[i], step_x[i], step_y[i], same[i] >= 0 ? l.end[same[i]] : -1);
    }
    for (int word = 0; word < 2; ++word) {
        // Words 0 and 1 hold channels 0, 1 and 2, 3.
        if (pass.channel >= 0 && (pass.channel >> 1) != word) continue;
        VI t[K][4];
        for (int i = 0; i < K; ++i) {
            const auto w00 = hn::Add(at[i], hn::Set(di, word));
            if (window[i].fits) {
                window[i].taps(w00, t[i]);
            } else {
                const auto w01 = hn::Add(w00, step_y[i]);
                t[i][0] = hn::GatherIndex(di, base, w00);
                t[i][1] = hn::GatherIndex(di, base, hn::Add(w00, step_x[i]));
                t[i][2] = hn::GatherIndex(di, base, w01);
                t[i][3] = hn::GatherIndex(di, base, hn::Add(w01, step_x[i]));
            }
        }
        for (int half_word = 0; half_word < 2; ++half_word) {
            const int c = 2 * word + half_word;
            if (pass.channel >= 0 && pass.channel != c) continue;
            auto sample = [&](VI v) { return half_word == 0 ? hn::And(v, mask16) : hn::ShiftRight<16>(v); };
            for (int i = 0; i < K; ++i) {
                const auto top =
                    hn::ShiftRight<14>(hn::Add(hn::Mul(sample(t[i][0]), gx[i]), hn::Mul(sample(t[i][1]), fx[i])));
                const auto bottom =
                    hn::ShiftRight<14>(hn::Add(hn::Mul(sample(t[i][2]), gx[i]), hn::Mul(sample(t[i][3]), fx[i])));
                out[i].v[c] = hn::ShiftRight<14>(hn::Add(hn::Mul(top, gy[i]), hn::Mul(bottom, fy[i])));
            }
        }
    }
}

// The level blend of each lane's area: from the table for pyramids of four
// or more levels, otherwise in lanes of double precision.
template <class DF, class VF = hn::Vec<DF>>
HWY_INLINE void blend_of(DF df, VF area, const Levels& l, hn::Vec<hn::RebindToSigned<DF>>& level,
                         hn::Vec<hn::RebindToSigned<DF>>& weight, hn::Mask<DF>& redo)
{
    if (l.count >= 4) {
        const auto flat = area <= hn::Set(df, l.flat_limit);
        redo = hn::FirstN(df, 0);
        if (hn::AllTrue(df, flat)) {
            level = hn::Zero(hn::RebindToSigned<DF>());
            weight = level;
            return;
        }
        // Boxes close to one pixel (where the glass is flat) are counted
        // against the first steps' areas directly.
        constexpr int near = 16;
        if (l.steps > near && hn::AllTrue(df, area < hn::Set(df, l.step_areas[near + 1]))) {
            const hn::RebindToSigned<DF> di;
            auto j = hn::Zero(di);
            for (int k = 1; k <= near; ++k)
                j = hn::Sub(j, hn::VecFromMask(di, hn::RebindMask(di, area >= hn::Set(df, l.step_areas[k]))));
            level = hn::Zero(di);
            weight = j;
            return;
        }
        level_step_lanes(df, area, l.step_areas, l.steps, level, weight);
        return;
    }
#if HWY_TARGET == HWY_SCALAR
    level_blend_lanes(df, area, l.count, l.flat_limit, level, weight, redo);
#else
    // Doubles fill twice the registers: each half on its own.
    const hn::Half<DF> dh;
    const hn::RebindToSigned<decltype(dh)> dhi;
    hn::Vec<decltype(dhi)> level_lo, level_hi, weight_lo, weight_hi;
    hn::Mask<decltype(dh)> redo_lo, redo_hi;
    level_blend_lanes(dh, hn::LowerHalf(dh, area), l.count, l.flat_limit, level_lo, weight_lo, redo_lo);
    level_blend_lanes(dh, hn::UpperHalf(dh, area), l.count, l.flat_limit, level_hi, weight_hi, redo_hi);
    const hn::RebindToSigned<DF> di;
    level = hn::Combine(di, level_hi, level_lo);
    weight = hn::Combine(di, weight_hi, weight_lo);
    const auto redo_i = hn::Combine(di, hn::VecFromMask(dhi, hn::RebindMask(dhi, redo_hi)),
                                    hn::VecFromMask(dhi, hn::RebindMask(dhi, redo_lo)));
    redo = hn::RebindMask(df, hn::MaskFromVec(redo_i));
#endif
}

// A lit colour channel: the light colour scaled by the highlight plus the
// dimmed sample, truncated into 0..32767 (NaN as 0).
template <class DF, class VF = hn::Vec<DF>>
HWY_INLINE hn::Vec<hn::RebindToSigned<DF>> lit_lanes(DF df, float colour, VF highlight,
                                                     hn::Vec<hn::RebindToSigned<DF>> s, float back)
{
    const hn::RebindToSigned<DF> di;
    const VF value = hn::Add(hn::Mul(hn::Set(df, colour), highlight), hn::Mul(hn::ConvertTo(df, s), hn::Set(df, back)));
    auto out = hn::IfThenElseZero(hn::RebindMask(di, value > hn::Zero(df)), hn::ConvertTo(di, value));
    return hn::IfThenElse(hn::RebindMask(di, value >= hn::Set(df, 32767.0f)), hn::Set(di, 32767), out);
}

// Output columns x .. x + n - 1 of the row.
template <class DF>
HWY_INLINE void composite_vector(DF df, const Pass& pass, const CompositeRow& row, int x, int n)
{
    using VF = hn::Vec<DF>;
    const hn::RebindToSigned<DF> di;
    const FrameState& f = *pass.f;
    const bool whole = n == static_cast<int>(hn::Lanes(df));
    const auto valid = hn::FirstN(df, static_cast<std::size_t>(n));
    // The rows are padded: lanes past the last column read whatever follows
    // and are never stored. They are set to 0 so that no value found there
    // can lead a lookup outside the pyramid.
    const auto load = [&](const float* p) {
        const VF v = hn::LoadU(df, p);
        return whole ? v : hn::IfThenElseZero(valid, v);
    };

    // The footprint: x from columns x - 1 and x, y from columns x and x + 1,
    // both from this row and the next.
    const VF a = load(row.sample_x + x - 1);
    const VF b = load(row.sample_x + x);
    const VF c = load(row.sample_x_below + x - 1);
    const VF d = load(row.sample_x_below + x);
    const VF e = load(row.sample_y + x);
    const VF g = load(row.sample_y + x + 1);
    const VF h = load(row.sample_y_below + x);
    const VF k = load(row.sample_y_below + x + 1);
    const VF fx0 = min_of(min_of(a, b), min_of(c, d));
    const VF fx1 = max_of(max_of(a, b), max_of(c, d));
    const VF fy0 = min_of(min_of(e, g), min_of(h, k));
    const VF fy1 = max_of(max_of(e, g), max_of(h, k));

    // The box, ordered; outside the picture the edge mode decides.
    const auto swap_x = fx0 > fx1;
    const auto swap_y = fy0 > fy1;
    VF x0 = hn::IfThenElse(swap_x, fx1, fx0);
    VF x1 = hn::IfThenElse(swap_x, fx0, fx1);
    VF y0 = hn::IfThenElse(swap_y, fy1, fy0);
    VF y1 = hn::IfThenElse(swap_y, fy0, fy1);
    const VF zero = hn::Zero(df);
    const auto inside = hn::And(hn::And(x0 >= zero, x1 <= hn::Set(df, static_cast<float>(f.width - 1))),
                                hn::And(y0 >= zero, y1 <= hn::Set(df, static_cast<float>(f.height - 1))));
    auto scalar = pass.edge == edge_duplicate ? hn::FirstN(df, 0) : hn::AndNot(inside, valid);
    const VF area = hn::Mul(hn::Sub(x1, x0), hn::Sub(y1, y0));

    // Kept one pixel and a hair inside the right and lower edge, and at 0.
    const VF xmax = hn::Set(df, static_cast<float>(f.width) - 2.0001f);
    const VF ymax = hn::Set(df, static_cast<float>(f.height) - 2.0001f);
    x0 = hn::IfThenElse(x0 > xmax, xmax, x0);
    x0 = hn::IfThenElseZero(x0 >= zero, x0);
    y0 = hn::IfThenElse(y0 > ymax, ymax, y0);
    y0 = hn::IfThenElseZero(y0 >= zero, y0);
    x1 = hn::IfThenElse(x1 > xmax, xmax, x1);
    x1 = hn::IfThenElse(x1 >= x0, x1, x0);
    y1 = hn::IfThenElse(y1 > ymax, ymax, y1);
    y1 = hn::IfThenElse(y1 >= y0, y1, y0);

    // Small boxes (up to the flat limit, area 1 and below among them) come
    // from level 0 alone; larger ones blend a pair of levels.
    auto level = hn::Zero(di);
    auto weight = hn::Zero(di);
    if (pass.levels.count >= 1) {
        hn::Mask<DF> redo;
        blend_of(df, area, pass.levels, level, weight, redo);
        scalar = hn::Or(scalar, hn::And(redo, valid));
    }
    const VF half = hn::Set(df, 0.5f);
    VF cx = hn::Mul(hn::Add(x0, x1), half);
    VF cy = hn::Mul(hn::Add(y0, y1), half);
    // Neighbouring pixels mostly share their level: then it is looked up once.
    const int first_level = hn::GetLane(level);
    const int same = hn::AllTrue(di, hn::Eq(level, hn::Set(di, first_level))) ? first_level : -1;
    if (same != 0) {
        const VF scale =
            same > 0 ? hn::Set(df, pass.levels.scale[same]) : hn::GatherIndex(df, pass.levels.scale, level);
        cx = hn::Mul(cx, scale);
        cy = hn::Mul(cy, scale);
    }
    Channels<hn::RebindToSigned<DF>> s;
    if (hn::AllTrue(di, hn::Eq(weight, hn::Zero(di)))) {
        bilinear_each<1>(df, pass, &level, &same, &cx, &cy, &s);
    } else {
        // Both levels of the blend, looked up side by side.
        const hn::Vec<decltype(di)> levels[2] = {level, hn::Add(level, hn::Set(di, 1))};
        const int sames[2] = {same, same < 0 ? -1 : same + 1};
        const VF xs[2] = {cx, hn::Mul(cx, half)};
        const VF ys[2] = {cy, hn::Mul(cy, half)};
        Channels<hn::RebindToSigned<DF>> both[2];
        bilinear_each<2>(df, pass, levels, sames, xs, ys, both);
        s = both[0];
        const auto keep = hn::Sub(hn::Set(di, one), weight);
        for (int ch = 0; ch < 4; ++ch) {
            if (pass.channel < 0 || pass.channel == ch)
                s.v[ch] = hn::ShiftRight<14>(hn::Add(hn::Mul(s.v[ch], keep), hn::Mul(both[1].v[ch], weight)));
        }
    }

    VF highlight = zero;
    if (pass.lit) {
        highlight = load(row.highlight + x);
        for (int ch = 0; ch < 3; ++ch) {
            if (pass.channel < 0 || pass.channel == ch)
                s.v[ch] = lit_lanes(df, f.light_colour[ch], highlight, s.v[ch], f.back_bright);
        }
    }

    std::uint16_t* out = row.out + static_cast<std::size_t>(x) * 4;
    if (pass.channel < 0) {
        const hn::RebindToUnsigned<DF> du;
        const auto rg = hn::BitCast(du, hn::Or(s.v[0], hn::ShiftLeft<16>(s.v[1])));
        const auto ba = hn::BitCast(du, hn::Or(s.v[2], hn::ShiftLeft<16>(s.v[3])));
        if (whole) {
            hn::StoreInterleaved2(rg, ba, du, reinterpret_cast<std::uint32_t*>(out));
        } else {
            constexpr int room = 2 * static_cast<int>(hn::MaxLanes(DF()));
            std::uint32_t words[room];
            hn::StoreInterleaved2(rg, ba, du, words);
            // n is below the lane count here; the bound keeps the compiler
            // from doubting it where one lane makes this branch dead.
            auto* dst = reinterpret_cast<std::uint32_t*>(out);
            for (int i = 0; i < 2 * n && i < room; ++i) dst[i] = words[i];
        }
    } else {
        std::int32_t values[hn::MaxLanes(DF())];
        hn::StoreU(s.v[pass.channel], di, values);
        for (int i = 0; i < n; ++i) out[i * 4 + pass.channel] = static_cast<std::uint16_t>(values[i]);
    }

    if (!hn::AllFalse(df, scalar)) {
        float coords[4][hn::MaxLanes(DF())];
        float lights[hn::MaxLanes(DF())];
        hn::StoreU(fx0, df, coords[0]);
        hn::StoreU(fy0, df, coords[1]);
        hn::StoreU(fx1, df, coords[2]);
        hn::StoreU(fy1, df, coords[3]);
        hn::StoreU(highlight, df, lights);
        for_each_set_lane(df, scalar, [&](int i) {
            const Sample4 v = sample_area(f.pyramid, coords[0][i], coords[1][i], coords[2][i], coords[3][i], pass.edge,
                                          f.channel_mask);
            std::uint16_t* px = out + static_cast<std::size_t>(i) * 4;
            for (int ch = 0; ch < 4; ++ch) {
                if (pass.channel >= 0 && pass.channel != ch) continue;
                px[ch] = pass.lit && ch < 3 ? lit_value(f.light_colour[ch], lights[i], v[ch], f.back_bright) : v[ch];
            }
        });
    }
}

}  // namespace

void composite_row(const FrameState& f, const CompositeRow& row)
{
    Pass pass{&f, levels_of(f.pyramid), f.channel, false, f.edge_mode - 1};
    pass.lit = f.lit && f.channel < 3;
    const hn::ScalableTag<float> df;
    for_vectors(df, 1, f.width - 1, [&](auto d, int x, int n) { composite_vector(d, pass, row, x, n); });
}

void level_blend_values(const float* areas, int count, int level_count, int* levels, int* weights)
{
    Levels l{};
    l.count = level_count;
    l.flat_limit = level_blend_flat_limit();
    const LevelSteps& steps = level_steps();
    l.step_areas = steps.first_area.data();
    l.steps = steps.count;
    const hn::ScalableTag<float> df;
    const hn::RebindToSigned<decltype(df)> di;
    constexpr int most = static_cast<int>(hn::MaxLanes(decltype(df)()));
    for_vectors(df, 0, count, [&](auto d, int i, int n) {
        float in[most];
        std::int32_t level_out[most], weight_out[most];
        std::fill(in, in + most, 1.0f);
        std::copy(areas + i, areas + i + n, in);
        hn::Vec<decltype(di)> level, weight;
        hn::Mask<decltype(d)> redo;
        blend_of(d, hn::LoadU(d, in), l, level, weight, redo);
        hn::StoreU(level, di, level_out);
        hn::StoreU(weight, di, weight_out);
        for_each_set_lane(d, redo, [&](int lane) {
            const LevelBlend exact = level_blend(in[lane], level_count);
            level_out[lane] = exact.level;
            weight_out[lane] = exact.weight;
        });
        std::copy(level_out, level_out + n, levels + i);
        std::copy(weight_out, weight_out + n, weights + i);
    });
}

}  // namespace HWY_NAMESPACE
}  // namespace vx
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace vx {

HWY_EXPORT(composite_row);
HWY_EXPORT(level_blend_values);

void fast_composite_row(const FrameState& f, const CompositeRow& row)
{
    HWY_DYNAMIC_DISPATCH(composite_row)(f, row);
}

void fast_level_blend(const float* areas, int count, int level_count, int* levels, int* weights)
{
    HWY_DYNAMIC_DISPATCH(level_blend_values)(areas, count, level_count, levels, weights);
}

}  // namespace vx
#endif  // HWY_ONCE
