#include "apps/obs/frame_colour.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "apps/common/core/pixel_bands.h"
#include "apps/common/core/sample_convert.h"
#include "apps/common/core/sample_rows.h"
#include "apps/obs/nv12_rows.h"

namespace trellin_obs {

namespace {

// Where the samples of a YUV frame of format F lie: a row of luma and a row
// of each chroma plane, and the byte steps within them. Chroma is shared by
// blocks of chroma_w x chroma_h pixels.
template <video_format F>
struct YuvPlanes {
    static constexpr bool wide = F == VIDEO_FORMAT_P010;  // 16-bit words
    static constexpr bool packed = F == VIDEO_FORMAT_YUY2 || F == VIDEO_FORMAT_UYVY;
    static constexpr int chroma_w = F == VIDEO_FORMAT_I444 ? 1 : 2;
    static constexpr int chroma_h = F == VIDEO_FORMAT_NV12 || F == VIDEO_FORMAT_I420 || F == VIDEO_FORMAT_P010 ? 2 : 1;
    static constexpr float scale = wide ? 1.0f / 65535.0f : 1.0f / 255.0f;
    // Bytes from one pixel's luma to the next one's, and from one block's
    // chroma to the next one's.
    static constexpr int luma_step = packed || wide ? 2 : 1;
    static constexpr int chroma_step = packed || wide ? 4 : (F == VIDEO_FORMAT_NV12 ? 2 : 1);
    // Where the first pixel's luma and the first block's U and V lie.
    static constexpr int luma_at = F == VIDEO_FORMAT_UYVY ? 1 : 0;
    static constexpr int u_at = F == VIDEO_FORMAT_YUY2 ? 1 : 0;
    static constexpr int v_at = F == VIDEO_FORMAT_YUY2   ? 3
                                : F == VIDEO_FORMAT_UYVY ? 2
                                : wide                   ? 2
                                : F == VIDEO_FORMAT_NV12 ? 1
                                                         : 0;

    const obs_source_frame& f;

    std::uint8_t* luma_row(int y) const { return f.data[0] + std::size_t(y) * f.linesize[0] + luma_at; }
    std::uint8_t* chroma_row(int cy, int which) const
    {
        if constexpr (packed) return f.data[0] + std::size_t(cy) * f.linesize[0] + (which == 0 ? u_at : v_at);
        if constexpr (F == VIDEO_FORMAT_NV12 || wide)
            return f.data[1] + std::size_t(cy) * f.linesize[1] + (which == 0 ? u_at : v_at);
        return f.data[1 + which] + std::size_t(cy) * f.linesize[1 + which];  // I420, I444: a plane each
    }

    static float read(const std::uint8_t* s)
    {
        if constexpr (wide) {
            std::uint16_t w;
            std::memcpy(&w, s, 2);
            return float(w) * scale;
        }
        return float(*s) * scale;
    }

