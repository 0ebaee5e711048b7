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

#include "apps/ofx/ofx_api.h"

namespace trellin_ofx {

// True when `region` is a picture positions can be measured in: finite, at
// least one unit wide and high.
bool measurable(const OfxRectD& region);

// A host position from the node's fractions.
void host_position(const OfxRectD& region, const double node[2], double host[2]);

// The node's fractions from a host position.
void node_position(const OfxRectD& region, const double host[2], double node[2]);

// A node default (fractions, y down) as the host's normalised default:
// fractions of the picture with y upwards from its bottom edge.
void normalised_default(const double node[2], double normalised[2]);

}  // namespace trellin_ofx
