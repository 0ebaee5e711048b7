// Images as OpenFX hosts hand them, and the way between them and the
// pictures the node renders.
//
// A host image is RGBA at 8 or 16 bits or 32-bit floats; its bounds need not
// start at 0; its rows go upwards from the bottom row (bounds.y1), which
// `data` points at, and lie `row_bytes` apart, a distance that may be padded
// or negative. The node's pictures are 16-bit, rows top first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "apps/common/core/host_picture.h"
#include "apps/common/core/node_frame.h"
#include "apps/common/core/picture_source.h"
#include "apps/ofx/ofx_api.h"

namespace trellin_ofx {

enum class SampleKind { byte, word, real };

struct ImageView {
    unsigned char* data = nullptr;
    OfxRectI bounds{0, 0, 0, 0};
    long long row_bytes = 0;
    SampleKind kind = SampleKind::byte;
    bool premultiplied = false;
    double pixel_aspect = 1.0;

    int width() const { return bounds.x2 - bounds.x1; }
    int height() const { return bounds.y2 - bounds.y1; }
    // The first byte of row `y` (in the image's own coordinates, y1 <= y < y2).
    unsigned char* row(int y) const { return data + (static_cast<long long>(y) - bounds.y1) * row_bytes; }
};

// "8-bit", "16-bit" or "32-bit float", for messages.
std::string depth_name(SampleKind kind);

// Reads an image's properties; false with `error` set when it is not one the
// plug-in takes (not RGBA, an unknown depth, no data, bounds that hold no
// pixel or too many, rows shorter than their pixels).
bool describe_image(OfxPropertySetHandle image, ImageView& view, std::string& error);

// What trellin render would know of a file holding the source's samples:
// floats as OpenEXR (linear, possibly outside 0..1), integers as PNG or,
// when premultiplied, as an associated-alpha TIFF.
trellin_app::PictureSource source_form(const ImageView& src);

// The source image as the node's picture (rows top first; its buffer is
// reused when it has one) and what
// trellin render would know of a file holding the same samples: floats as
// OpenEXR (linear, possibly outside 0..1), integers as PNG or, when
// premultiplied, as an associated-alpha TIFF.
void read_source(const ImageView& src, trellin_app::HostPicture& picture, trellin_app::PictureSource& source);

// A 16-bit source on packed rows (no padding, in either direction) as a
// record the node reads where the samples lie, without a copy: its rows
// bottom first (IMAGE_BOTTOM_UP) when the host stores them upwards. False
// for any other source. The samples are taken as they are: the caller
// checks that the colour handling would not change them.
bool words_in_place(const ImageView& src, _image_str& image);

// The alpha of a float source read in one pass, for the output to give back
// as it was read: the rows whose alpha is all exactly 0 or 1 come back
// through the node, which keeps those two values; the others are kept here.
struct SourceAlpha {
    std::vector<float> values;          // a row's alpha where `stored` says so
    std::vector<unsigned char> stored;  // per row, top first: 1 when `values` holds it
};

// A float source straight into the node's picture, in one pass on the
// host's processors, when every sample (colour divided by alpha where the
// source is premultiplied) is a number within 0..1: the samples the colour
// handling would make when it converts nothing (convention_colour.h's
// convention_floats_unconverted), the source's alpha in `alpha`. False, with `picture`
// and `alpha` unusable, when a sample is not: such a frame takes the whole
// colour handling.
bool read_unit_floats(const ImageView& src, trellin_app::HostPicture& picture, SourceAlpha& alpha);

// How the output stores its samples, in the same terms.
trellin_app::OutputForm output_form(const ImageView& dst);

// Writes the node's converted result, which covers the source's bounds, into
// `dst` over `window` (clipped to dst's bounds); pixels outside the source
// become transparent black.
void write_output(const trellin_app::OutputFrame& result, const OfxRectI& source_bounds, const ImageView& dst,
                  const OfxRectI& window);

// The node's result of a frame read by read_unit_floats into a float `dst`
// over `window`, in one pass, as the colour handling would write it: alpha
// as `alpha` keeps it (null: the node's, when it refracts alpha), colour
// multiplied by alpha where dst is premultiplied.
void write_unit_floats(const trellin_app::HostPicture& result, const SourceAlpha* alpha, const OfxRectI& source_bounds,
                       const ImageView& dst, const OfxRectI& window);

}  // namespace trellin_ofx
