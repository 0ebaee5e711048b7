// The pixels of GStreamer video frames as the node's host pictures.
//
// Formats: RGBA64_LE (16 bits a sample, handed to the node as they are) and
// the packed 8-bit formats of four bytes a pixel, RGBA, BGRA, ARGB, ABGR and
// their RGBx relatives. 8-bit samples are widened with from_8bit (x 257) and
// brought back with to_8bit, the rounding trellin uses for 8-bit files and the
// frei0r module for its frames. Formats without alpha become 3-sample
// pictures; the padding byte of their frames is written as 255.
#pragma once

#include <gst/video/video.h>

#include "apps/common/core/host_picture.h"

namespace trellin_gst {

// The formats the element takes, for its caps.
#define TRELLIN_GST_FORMATS "{ RGBA64_LE, RGBA, BGRA, ARGB, ABGR, RGBx, BGRx, xRGB, xBGR }"

// True when the frame's samples are the host's 16-bit samples as stored
// (RGBA64_LE on a little-endian machine, rows without padding), so the node
// can read or write the frame's memory directly.
bool holds_host_samples(const GstVideoFrame& frame);

// A host image record over such a frame's memory.
_image_str host_image(GstVideoFrame& frame);

// The frame's pixels as a host picture (4 samples with alpha, else 3); the
// picture is resized to fit.
void read_frame(const GstVideoFrame& frame, trellin_app::HostPicture& picture);

// Writes a picture of the frame's size and sample count into the frame.
void write_frame(const trellin_app::HostPicture& picture, GstVideoFrame& frame);

}  // namespace trellin_gst
