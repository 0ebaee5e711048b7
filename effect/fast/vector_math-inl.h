// Lane-wise forms of the render's arithmetic for the fast kernels, compiled
// once per instruction set (included inside each kernel file's per-target
// namespace). Every exact operation here is the scalar code's operation in
// the same order, with no fused multiply-add, so each lane rounds as the
// scalar code does. Library functions (sin, pow, log10) are approximated and
// bracketed: a lane whose quantised result the bracket cannot decide is
// reported back, and the caller computes it with the scalar formula.

// Per-target include guard.
#if defined(TRELLIN_VECTOR_MATH_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef TRELLIN_VECTOR_MATH_INL_H_
#undef TRELLIN_VECTOR_MATH_INL_H_
#else
#define TRELLIN_VECTOR_MATH_INL_H_
#endif

#include "hwy/contrib/math/math-inl.h"
#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace vx {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// std::min and std::max: the first argument unless the second compares
// strictly below (above) it, so NaNs and signed zeros go where they go there.
template <class V>
HWY_INLINE V min_of(V a, V b)
{
    return hn::IfThenElse(b < a, b, a);
}
template <class V>
HWY_INLINE V max_of(V a, V b)
{
    return hn::IfThenElse(a < b, b, a);
}

// Scales (x, y, z) to unit length: the largest magnitude first, then three
// Newton steps for the square root in double, each component rounded to float
// once; a vector whose largest magnitude is below 1e-10 becomes 0. K vectors
// of lanes at once, each step for all of them before the next, so that their
// chains of divisions run side by side.
template <int K, class DF, class VF = hn::Vec<DF>>
HWY_INLINE void normalize3_each(DF df, VF* x, VF* y, VF* z)
{
    const hn::Rebind<double, DF> dd;
    using VD = hn::Vec<decltype(dd)>;
    hn::Mask<DF> vanishing[K];
    VF m[K];
    VD xd[K], yd[K], zd[K], s[K], g[K];
    for (int i = 0; i < K; ++i) {
        const VF ax = hn::Abs(x[i]);
        const VF ay = hn::Abs(y[i]);
        const VF az = hn::Abs(z[i]);
        m[i] = ax;
        m[i] = hn::IfThenElse(ay > m[i], ay, m[i]);
        m[i] = hn::IfThenElse(az > m[i], az, m[i]);
        vanishing[i] = m[i] < hn::Set(df, 1e-10f);
        xd[i] = hn::PromoteTo(dd, x[i]);
        yd[i] = hn::PromoteTo(dd, y[i]);
        zd[i] = hn::PromoteTo(dd, z[i]);
        const auto sum = hn::Add(hn::Add(hn::Mul(xd[i], xd[i]), hn::Mul(yd[i], yd[i])), hn::Mul(zd[i], zd[i]));
        s[i] = hn::PromoteTo(dd, hn::DemoteTo(df, sum));
    }
    for (int i = 0; i < K; ++i) {
        const auto dm = hn::PromoteTo(dd, m[i]);
        g[i] = hn::Add(dm, hn::Div(s[i], dm));
    }
    for (int i = 0; i < K; ++i) g[i] = hn::Add(hn::Div(s[i], g[i]), hn::Mul(hn::Set(dd, 0.25), g[i]));
    for (int i = 0; i < K; ++i) g[i] = hn::Mul(hn::Add(g[i], hn::Div(s[i], g[i])), hn::Set(dd, 0.5));
    for (int i = 0; i < K; ++i) {
        const VF length = hn::DemoteTo(df, g[i]);
        const auto f = hn::Div(hn::Set(dd, 1.0), hn::PromoteTo(dd, length));
        x[i] = hn::IfThenZeroElse(vanishing[i], hn::DemoteTo(df, hn::Mul(xd[i], f)));
        y[i] = hn::IfThenZeroElse(vanishing[i], hn::DemoteTo(df, hn::Mul(yd[i], f)));
        z[i] = hn::IfThenZeroElse(vanishing[i], hn::DemoteTo(df, hn::Mul(zd[i], f)));
    }
}

template <class DF, class VF = hn::Vec<DF>>
HWY_INLINE void normalize3(DF df, VF& x, VF& y, VF& z)
{
    normalize3_each<1>(df, &x, &y, &z);
}

// Relative width of the bracket around an approximated power exp(e), for an
// exponent product e: the library's pow and the approximation are each within
// a few units in the last place of the true value (the error of the
// logarithm growing with |e|, that of the sine with the power); the bracket
// is about a hundred times wider than their sum.
template <class DD, class VD = hn::Vec<DD>>
HWY_INLINE VD power_margin(DD dd, VD product, double power)
{
    const double unit = 1.0 / 17592186044416.0;  // 2^-44
    return hn::Mul(hn::Add(hn::Abs(product), hn::Set(dd, (power < 0.0 ? -power : power) + 4.0)), hn::Set(dd, unit));
}

