// Running a lane-wise body over a range of columns: whole vectors first, then
// the remaining columns one lane at a time through the same body, so every
// column is computed by one code path whatever its position.

#if defined(TRELLIN_LANE_LOOP_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef TRELLIN_LANE_LOOP_INL_H_
#undef TRELLIN_LANE_LOOP_INL_H_
#else
#define TRELLIN_LANE_LOOP_INL_H_
#endif

#include <cstdint>

#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace vx {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Calls body(d, x) for x = first, first + Lanes(d), ... while a whole vector
// fits before `end`, then body(one, x) for each column left, where `one` is
// the one-lane descriptor of the same lane type.
template <class D, class Body>
HWY_INLINE void for_lanes(D d, int first, int end, Body&& body)
{
    const int n = static_cast<int>(hn::Lanes(d));
    int x = first;
    for (; x + n <= end; x += n) body(d, x);
    const hn::CappedTag<hn::TFromD<D>, 1> one;
    for (; x < end; ++x) body(one, x);
}

// Calls body(d, x, n) for x = first, first + Lanes(d), ... up to `end`, where
// n is the number of lanes of the vector that lie before `end` (all but
// possibly the last). The body must not read or write past its n lanes.
template <class D, class Body>
HWY_INLINE void for_vectors(D d, int first, int end, Body&& body)
{
    const int lanes = static_cast<int>(hn::Lanes(d));
    for (int x = first; x < end; x += lanes) body(d, x, end - x < lanes ? end - x : lanes);
}

// The column numbers x, x + 1, ... of a vector's lanes. Iota(d, x) builds its
// lanes one by one through memory on some targets, which stalls the load
// that follows; Iota from 0 is a constant, and adding x to it is one step.
template <class DI>
HWY_INLINE hn::Vec<DI> columns_from(DI di, int x)
{
    return hn::Add(hn::Iota(di, 0), hn::Set(di, x));
}

// Calls visit(i) for every lane i set in `mask`.
template <class D, class Visit>
HWY_INLINE void for_each_set_lane(D d, hn::Mask<D> mask, Visit&& visit)
{
    if (hn::AllFalse(d, mask)) return;
    std::uint8_t bits[(hn::MaxLanes(D()) + 7) / 8 + 8] = {};
    hn::StoreMaskBits(d, mask, bits);
    const int n = static_cast<int>(hn::Lanes(d));
    for (int i = 0; i < n; ++i) {
        if (bits[i >> 3] & (1u << (i & 7))) visit(i);
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace vx
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
