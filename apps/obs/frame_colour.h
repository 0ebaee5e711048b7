// The pixels of OBS's asynchronous frames (cameras, media) as pictures the
// node takes, and back.
//
// Packed RGB frames (RGBA, BGRA, BGRX) are 8-bit pictures: their samples are
// widened with from_8bit (x 257) and brought back with to_8bit, as trellin
// renders 8-bit picture files, so such a frame renders exactly as
// `trellin render --depth 8` renders the same picture. RGBA and BGRA keep
// their alpha (straight, as OBS hands it); BGRX becomes a 3-sample picture
// and its padding byte is written as 255.
//
// YUV frames (NV12, I420, I444, YUY2, UYVY, P010) are read as OBS's own
// shaders read them: each sample as a fraction of its container (x / 255,
// P010's 16-bit words x / 65535), clamped to the frame's color_range_min and
// color_range_max, then turned into RGB by the frame's color_matrix. Chroma
// shared by two or four pixels is used as it is by each of them. Written
// back, luma is each pixel's own and chroma the average of the pixels that
// share it, both rounded to the nearest step of the format (P010: the
// nearest 10-bit step, in the top bits of its word). The RGB values may lie
// outside 0..1 (super-whites, colours no RGB holds); they are kept as floats.
#pragma once

#include <obs.h>

#include <cstdint>
#include <vector>

#include "apps/common/core/host_picture.h"

namespace trellin_obs {

enum class FrameKind {
    unsupported,
    packed_rgb,  // RGBA, BGRA, BGRX
    yuv,         // NV12, I420, I444, YUY2, UYVY, P010
};

FrameKind frame_kind(video_format format);

// The affine maps between a frame's YUV and RGB: rgb = to_rgb * (y, u, v, 1)
// and its inverse, with the range the YUV samples are clamped to.
struct YuvColour {
    double to_rgb[3][4] = {};
    double to_yuv[3][4] = {};
    float minimum[3] = {0.0f, 0.0f, 0.0f};
    float maximum[3] = {1.0f, 1.0f, 1.0f};
};

// The maps of `frame` (its color_matrix and range); false when the matrix
// cannot be inverted (a frame with no colour description).
bool yuv_colour(const obs_source_frame& frame, YuvColour& colour);

// A packed RGB frame's pixels as a host picture (4 samples with alpha, 3 for
// BGRX), resized to fit. Rows are read top first (a flipped frame from its
// last row).
void read_packed(const obs_source_frame& frame, trellin_app::HostPicture& picture);
// Writes a picture of the frame's size and sample count into the frame.
void write_packed(const trellin_app::HostPicture& picture, obs_source_frame& frame);

// A YUV frame's pixels as interleaved RGB floats (3 a pixel), resized to fit.
void read_yuv(const obs_source_frame& frame, const YuvColour& colour, std::vector<float>& rgb);
// Writes interleaved RGB floats of the frame's size into the frame.
void write_yuv(const std::vector<float>& rgb, const YuvColour& colour, obs_source_frame& frame);

// The same with the node's 16-bit samples (3 a pixel) in place of the
// floats, each as from_unit_float and to_unit_float turn floats into them
// and back (so values outside 0..1 are clipped), without the floats
// between: what 8-bit YUV, which is clipped, needs.
void read_yuv(const obs_source_frame& frame, const YuvColour& colour, trellin_app::HostPicture& picture);
void write_yuv(const trellin_app::HostPicture& picture, const YuvColour& colour, obs_source_frame& frame);

}  // namespace trellin_obs