// Exponent products below this (compared in float) give a power under e^-149,
// which is 0 in float whatever the factor after it (below 2^-149 / 2).
constexpr float underflow_product = -150.0f;

// The highlight d^gloss * brightness, as float, for lanes with d >= 0 (the
// caller zeroes the others). Lanes it cannot decide exactly are set in `redo`.
template <class DF, class VF = hn::Vec<DF>>
HWY_INLINE VF highlight_lanes(DF df, VF d, double gloss, double brightness, hn::Mask<DF>& redo)
{
    const hn::Rebind<double, DF> dd;
    const auto base = hn::PromoteTo(dd, d);
    const auto product = hn::Mul(hn::Set(dd, gloss), hn::Log(dd, base));
    const auto p = hn::Exp(dd, product);
    const auto margin = power_margin(dd, product, 0.0);
    const auto one = hn::Set(dd, 1.0);
    const auto b = hn::Set(dd, brightness);
    const VF low = hn::DemoteTo(df, hn::Mul(hn::Mul(p, hn::Sub(one, margin)), b));
    const VF high = hn::DemoteTo(df, hn::Mul(hn::Mul(p, hn::Add(one, margin)), b));
    const VF product_f = hn::DemoteTo(df, product);
    const auto tiny = product_f < hn::Set(df, underflow_product);
    const auto sane = product_f < hn::Set(df, 700.0f);
    const auto decided = hn::Or(tiny, hn::And(sane, hn::Eq(low, high)));
    // d = 0 (a logarithm of -inf) and NaN are left to the scalar formula.
    redo = hn::Or(hn::Not(decided), hn::Not(d > hn::Zero(df)));
    return hn::IfThenZeroElse(tiny, low);
}

// The 15-bit level of a float in 0..1 (clamped, NaN as 0), truncated.
template <class DF, class VF = hn::Vec<DF>>
HWY_INLINE hn::Vec<hn::RebindToSigned<DF>> level_of(DF df, VF v)
{
    const VF one = hn::Set(df, 1.0f);
    v = hn::IfThenElse(v > one, one, v);
    v = hn::IfThenElseZero(v >= hn::Zero(df), v);
    return hn::ConvertTo(hn::RebindToSigned<DF>(), hn::Mul(v, hn::Set(df, 32767.0f)));
}

// The dome's level at t (0..1 from the circle to the centre): the quarter
// sine to the power `curve`. Lanes it cannot decide exactly, t = 0 and NaN
// among them, are set in `redo`.
template <class DF, class VF = hn::Vec<DF>>
HWY_INLINE hn::Vec<hn::RebindToSigned<DF>> dome_lanes(DF df, VF t, double curve, hn::Mask<DF>& redo)
{
    const hn::Rebind<double, DF> dd;
    const hn::RebindToSigned<DF> di;
    const auto angle = hn::Mul(hn::PromoteTo(dd, t), hn::Set(dd, 1.570796327));
    const auto s = hn::Sin(dd, angle);
    // A power of 1 leaves the sine as it is (within the library's bound).
    const bool plain = curve == 1.0;
    const auto product = plain ? hn::Zero(dd) : hn::Mul(hn::Set(dd, curve), hn::Log(dd, s));
    const auto p = plain ? s : hn::Exp(dd, product);
    const auto margin = power_margin(dd, product, curve);
    const auto one = hn::Set(dd, 1.0);
    const auto low = level_of(df, hn::DemoteTo(df, hn::Mul(p, hn::Sub(one, margin))));
    const auto high = level_of(df, hn::DemoteTo(df, hn::Mul(p, hn::Add(one, margin))));
    const auto tiny = hn::DemoteTo(df, product) < hn::Set(df, underflow_product);
    const auto decided = hn::Or(tiny, hn::RebindMask(df, hn::Eq(low, high)));
    redo = hn::Or(hn::Not(decided), hn::Not(t > hn::Zero(df)));
    return hn::IfThenZeroElse(hn::RebindMask(di, tiny), low);
}

