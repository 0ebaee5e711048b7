#include "apps/gstreamer/frame_pixels.h"

#include <bit>
#include <cstdint>

#include "apps/common/core/pixel_bands.h"
#include "apps/common/core/sample_convert.h"
#include "apps/common/core/sample_rows.h"

namespace trellin_gst {

namespace {

// Where each sample of a pixel lies in the frame: byte offsets of red,
// green, blue (and alpha) inside the pixel, the pixel and row strides.
struct Layout {
    int samples = 4;  // 4 with alpha, 3 without
    int offset[4] = {0, 0, 0, 0};
    int padding = -1;  // byte offset of an unused byte (RGBx and kin), -1 when none
    int pixel_stride = 4;
    int row_stride = 0;
    bool sixteen_bit = false;
};

Layout layout_of(const GstVideoFrame& frame)
{
    Layout l;
    l.samples = GST_VIDEO_FRAME_N_COMPONENTS(&frame) >= 4 ? 4 : 3;
    l.pixel_stride = GST_VIDEO_FRAME_COMP_PSTRIDE(&frame, 0);
    l.row_stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
    l.sixteen_bit = GST_VIDEO_FRAME_COMP_DEPTH(&frame, 0) > 8;
    int used = 0;
    for (int c = 0; c < l.samples; ++c) {
        l.offset[c] = GST_VIDEO_FRAME_COMP_POFFSET(&frame, c);
        used += l.offset[c];
    }
    // Four one-byte places 0..3 add up to 6: the one no sample uses is the padding.
    if (!l.sixteen_bit && l.samples == 3 && l.pixel_stride == 4) l.padding = 6 - used;
    return l;
}

}  // namespace

bool holds_host_samples(const GstVideoFrame& frame)
{
    return std::endian::native == std::endian::little && GST_VIDEO_FRAME_FORMAT(&frame) == GST_VIDEO_FORMAT_RGBA64_LE &&
           GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0) == GST_VIDEO_FRAME_WIDTH(&frame) * 8;
}

_image_str host_image(GstVideoFrame& frame)
{
    _image_str image;
    image.width = GST_VIDEO_FRAME_WIDTH(&frame);
    image.height = GST_VIDEO_FRAME_HEIGHT(&frame);
    image.samples = 4;
    image.flags = 0;
    image.data = static_cast<std::uint16_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    return image;
}

void read_frame(const GstVideoFrame& frame, trellin_app::HostPicture& picture)
{
    const Layout l = layout_of(frame);
    const int w = GST_VIDEO_FRAME_WIDTH(&frame), h = GST_VIDEO_FRAME_HEIGHT(&frame);
    if (picture.width != w || picture.height != h || picture.samples != l.samples)
        picture = trellin_app::HostPicture(w, h, l.samples);
    const auto* base = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    trellin_app::for_row_bands(h, w, [&](int first, int end) {
        std::uint16_t* out = picture.data.data() + std::size_t(first) * std::size_t(w) * std::size_t(l.samples);
        if (!l.sixteen_bit && l.pixel_stride == 4) {
            const std::size_t row = std::size_t(w) * std::size_t(l.samples);
            for (int y = first; y < end; ++y, out += row)
                trellin_app::pixel_bytes_to_words(base + std::size_t(y) * std::size_t(l.row_stride), std::size_t(w),
                                                  l.offset, l.samples, out);
            return;
        }
        for (int y = first; y < end; ++y) {
            const std::uint8_t* pixel = base + std::size_t(y) * std::size_t(l.row_stride);
            for (int x = 0; x < w; ++x, pixel += l.pixel_stride) {
                for (int c = 0; c < l.samples; ++c) {
                    const std::uint8_t* s = pixel + l.offset[c];
                    *out++ =
                        l.sixteen_bit ? static_cast<std::uint16_t>(s[0] | (s[1] << 8)) : trellin_app::from_8bit(s[0]);
                }
            }
        }
    });
}

void write_frame(const trellin_app::HostPicture& picture, GstVideoFrame& frame)
{
    const Layout l = layout_of(frame);
    const int w = GST_VIDEO_FRAME_WIDTH(&frame), h = GST_VIDEO_FRAME_HEIGHT(&frame);
    auto* base = static_cast<std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    trellin_app::for_row_bands(h, w, [&](int first, int end) {
        const std::uint16_t* in =
            picture.data.data() + std::size_t(first) * std::size_t(w) * std::size_t(picture.samples);
        if (!l.sixteen_bit && l.pixel_stride == 4) {
            const std::size_t row = std::size_t(w) * std::size_t(l.samples);
            for (int y = first; y < end; ++y, in += row)
                trellin_app::pixel_words_to_bytes(in, std::size_t(w), l.offset, l.samples,
                                                  base + std::size_t(y) * std::size_t(l.row_stride));
            return;
        }
        for (int y = first; y < end; ++y) {
            std::uint8_t* pixel = base + std::size_t(y) * std::size_t(l.row_stride);
            for (int x = 0; x < w; ++x, pixel += l.pixel_stride) {
                for (int c = 0; c < l.samples; ++c) {
                    std::uint8_t* s = pixel + l.offset[c];
                    const std::uint16_t v = *in++;
                    if (l.sixteen_bit) {
                        s[0] = static_cast<std::uint8_t>(v & 0xff);
                        s[1] = static_cast<std::uint8_t>(v >> 8);
                    } else {
                        s[0] = trellin_app::to_8bit(v);
                    }
                }
                if (l.padding >= 0) pixel[l.padding] = 255;
            }
        }
    });
}

}  // namespace trellin_gst
