#include "apps/common/core/clip_count.h"

#include <algorithm>

namespace trellin_app {

void ClipCount::merge(const ClipCount& other)
{
    clipped += other.clipped;
    non_finite += other.non_finite;
    total += other.total;
    lowest = std::min(lowest, other.lowest);
    highest = std::max(highest, other.highest);
    alpha_clipped += other.alpha_clipped;
    alpha_non_finite += other.alpha_non_finite;
    alpha_total += other.alpha_total;
    alpha_lowest = std::min(alpha_lowest, other.alpha_lowest);
    alpha_highest = std::max(alpha_highest, other.alpha_highest);
}

}  // namespace trellin_app
