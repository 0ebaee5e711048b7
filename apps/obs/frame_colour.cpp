#include "apps/obs/frame_colour.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "apps/common/core/pixel_bands.h"
#include "apps/common/core/sample_convert.h"

namespace trellin_obs {

namespace {

// Where the samples of a YUV frame lie. Luma is addressed by pixel, chroma
// by its block (chroma_w x chroma_h pixels share one pair).
struct YuvPlanes {
    const obs_source_frame& f;
    int chroma_w = 1, chroma_h = 1;
    bool wide = false;  // 16-bit words (P010)

    explicit YuvPlanes(const obs_source_frame& frame) : f(frame)
    {
        switch (f.format) {
        case VIDEO_FORMAT_NV12:
        case VIDEO_FORMAT_I420:
            chroma_w = chroma_h = 2;
            break;
        case VIDEO_FORMAT_P010:
            chroma_w = chroma_h = 2;
            wide = true;
            break;
        case VIDEO_FORMAT_YUY2:
        case VIDEO_FORMAT_UYVY:
            chroma_w = 2;
            break;
        default:
            break;
        }
    }

    // Luma of pixel x on memory row y.
    std::uint8_t* luma(int x, int y) const
    {
        std::uint8_t* row = f.data[0] + std::size_t(y) * f.linesize[0];
        switch (f.format) {
        case VIDEO_FORMAT_YUY2:
            return row + std::size_t(x / 2) * 4 + std::size_t(x & 1) * 2;
        case VIDEO_FORMAT_UYVY:
            return row + std::size_t(x / 2) * 4 + 1 + std::size_t(x & 1) * 2;
        case VIDEO_FORMAT_P010:
            return row + std::size_t(x) * 2;
        default:
            return row + x;
        }
    }

    // Chroma (0: U, 1: V) of block cx on chroma row cy.
    std::uint8_t* chroma(int cx, int cy, int which) const
    {
        switch (f.format) {
        case VIDEO_FORMAT_NV12:
            return f.data[1] + std::size_t(cy) * f.linesize[1] + std::size_t(cx) * 2 + which;
        case VIDEO_FORMAT_P010:
            return f.data[1] + std::size_t(cy) * f.linesize[1] + std::size_t(cx) * 4 + std::size_t(which) * 2;
        case VIDEO_FORMAT_YUY2:
            return f.data[0] + std::size_t(cy) * f.linesize[0] + std::size_t(cx) * 4 + 1 + std::size_t(which) * 2;
        case VIDEO_FORMAT_UYVY:
            return f.data[0] + std::size_t(cy) * f.linesize[0] + std::size_t(cx) * 4 + std::size_t(which) * 2;
        default:  // I420, I444: a plane each
            return f.data[1 + which] + std::size_t(cy) * f.linesize[1 + which] + cx;
        }
    }

    float read(const std::uint8_t* s) const
    {
        if (wide) {
            std::uint16_t w;
            std::memcpy(&w, s, 2);
            return float(w) * (1.0f / 65535.0f);
        }
        return float(*s) * (1.0f / 255.0f);
    }

