// Colour and alpha around the node for hosts that hand it samples in the
// convention of their form and take the result back in the same form:
// integer samples are sRGB, float samples linear, and the node works in the
// input's own space, so no colour space is ever converted and no colour
// configuration is needed. What is left is the core's colour handling
// (frame_colour.h) as trellin render runs it with no colour options: alpha
// clipped into 0..1 and freed of colour multiplied by it, float frames split
// at 0 and 1 (what lies outside renders beside the picture, hdr_split.h),
// integer frames taken as they are, and the output's alpha the input's (alpha
// is not refracted). A frame renders bit for bit as trellin render renders a
// picture file of the same samples written in the same form.
//
// Source and output store their samples alike: both integers (8 or 16 bits,
// sRGB) or both floats (linear). Between the two the spaces differ, and that
// conversion is the picture library's; same_convention says which pairs are
// taken. A space named in a source's metadata is not read.
#pragma once

#include <vector>

#include "apps/common/core/hdr_split.h"
#include "apps/common/core/host_picture.h"
#include "apps/common/core/node_frame.h"
#include "apps/common/core/picture_source.h"

namespace trellin_app {

// The names of the two conventions' spaces, as frames and outputs carry them.
inline constexpr char convention_linear_space[] = "linear";
inline constexpr char convention_srgb_space[] = "sRGB";

// True when an output of `form` is in the colour space of `source`: both
// store floats or both integers.
bool same_convention(const PictureSource& source, const OutputForm& form);

// True when integer samples read as `source` (not premultiplied) reach the
// node as they are, so a host may hand the node its own samples.
bool convention_integers_unconverted(const PictureSource& source);

// True when float samples read as `source` leave as floats (`form`): a frame
// whose samples all lie within 0..1 then goes in as from_unit_float makes
// them and comes out as to_unit_float makes them, with the input's alpha,
// multiplied by alpha when `form` is associated, so a host may do that in
// one pass each way.
bool convention_floats_unconverted(const PictureSource& source, const OutputForm& form);

// The frame the node renders from a picture read as `source`.
NodeFrame convention_to_node(HostPicture picture, PictureSource source);

// The node's result of `frame` for an output of `form`, which must be of the
// source's convention (std::invalid_argument otherwise). `parts`: the frame's
// parts as the node rendered them, added back. `storage` is reused for the
// float samples (the previous frame's `samples`, say).
OutputFrame convention_from_node(HostPicture result, const NodeFrame& frame, const OutputForm& form,
                                 const SplitParts* parts = nullptr, std::vector<float> storage = {});

}  // namespace trellin_app