    static void write(std::uint8_t* s, float v)
    {
        if constexpr (wide) {
            // The nearest 10-bit step, in the top bits of the word.
            const float steps = std::min(std::max(v * (65535.0f / 64.0f), 0.0f), 1023.0f);
            const auto w = static_cast<std::uint16_t>(static_cast<int>(steps + 0.5f) << 6);
            std::memcpy(s, &w, 2);
        } else {
            const float steps = std::min(std::max(v * 255.0f, 0.0f), 255.0f);
            *s = static_cast<std::uint8_t>(static_cast<int>(steps + 0.5f));
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
};

PackedLayout packed_layout(video_format format)
{
    PackedLayout l;
    if (format == VIDEO_FORMAT_BGRA || format == VIDEO_FORMAT_BGRX) {
        l.offset[0] = 2;
        l.offset[2] = 0;
    }
    if (format == VIDEO_FORMAT_BGRX) l.samples = 3;  // the fourth byte unused
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
            trellin_app::pixel_bytes_to_words(in, std::size_t(w), l.offset, l.samples, out);
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
            // Without alpha (BGRX), the unused fourth byte is written as 255.
            trellin_app::pixel_words_to_bytes(in, std::size_t(w), l.offset, l.samples, out);
        }
    });
}

namespace {

// rgb = m * (y, u, v, 1) and back, in floats.
struct Affine {
    float m[3][4];
    explicit Affine(const double (&from)[3][4])
    {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c) m[r][c] = static_cast<float>(from[r][c]);
    }
    float row(int r, float a, float b, float c) const { return m[r][0] * a + m[r][1] * b + m[r][2] * c + m[r][3]; }
};

// Samples stored as floats, or as the node's 16-bit samples exactly as
// from_unit_float and to_unit_float turn floats into them and back.
inline void store(float* at, float v)
{
    *at = v;
}
inline void store(std::uint16_t* at, float v)
{
    // from_unit_float without its branches, which noise in a picture
    // mispredicts (a NaN, never made here, would give 0 as there).
    const float unit = std::min(v > 0.0f ? v : 0.0f, 1.0f);
    *at = static_cast<std::uint16_t>(static_cast<int>(unit * 65535.0f + 0.5f));
}
inline float load(const float* at)
{
    return *at;
}
inline float load(const std::uint16_t* at)
{
    return trellin_app::to_unit_float(*at);
}

// The memory rows my0 and my1 (-1: none) of an NV12 frame, and their
// chroma row cy, from the picture's samples.
void nv12_rows_from(const std::uint16_t* base, int w, obs_source_frame& frame, const Nv12Maps& maps, int my0, int my1,
                    int cy)
{
    auto picture_row = [&](int my) { return base + std::size_t(memory_row(frame, my)) * std::size_t(w) * 3; };
    words_to_nv12_rows(picture_row(my0), my1 >= 0 ? picture_row(my1) : nullptr, w, maps,
                       frame.data[0] + std::size_t(my0) * frame.linesize[0],
                       my1 >= 0 ? frame.data[0] + std::size_t(my1) * frame.linesize[0] : nullptr,
                       frame.data[1] + std::size_t(cy) * frame.linesize[1]);
}

Nv12Maps nv12_maps(const YuvColour& colour)
{
    Nv12Maps maps{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) {
            maps.to_rgb[r][c] = static_cast<float>(colour.to_rgb[r][c]);
            maps.to_yuv[r][c] = static_cast<float>(colour.to_yuv[r][c]);
        }
    for (int k = 0; k < 3; ++k) {
        maps.minimum[k] = colour.minimum[k];
        maps.maximum[k] = colour.maximum[k];
    }
    return maps;
}

template <video_format F, class T>
void read_yuv_as(const obs_source_frame& frame, const YuvColour& colour, T* const base)
{
    if constexpr (F == VIDEO_FORMAT_NV12 && std::is_same_v<T, std::uint16_t>) {
        // The usual camera format, row by row in vectors (nv12_rows.h).
        const Nv12Maps maps = nv12_maps(colour);
        const int w = int(frame.width), h = int(frame.height);
        trellin_app::for_row_bands(h, w, [&](int first, int end) {
            for (int y = first; y < end; ++y) {
                const int my = memory_row(frame, y);
                nv12_row_to_words(frame.data[0] + std::size_t(my) * frame.linesize[0],
                                  frame.data[1] + std::size_t(my / 2) * frame.linesize[1], w, maps,
                                  base + std::size_t(y) * std::size_t(w) * 3);
            }
        });
        return;
    }
    using Planes = YuvPlanes<F>;
    const Planes planes{frame};
    const int w = int(frame.width), h = int(frame.height);
    const Affine m(colour.to_rgb);
    const float lo[3] = {colour.minimum[0], colour.minimum[1], colour.minimum[2]};
    const float hi[3] = {colour.maximum[0], colour.maximum[1], colour.maximum[2]};
    trellin_app::for_row_bands(h, w, [&, base](int first, int end) {
        for (int y = first; y < end; ++y) {
            const int my = memory_row(frame, y);
            const std::uint8_t* __restrict luma = planes.luma_row(my);
            const std::uint8_t* __restrict u_row = planes.chroma_row(my / Planes::chroma_h, 0);
            const std::uint8_t* __restrict v_row = planes.chroma_row(my / Planes::chroma_h, 1);
            T* __restrict out = base + std::size_t(y) * std::size_t(w) * 3;
            for (int x = 0; x < w; ++x) {
                const int cx = x / Planes::chroma_w;
                const float l = std::min(std::max(Planes::read(luma + x * Planes::luma_step), lo[0]), hi[0]);
                const float u = std::min(std::max(Planes::read(u_row + cx * Planes::chroma_step), lo[1]), hi[1]);
                const float v = std::min(std::max(Planes::read(v_row + cx * Planes::chroma_step), lo[2]), hi[2]);
                store(out + x * 3 + 0, m.row(0, l, u, v));
                store(out + x * 3 + 1, m.row(1, l, u, v));
                store(out + x * 3 + 2, m.row(2, l, u, v));
            }
        }
    });
}

template <video_format F, class T>
void write_yuv_as(const T* const base, const YuvColour& colour, obs_source_frame& frame)
{
    if constexpr (F == VIDEO_FORMAT_NV12 && std::is_same_v<T, std::uint16_t>) {
        const Nv12Maps maps = nv12_maps(colour);
        const int w = int(frame.width), h = int(frame.height);
        trellin_app::for_row_bands((h + 1) / 2, w * 2, [&](int first, int end) {
            for (int cy = first; cy < end; ++cy) {
                const int my0 = cy * 2, my1 = cy * 2 + 1;
                const bool pair = my1 < h;
                nv12_rows_from(base, w, frame, maps, my0, pair ? my1 : -1, cy);
            }
        });
        return;
    }
    using Planes = YuvPlanes<F>;
    const Planes planes{frame};
    const int w = int(frame.width), h = int(frame.height);
    const int chroma_rows = (h + Planes::chroma_h - 1) / Planes::chroma_h;
    const int chroma_cols = (w + Planes::chroma_w - 1) / Planes::chroma_w;
    const Affine m(colour.to_yuv);
    // Bands of whole chroma rows, so that each band writes only its own samples.
    trellin_app::for_row_bands(chroma_rows, w * Planes::chroma_h, [&, base](int first, int end) {
        for (int cy = first; cy < end; ++cy) {
            const int rows = std::min(Planes::chroma_h, h - cy * Planes::chroma_h);
            const T* in[2] = {nullptr, nullptr};
            for (int dy = 0; dy < rows; ++dy) {
                const int my = cy * Planes::chroma_h + dy;
                std::uint8_t* __restrict luma = planes.luma_row(my);
                const T* __restrict row = base + std::size_t(memory_row(frame, my)) * std::size_t(w) * 3;
                in[dy] = row;
                for (int x = 0; x < w; ++x)
                    Planes::write(luma + x * Planes::luma_step,
                                  m.row(0, load(row + x * 3), load(row + x * 3 + 1), load(row + x * 3 + 2)));
            }
            std::uint8_t* __restrict u_row = planes.chroma_row(cy, 0);
            std::uint8_t* __restrict v_row = planes.chroma_row(cy, 1);
            for (int cx = 0; cx < chroma_cols; ++cx) {
                // The chroma of the block's average colour (the map is
                // affine, so it is the average of the pixels' chroma).
                float sum[3] = {0.0f, 0.0f, 0.0f};
                int n = 0;
                for (int dy = 0; dy < rows; ++dy)
                    for (int dx = 0; dx < Planes::chroma_w; ++dx) {
                        const int x = cx * Planes::chroma_w + dx;
                        if (x >= w) break;
                        for (int k = 0; k < 3; ++k) sum[k] += load(in[dy] + x * 3 + k);
                        ++n;
                    }
                const float inv = 1.0f / float(n);
                const float r = sum[0] * inv, g = sum[1] * inv, b = sum[2] * inv;
                Planes::write(u_row + cx * Planes::chroma_step, m.row(1, r, g, b));
                Planes::write(v_row + cx * Planes::chroma_step, m.row(2, r, g, b));
            }
        }
    });
}

}  // namespace

