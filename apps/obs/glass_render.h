// What a filter's worker thread does with a frame: the render node, the
// pictures a frame passes through and the conversions between OBS's pixels
// and the node's samples. Used by one thread at a time (the filter's
// worker), so it holds no lock.
//
// Colour: packed 8-bit RGB renders as trellin renders 8-bit picture files
// (frame_colour.h). YUV frames become RGB floats, rendered as 16-bit
// samples. 8-bit YUV is standard range and renders as 8-bit pictures do:
// what its RGB has outside 0..1 (super-whites and blacks, colours no RGB
// holds) is clipped. P010 (OBS's 10-bit and HDR modes) goes through the HDR
// split (hdr_split.h) when it reaches outside 0..1, as float plates do, so
// what lies outside comes back as it went in.
#pragma once

#include <obs.h>

#include <cstdint>
#include <vector>

#include "apps/common/core/hdr_split.h"
#include "apps/common/core/host_picture.h"
#include "apps/common/core/module_loader.h"
#include "apps/common/core/settings_snapshot.h"

namespace trellin_obs {

class GlassRender {
public:
    explicit GlassRender(trellin_app::NodePtr node);

    // Gives the node every control's value and keys from `settings`.
    void take(const trellin_app::SettingsSnapshot& settings);

    // Renders an asynchronous frame in place as the frame at `time` (the
    // node's time: frames at the output's rate). False, with the frame as it
    // was, for a format the filter does not take or a frame the node refuses.
    bool render_frame(obs_source_frame& frame, double time);

    // Renders a picture of packed 8-bit RGBA rows (`stride` bytes apart,
    // top first) into `out` (packed, width * 4 bytes a row). False, with
    // `out` a copy of the input, when the node refuses it.
    bool render_rgba(const std::uint8_t* in, int width, int height, std::uint32_t stride,
                     std::vector<std::uint8_t>& out, double time);

private:
    bool render_yuv(obs_source_frame& frame, double time);

    trellin_app::NodePtr node_;
    trellin_app::HostPicture input_, output_;
    trellin_app::SplitParts rendered_;
    std::vector<float> rgb_;
};

}  // namespace trellin_obs