    void write(std::uint8_t* s, float v) const
    {
        if (wide) {
            // The nearest 10-bit step, in the top bits of the word.
            const float steps = std::clamp(std::nearbyint(v * (65535.0f / 64.0f)), 0.0f, 1023.0f);
            const auto w = static_cast<std::uint16_t>(static_cast<unsigned>(steps) << 6);
            std::memcpy(s, &w, 2);
        } else {
            *s = static_cast<std::uint8_t>(std::clamp(std::nearbyint(v * 255.0f), 0.0f, 255.0f));
        }
    }
};

// A picture row's memory row.
int memory_row(const obs_source_frame& f, int y)
{
    return f.flip ? int(f.height) - 1 - y : y;
}

struct PackedLayout {
    int samples = 4;
    int offset[4] = {0, 1, 2, 3};
    bool padding = false;  // the fourth byte is unused (BGRX)
};

PackedLayout packed_layout(video_format format)
{
    PackedLayout l;
    if (format == VIDEO_FORMAT_BGRA || format == VIDEO_FORMAT_BGRX) {
        l.offset[0] = 2;
        l.offset[2] = 0;
    }
    if (format == VIDEO_FORMAT_BGRX) {
        l.samples = 3;
        l.padding = true;
    }
    return l;
}

}  // namespace

FrameKind frame_kind(video_format format)
{
    switch (format) {
    case VIDEO_FORMAT_RGBA:
    case VIDEO_FORMAT_BGRA:
    case VIDEO_FORMAT_BGRX:
        return FrameKind::packed_rgb;
    case VIDEO_FORMAT_NV12:
    case VIDEO_FORMAT_I420:
    case VIDEO_FORMAT_I444:
    case VIDEO_FORMAT_YUY2:
    case VIDEO_FORMAT_UYVY:
    case VIDEO_FORMAT_P010:
        return FrameKind::yuv;
    default:
        return FrameKind::unsupported;
    }
}

bool yuv_colour(const obs_source_frame& frame, YuvColour& colour)
{
    const float* m = frame.color_matrix;
    double a[3][3];
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) colour.to_rgb[r][c] = m[r * 4 + c];
        for (int c = 0; c < 3; ++c) a[r][c] = m[r * 4 + c];
    }
    const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                       a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                       a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    if (!std::isfinite(det) || std::fabs(det) < 1e-9) return false;
    double inv[3][3];
    inv[0][0] = (a[1][1] * a[2][2] - a[1][2] * a[2][1]) / det;
    inv[0][1] = (a[0][2] * a[2][1] - a[0][1] * a[2][2]) / det;
    inv[0][2] = (a[0][1] * a[1][2] - a[0][2] * a[1][1]) / det;
    inv[1][0] = (a[1][2] * a[2][0] - a[1][0] * a[2][2]) / det;
    inv[1][1] = (a[0][0] * a[2][2] - a[0][2] * a[2][0]) / det;
    inv[1][2] = (a[0][2] * a[1][0] - a[0][0] * a[1][2]) / det;
    inv[2][0] = (a[1][0] * a[2][1] - a[1][1] * a[2][0]) / det;
    inv[2][1] = (a[0][1] * a[2][0] - a[0][0] * a[2][1]) / det;
    inv[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) / det;
    // yuv = inv * (rgb - offset)
    for (int r = 0; r < 3; ++r) {
        double offset = 0.0;
        for (int c = 0; c < 3; ++c) {
            colour.to_yuv[r][c] = inv[r][c];
            offset += inv[r][c] * colour.to_rgb[c][3];
        }
        colour.to_yuv[r][3] = -offset;
    }
    for (int c = 0; c < 3; ++c) {
        colour.minimum[c] = frame.color_range_min[c];
        colour.maximum[c] = frame.color_range_max[c];
        // A frame that gives no range takes the whole of each sample's.
        if (!(colour.maximum[c] > colour.minimum[c])) {
            colour.minimum[c] = 0.0f;
            colour.maximum[c] = 1.0f;
        }
    }
    return true;
}

void read_packed(const obs_source_frame& frame, trellin_app::HostPicture& picture)
{
    const PackedLayout l = packed_layout(frame.format);
    const int w = int(frame.width), h = int(frame.height);
    if (picture.width != w || picture.height != h || picture.samples != l.samples)
        picture = trellin_app::HostPicture(w, h, l.samples);
    trellin_app::for_row_bands(h, w, [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            const std::uint8_t* in = frame.data[0] + std::size_t(memory_row(frame, y)) * frame.linesize[0];
            std::uint16_t* out = picture.data.data() + std::size_t(y) * std::size_t(w) * std::size_t(l.samples);
            for (int x = 0; x < w; ++x, in += 4)
                for (int c = 0; c < l.samples; ++c) *out++ = trellin_app::from_8bit(in[l.offset[c]]);
        }
    });
}