namespace {

template <class T>
void read_yuv_into(const obs_source_frame& frame, const YuvColour& colour, T* out)
{
    switch (frame.format) {
    case VIDEO_FORMAT_NV12:
        return read_yuv_as<VIDEO_FORMAT_NV12>(frame, colour, out);
    case VIDEO_FORMAT_I420:
        return read_yuv_as<VIDEO_FORMAT_I420>(frame, colour, out);
    case VIDEO_FORMAT_I444:
        return read_yuv_as<VIDEO_FORMAT_I444>(frame, colour, out);
    case VIDEO_FORMAT_YUY2:
        return read_yuv_as<VIDEO_FORMAT_YUY2>(frame, colour, out);
    case VIDEO_FORMAT_UYVY:
        return read_yuv_as<VIDEO_FORMAT_UYVY>(frame, colour, out);
    case VIDEO_FORMAT_P010:
        return read_yuv_as<VIDEO_FORMAT_P010>(frame, colour, out);
    default:
        break;
    }
}

template <class T>
void write_yuv_from(const T* in, const YuvColour& colour, obs_source_frame& frame)
{
    switch (frame.format) {
    case VIDEO_FORMAT_NV12:
        return write_yuv_as<VIDEO_FORMAT_NV12>(in, colour, frame);
    case VIDEO_FORMAT_I420:
        return write_yuv_as<VIDEO_FORMAT_I420>(in, colour, frame);
    case VIDEO_FORMAT_I444:
        return write_yuv_as<VIDEO_FORMAT_I444>(in, colour, frame);
    case VIDEO_FORMAT_YUY2:
        return write_yuv_as<VIDEO_FORMAT_YUY2>(in, colour, frame);
    case VIDEO_FORMAT_UYVY:
        return write_yuv_as<VIDEO_FORMAT_UYVY>(in, colour, frame);
    case VIDEO_FORMAT_P010:
        return write_yuv_as<VIDEO_FORMAT_P010>(in, colour, frame);
    default:
        break;
    }
}

}  // namespace

void read_yuv(const obs_source_frame& frame, const YuvColour& colour, std::vector<float>& rgb)
{
    rgb.assign(std::size_t(frame.width) * std::size_t(frame.height) * 3, 0.0f);
    read_yuv_into(frame, colour, rgb.data());
}

void read_yuv(const obs_source_frame& frame, const YuvColour& colour, trellin_app::HostPicture& picture)
{
    const int w = int(frame.width), h = int(frame.height);
    if (picture.width != w || picture.height != h || picture.samples != 3) picture = trellin_app::HostPicture(w, h, 3);
    read_yuv_into(frame, colour, picture.data.data());
}

void write_yuv(const std::vector<float>& rgb, const YuvColour& colour, obs_source_frame& frame)
{
    write_yuv_from(rgb.data(), colour, frame);
}

void write_yuv(const trellin_app::HostPicture& picture, const YuvColour& colour, obs_source_frame& frame)
{
    write_yuv_from(picture.data.data(), colour, frame);
}

}  // namespace trellin_obs
