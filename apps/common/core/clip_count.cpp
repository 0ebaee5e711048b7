#include "apps/common/core/clip_count.h"

#include <algorithm>

namespace trellin_app {

void ClipCount::merge(const ClipCount& other)
{
    clipped += other.clipped;
    total += other.total;
    lowest = std::min(lowest, other.lowest);
    highest = std::max(highest, other.highest);
}

}  // namespace trellin_app