void write_packed(const trellin_app::HostPicture& picture, obs_source_frame& frame)
{
    const PackedLayout l = packed_layout(frame.format);
    const int w = int(frame.width), h = int(frame.height);
    trellin_app::for_row_bands(h, w, [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            std::uint8_t* out = frame.data[0] + std::size_t(memory_row(frame, y)) * frame.linesize[0];
            const std::uint16_t* in =
                picture.data.data() + std::size_t(y) * std::size_t(w) * std::size_t(picture.samples);
            for (int x = 0; x < w; ++x, out += 4) {
                for (int c = 0; c < l.samples; ++c) out[l.offset[c]] = trellin_app::to_8bit(*in++);
                if (l.padding) out[3] = 255;
            }
        }
    });
}

void read_yuv(const obs_source_frame& frame, const YuvColour& colour, std::vector<float>& rgb)
{
    const YuvPlanes planes(frame);
    const int w = int(frame.width), h = int(frame.height);
    rgb.resize(std::size_t(w) * std::size_t(h) * 3);
    const auto& m = colour.to_rgb;
    trellin_app::for_row_bands(h, w, [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            const int my = memory_row(frame, y);
            float* out = rgb.data() + std::size_t(y) * std::size_t(w) * 3;
            for (int x = 0; x < w; ++x) {
                const int cx = x / planes.chroma_w, cy = my / planes.chroma_h;
                const float s[3] = {planes.read(planes.luma(x, my)), planes.read(planes.chroma(cx, cy, 0)),
                                    planes.read(planes.chroma(cx, cy, 1))};
                float c[3];
                for (int k = 0; k < 3; ++k) c[k] = std::clamp(s[k], colour.minimum[k], colour.maximum[k]);
                for (int k = 0; k < 3; ++k) {
                    const double v = m[k][0] * c[0] + m[k][1] * c[1] + m[k][2] * c[2] + m[k][3];
                    *out++ = static_cast<float>(v);
                }
            }
        }
    });
}

void write_yuv(const std::vector<float>& rgb, const YuvColour& colour, obs_source_frame& frame)
{
    const YuvPlanes planes(frame);
    const int w = int(frame.width), h = int(frame.height);
    const int chroma_rows = (h + planes.chroma_h - 1) / planes.chroma_h;
    const int chroma_cols = (w + planes.chroma_w - 1) / planes.chroma_w;
    const auto& m = colour.to_yuv;
    // Bands of whole chroma rows, so that each band writes only its own samples.
    trellin_app::for_row_bands(chroma_rows, w * planes.chroma_h, [&](int first, int end) {
        for (int cy = first; cy < end; ++cy) {
            for (int cx = 0; cx < chroma_cols; ++cx) {
                double u = 0.0, v = 0.0;
                int n = 0;
                for (int dy = 0; dy < planes.chroma_h; ++dy) {
                    const int my = cy * planes.chroma_h + dy;
                    if (my >= h) break;
                    const int y = memory_row(frame, my);
                    for (int dx = 0; dx < planes.chroma_w; ++dx) {
                        const int x = cx * planes.chroma_w + dx;
                        if (x >= w) break;
                        const float* p = rgb.data() + (std::size_t(y) * std::size_t(w) + std::size_t(x)) * 3;
                        const double luma = m[0][0] * p[0] + m[0][1] * p[1] + m[0][2] * p[2] + m[0][3];
                        planes.write(planes.luma(x, my), static_cast<float>(luma));
                        u += m[1][0] * p[0] + m[1][1] * p[1] + m[1][2] * p[2] + m[1][3];
                        v += m[2][0] * p[0] + m[2][1] * p[1] + m[2][2] * p[2] + m[2][3];
                        ++n;
                    }
                }
                planes.write(planes.chroma(cx, cy, 0), static_cast<float>(u / n));
                planes.write(planes.chroma(cx, cy, 1), static_cast<float>(v / n));
            }
        }
    });
}

}  // namespace trellin_obs
