// The cell-glass effect: a grid of polygonal glass domes laid over the
// picture, which is refracted through them, sampled over each pixel's
// footprint, optionally split per colour channel and lit.
#pragma once

#include "effect/frame_storage.h"
#include "effect/render_request.h"
#include "effect/trellin_info.h"
#include "framework/overlay_vx.h"
#include "framework/plugin_vx.h"

namespace vx {

class Trellin : public PluginVx, public TrellinInfo, public OverlayVx {
public:
    Trellin() = default;
    ~Trellin() override = default;

    // Frame. Renders `request.output` (or the host's output picture) from
    // `request.input`; true when the result went into the host's output
    // picture, which then needs no writing back.
    virtual bool render(const RenderRequest& request);
    bool reads_host_input() const override { return true; }
    void on_first_frame() override;
    // Greys out the six lighting controls while "Light Active" is off.
    void update_light_controls();

    // Overlay.
    void draw() override;
    void mouse(MouseCode code, float x, float y) override;

    // The working storage kept between frames of one size.
    FrameStorage storage;
};

}  // namespace vx
