#include "apps/ofx/host_position.h"

#include <cmath>

namespace trellin_ofx {

bool measurable(const OfxRectD& region)
{
    const double w = region.x2 - region.x1, h = region.y2 - region.y1;
    return std::isfinite(region.x1) && std::isfinite(region.y2) && std::isfinite(w) && std::isfinite(h) && w >= 1.0 &&
           h >= 1.0;
}

void host_position(const OfxRectD& region, const double node[2], double host[2])
{
    host[0] = region.x1 + node[0] * (region.x2 - region.x1);
    host[1] = region.y2 - node[1] * (region.y2 - region.y1);
}

void node_position(const OfxRectD& region, const double host[2], double node[2])
{
    node[0] = (host[0] - region.x1) / (region.x2 - region.x1);
    node[1] = (region.y2 - host[1]) / (region.y2 - region.y1);
}

void normalised_default(const double node[2], double normalised[2])
{
    normalised[0] = node[0];
    normalised[1] = 1.0 - node[1];
}

}  // namespace trellin_ofx
