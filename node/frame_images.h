// The frame's two image records, kept from one frame to the next while the
// sizes stay the same, so that a steady run of frames allocates nothing.
#pragma once

#include "node/host_api.h"
#include "node/image_vx.h"

namespace vx {

class FrameImages {
public:
    FrameImages() = default;
    ~FrameImages();
    FrameImages(const FrameImages&) = delete;
    FrameImages& operator=(const FrameImages&) = delete;

    // Records for a frame from `in` to `out`, both of the output's size: the
    // input read from `in` (resampled when the sizes differ); the output's
    // samples are left as they are, since the render writes every one. False
    // (and nothing held) when memory cannot be had.
    bool prepare(const _image_str* in, const _image_str* out);
    // Releases everything held.
    void release();

    ImageVx* input = nullptr;
    ImageVx* output = nullptr;

private:
    ImageVx* source_ = nullptr;        // the input at its own size, when resampled
    ImageVx* intermediate_ = nullptr;  // the resampler's record between its two axes
};

}  // namespace vx
