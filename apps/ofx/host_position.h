// Positions as the host keeps them. The node places a crosshair (the light,
// the pivot of the turn, the shift of the grid) in fractions of the picture's
// width and height, y downwards from the top-left corner. Hosts keep a 2D
// position in canonical coordinates: units of the picture's region of
// definition, y upwards. `region` is that region (the source's, at the time
// the value is for), in canonical coordinates.
//
// The mapping is x_host = x1 + x * (x2 - x1), y_host = y2 - y * (y2 - y1) and
// its inverse. For the values a user or a look sets, the inverse of the
// forward map gives back the same float the node renders with: every float
// within the controls' ranges comes back bit for bit at whole-pixel sizes,
// except those nearer 0 than about 2^-22 in y (where y2 - y * h cannot hold
// all of y's bits); what is left of such a value is below a millionth of a
// pixel, and the node narrows positions to floats of pixels before it uses
// them.
#pragma once

#include <cmath>

#include "apps/ofx/ofx_api.h"

namespace trellin_ofx {

// True when `region` is a picture positions can be measured in: finite, at
// least one unit wide and high.
inline bool measurable(const OfxRectD& region)
{
    const double w = region.x2 - region.x1, h = region.y2 - region.y1;
    return std::isfinite(region.x1) && std::isfinite(region.y2) && std::isfinite(w) && std::isfinite(h) && w >= 1.0 &&
           h >= 1.0;
}

// A host position from the node's fractions.
inline void host_position(const OfxRectD& region, const double node[2], double host[2])
{
    host[0] = region.x1 + node[0] * (region.x2 - region.x1);
    host[1] = region.y2 - node[1] * (region.y2 - region.y1);
}

// The node's fractions from a host position.
inline void node_position(const OfxRectD& region, const double host[2], double node[2])
{
    node[0] = (host[0] - region.x1) / (region.x2 - region.x1);
    node[1] = (region.y2 - host[1]) / (region.y2 - region.y1);
}

// A node default (fractions, y down) as the host's normalised default:
// fractions of the picture with y upwards from its bottom edge.
inline void normalised_default(const double node[2], double normalised[2])
{
    normalised[0] = node[0];
    normalised[1] = 1.0 - node[1];
}

}  // namespace trellin_ofx
