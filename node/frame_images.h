// The frame's two image records, kept from one frame to the next while the
// sizes stay the same, so that a steady run of frames allocates nothing.
#pragma once

#include "contract/host_api.h"
#include "pixels/image_vx.h"

namespace vx {

class FrameImages {
public:
    FrameImages() = default;
    ~FrameImages();
    FrameImages(const FrameImages&) = delete;
    FrameImages& operator=(const FrameImages&) = delete;

    // Records for a frame from `in` to `out`, both of the output's size: the
    // input record filled from `in` (resampled when the sizes differ), or,
    // when the sizes are the same and `leave_unread`, left for the render to
    // read (see needs_reading). The output's samples are left as they are,
    // since the render writes every one. False (and nothing held) when memory
    // cannot be had.
    bool prepare(const _image_str* in, const _image_str* out, bool leave_unread = false);
    // Whether the input record is still to be read from the host picture.
    bool needs_reading() const { return needs_reading_; }
    // Releases everything held.
    void release();

    ImageVx* input = nullptr;
    ImageVx* output = nullptr;

private:
    ImageVx* source_ = nullptr;        // the input at its own size, when resampled
    ImageVx* intermediate_ = nullptr;  // the resampler's record between its two axes
    bool needs_reading_ = false;
};

}  // namespace vx
