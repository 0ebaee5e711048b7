// A frame on its way through the node: taken in from its source (a picture
// file, a video, piped samples) into the form the node renders, and the
// node's result on its way out. The colour handling between them is
// frame_colour.h's, with the colour spaces converted by the picture library
// (picture/picture_colour.h); piped 16-bit frames with nothing to convert go
// through unchanged.
#pragma once

#include <string>
#include <vector>

#include "apps/common/core/clip_count.h"
#include "apps/common/core/hdr_split.h"
#include "apps/common/core/host_picture.h"
#include "apps/common/core/render_options.h"

namespace trellin_app {

// One frame on its way into the node, with what its way out needs.
struct NodeFrame {
    HostPicture picture;        // what the node renders: working space, 16 bits
    std::string input_space;    // the input's colour space
    std::string working_space;  // the space the node works in
    // The input's alpha as read (clipped into 0..1), when its samples went
    // through floats: the output's alpha when alpha is not refracted.
    std::vector<float> alpha;
    ClipCount clipped;               // colour samples the node's range clipped, alpha apart
    HdrMode hdr = HdrMode::none;     // the mode it renders in (never automatic)
    SplitParts parts;                // with --hdr split: what lies outside 0..1, to render beside `picture`
    std::vector<std::string> notes;  // what the input's metadata left unclear
    // The input's float samples' storage once they are taken in, free for the
    // next frame's (a host that keeps it avoids a fresh block every frame).
    std::vector<float> spare;
};

// How an output stores its samples.
struct OutputForm {
    std::string format;             // "openexr", "png", ...; "raw" for piped frames
    bool float_samples = false;     // floats, which hold values outside 0..1
    bool associated_alpha = false;  // colour multiplied by alpha
};

// A node's result on its way out.
struct OutputFrame {
    HostPicture picture;         // 16-bit samples (clamped to 0..1), attributes naming the space
    std::vector<float> samples;  // the same unclamped, when they went through floats; else empty
    std::string space;           // the output's colour space
    ClipCount clipped;           // samples outside 0..1 (counted for integer outputs only)
};

}  // namespace trellin_app
