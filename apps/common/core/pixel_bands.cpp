#include "apps/common/core/pixel_bands.h"

namespace trellin_app {

int pixel_band_count(std::size_t pixels)
{
    // Below this many pixels, handing the work out costs more than it saves.
    constexpr std::size_t shared_from = 1 << 16;
    const int n = smp_numprocs();
    return pixels < shared_from || n < 2 ? 1 : n;
}

}  // namespace trellin_app