// The pair of pyramid levels, and the upper one's share out of 16384, that a
// box of `area` (above 1) is filtered from, for a pyramid of `count` >= 1
// reduced levels; areas up to `flat_limit` (level_blend_flat_limit) give
// level 0 alone without a logarithm. Lanes it cannot decide exactly are set
// in `redo`.
template <class DF, class VF = hn::Vec<DF>>
HWY_INLINE void level_blend_lanes(DF df, VF area, int count, float flat_limit, hn::Vec<hn::RebindToSigned<DF>>& level,
                                  hn::Vec<hn::RebindToSigned<DF>>& weight, hn::Mask<DF>& redo)
{
    const hn::Rebind<double, DF> dd;
    const hn::Rebind<std::int32_t, DF> di;
    const auto flat = area <= hn::Set(df, flat_limit);
    if (hn::AllTrue(df, flat)) {
        level = hn::Zero(di);
        weight = hn::Zero(di);
        redo = hn::FirstN(df, 0);
        return;
    }
    const VF cap = hn::Set(df, 200.0f);
    area = hn::IfThenElse(area <= cap, area, cap);  // a NaN area counts as the cap
    const auto lev =
        hn::Mul(hn::Log10(dd, hn::Sqrt(hn::PromoteTo(dd, area))), hn::Set(dd, static_cast<double>(3.321928f)));
    // The level number and the 14-bit share, as the scalar code quantises
    // them: an integer part past the last pair of levels is folded onto it.
    const auto last = hn::Set(di, count - 1);
    using VD = hn::Vec<decltype(dd)>;
    auto quantise = [&](VD v, hn::Vec<decltype(di)>& li, hn::Vec<decltype(di)>& fl) {
        li = hn::DemoteTo(di, v);
        const auto beyond = hn::PromoteTo(dd, li) > hn::Set(dd, static_cast<double>(count - 1));
        const auto folded = hn::Add(hn::Sub(v, hn::PromoteTo(dd, li)), hn::PromoteTo(dd, last));
        v = hn::IfThenElse(beyond, folded, v);
        li = hn::IfThenElse(li > last, last, li);
        const auto share = hn::Add(hn::Mul(hn::Sub(v, hn::PromoteTo(dd, li)), hn::Set(dd, 16384.0)), hn::Set(dd, 0.5));
        fl = hn::DemoteTo(di, share);
    };
    const double margin = 1.0 / 1099511627776.0;  // 2^-40, in levels (at most about 4)
    hn::Vec<decltype(di)> li_low, fl_low, li_high, fl_high;
    quantise(hn::Sub(lev, hn::Set(dd, margin)), li_low, fl_low);
    quantise(hn::Add(lev, hn::Set(dd, margin)), li_high, fl_high);
    const auto flat_i = hn::RebindMask(di, flat);
    level = hn::IfThenZeroElse(flat_i, li_low);
    weight = hn::IfThenZeroElse(flat_i, fl_low);
    redo = hn::AndNot(flat, hn::RebindMask(df, hn::Not(hn::And(hn::Eq(li_low, li_high), hn::Eq(fl_low, fl_high)))));
}

// The same for a pyramid of four or more reduced levels, through the table
// of steps (level_steps): the logarithm in float gives the step to within
// one, and the table's first areas settle it.
template <class DF, class VF = hn::Vec<DF>>
HWY_INLINE void level_step_lanes(DF df, VF area, const float* first_area, int steps,
                                 hn::Vec<hn::RebindToSigned<DF>>& level, hn::Vec<hn::RebindToSigned<DF>>& weight)
{
    const hn::RebindToSigned<DF> di;
    const VF cap = hn::Set(df, 200.0f);
    area = hn::IfThenElse(area <= cap, area, cap);  // a NaN area counts as the cap
    const VF one = hn::Set(df, 1.0f);
    const VF lev = hn::Mul(hn::Log2(df, hn::Max(area, one)), hn::Set(df, 0.5f));
    const auto li = hn::ConvertTo(di, lev);
    const auto fl = hn::ConvertTo(
        di, hn::Add(hn::Mul(hn::Sub(lev, hn::ConvertTo(df, li)), hn::Set(df, 16384.0f)), hn::Set(df, 0.5f)));
    auto j = hn::Add(hn::Mul(li, hn::Set(di, 16385)), fl);
    j = hn::Min(hn::Max(j, hn::Zero(di)), hn::Set(di, steps - 1));
    const VF low = hn::GatherIndex(df, first_area, j);
    const VF high = hn::GatherIndex(df, first_area, hn::Add(j, hn::Set(di, 1)));
    j = hn::Sub(j, hn::IfThenElseZero(hn::RebindMask(di, area < low), hn::Set(di, 1)));
    j = hn::Add(j, hn::IfThenElseZero(hn::RebindMask(di, area >= high), hn::Set(di, 1)));
    const auto per = hn::Set(di, 16385);
    level = hn::Add(hn::Add(hn::IfThenElseZero(j > hn::Sub(per, hn::Set(di, 1)), hn::Set(di, 1)),
                            hn::IfThenElseZero(j > hn::Sub(hn::Add(per, per), hn::Set(di, 1)), hn::Set(di, 1))),
                    hn::IfThenElseZero(j > hn::Sub(hn::Mul(per, hn::Set(di, 3)), hn::Set(di, 1)), hn::Set(di, 1)));
    weight = hn::Sub(j, hn::Mul(level, per));
}

}  // namespace HWY_NAMESPACE
}  // namespace vx
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
