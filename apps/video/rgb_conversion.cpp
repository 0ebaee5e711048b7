#include "apps/video/rgb_conversion.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <string>

#include "apps/common/core/sample_rows.h"

namespace trellin_video {

namespace {

constexpr int conversion_flags = SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_BITEXACT;

// Rows of a picture written at a time: their planes fit in a core's cache.
constexpr int band_rows = 16;

bool yuv_or_grey(AVPixelFormat format)
{
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    return desc != nullptr && !(desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_FLOAT |
                                               AV_PIX_FMT_FLAG_BAYER | AV_PIX_FMT_FLAG_HWACCEL));
}

AVPixelFormat packed_rgb(int samples)
{
    return samples == 4 ? AV_PIX_FMT_RGBA64LE : AV_PIX_FMT_RGB48LE;
}

AVPixelFormat planar_rgb(int samples)
{
    return samples == 4 ? AV_PIX_FMT_GBRAP16LE : AV_PIX_FMT_GBRP16LE;
}

// The planes of a picture in swscale's planar RGB order (G, B, R, A), each
// `width` samples a row.
struct RgbPlanes {
    std::uint16_t* p[4] = {nullptr, nullptr, nullptr, nullptr};
    int strides[4] = {0, 0, 0, 0};

    RgbPlanes(std::vector<std::uint16_t>& store, int width, int height, int samples)
    {
        const std::size_t plane = std::size_t(width) * std::size_t(height);
        store.resize(plane * std::size_t(samples));
        for (int i = 0; i < samples; ++i) {
            p[i] = store.data() + plane * std::size_t(i);
            strides[i] = width * 2;
        }
    }
    std::uint16_t* row(int plane, int y, int width) const { return p[plane] + std::size_t(y) * std::size_t(width); }
};

// The formats a 4:2:0 or 4:2:2 `to` is written through, its luma's (grey)
// and its chroma's (without horizontal subsampling), both of its depth; none
// for other formats.
struct LumaAndChroma {
    AVPixelFormat luma = AV_PIX_FMT_NONE, chroma = AV_PIX_FMT_NONE;
};

LumaAndChroma luma_and_chroma_formats(AVPixelFormat to)
{
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(to);
    if (desc == nullptr || !yuv_or_grey(to)) return {};
    const int depth = desc->comp[0].depth;
    if (depth != 8 && depth != 10 && depth != 12) return {};
    const std::string suffix = depth == 8 ? "" : std::to_string(depth) + "le";
    const bool rows_halved = desc->log2_chroma_h == 1;
    // Only the plain planar layouts (not NV12, full-range JPEG names or alpha).
    if (av_get_pix_fmt(((rows_halved ? "yuv420p" : "yuv422p") + suffix).c_str()) != to) return {};
    return {av_get_pix_fmt((depth == 8 ? std::string("gray") : "gray" + suffix).c_str()),
            av_get_pix_fmt(((rows_halved ? "yuv440p" : "yuv444p") + suffix).c_str())};
}

SwsContext* colour_context(SwsContext* context, AVPixelFormat from, AVPixelFormat to, int width, int height,
                           const int* coefficients, bool full_range)
{
    context = sws_getCachedContext(context, width, height, from, width, height, to, conversion_flags, nullptr, nullptr,
                                   nullptr);
    if (context != nullptr && coefficients != nullptr)
        sws_setColorspaceDetails(context, coefficients, 1, coefficients, full_range ? 1 : 0, 0, 1 << 16, 1 << 16);
    return context;
}

}  // namespace

bool reads_through_planes(AVPixelFormat from, int samples)
{
    return yuv_or_grey(from) || from == planar_rgb(samples);
}

bool writes_through_planes(AVPixelFormat to, int samples)
{
    if (to == planar_rgb(samples)) return true;
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(to);
    return yuv_or_grey(to) && desc->log2_chroma_w == 0 && desc->log2_chroma_h == 0;
}

PictureFromFrame::~PictureFromFrame()
{
    sws_freeContext(scaler_);
}

bool PictureFromFrame::prepare(AVPixelFormat from, int width, int height, int samples, const int* coefficients,
                               bool full_range, bool planes)
{
    planar_ = planes && reads_through_planes(from, samples);
    const AVPixelFormat to = planar_ ? planar_rgb(samples) : packed_rgb(samples);
    scaler_ = sws_getCachedContext(scaler_, width, height, from, width, height, to, conversion_flags, nullptr, nullptr,
                                   nullptr);
    if (!scaler_) return false;
    if (coefficients != nullptr)
        sws_setColorspaceDetails(scaler_, coefficients, full_range ? 1 : 0, coefficients, 1, 0, 1 << 16, 1 << 16);
    width_ = width;
    height_ = height;
    samples_ = samples;
    return true;
}

void PictureFromFrame::convert(const std::uint8_t* const data[], const int linesize[], std::uint16_t* out)
{
    if (!planar_) {
        std::uint8_t* planes[4] = {reinterpret_cast<std::uint8_t*>(out), nullptr, nullptr, nullptr};
        const int strides[4] = {width_ * samples_ * 2, 0, 0, 0};
        sws_scale(scaler_, data, linesize, 0, height_, planes, strides);
        return;
    }
    RgbPlanes planes(planes_, width_, height_, samples_);
    std::uint8_t* bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = reinterpret_cast<std::uint8_t*>(planes.p[i]);
    sws_scale(scaler_, data, linesize, 0, height_, bytes, planes.strides);
    const std::size_t row = std::size_t(width_) * std::size_t(samples_);
    for (int y = 0; y < height_; ++y)
        trellin_app::interleave_rgb(planes.row(2, y, width_), planes.row(0, y, width_), planes.row(1, y, width_),
                                    samples_ == 4 ? planes.row(3, y, width_) : nullptr, std::size_t(width_),
                                    out + row * std::size_t(y));
}

FrameFromPicture::~FrameFromPicture()
{
    sws_freeContext(scaler_);
    sws_freeContext(chroma_scaler_);
}

bool FrameFromPicture::prepare(AVPixelFormat to, int width, int height, int samples, const int* coefficients,
                               bool full_range, bool planes)
{
    const LumaAndChroma split = luma_and_chroma_formats(to);
    route_ = !planes                                             ? Route::packed
             : writes_through_planes(to, samples)                ? Route::planar
             : split.chroma != AV_PIX_FMT_NONE && width % 2 == 0 ? Route::luma_and_chroma
                                                                 : Route::packed;
    width_ = width;
    height_ = height;
    samples_ = samples;
    if (route_ == Route::luma_and_chroma) {
        scaler_ = colour_context(scaler_, AV_PIX_FMT_GBRP16LE, split.luma, width, height, coefficients, full_range);
        chroma_scaler_ = colour_context(chroma_scaler_, AV_PIX_FMT_GBRP16LE, split.chroma, width / 2, height,
                                        coefficients, full_range);
        unused_luma_stride_ = av_image_get_linesize(split.chroma, width / 2, 0);
        unused_luma_.resize(std::size_t(unused_luma_stride_) * std::size_t(height));
        return scaler_ != nullptr && chroma_scaler_ != nullptr;
    }
    const AVPixelFormat from = route_ == Route::planar ? planar_rgb(samples) : packed_rgb(samples);
    scaler_ = colour_context(scaler_, from, to, width, height, coefficients, full_range);
    return scaler_ != nullptr;
}

void FrameFromPicture::convert(const std::uint16_t* in, std::uint8_t* const data[], const int linesize[])
{
    if (route_ == Route::packed) {
        const std::uint8_t* planes[4] = {reinterpret_cast<const std::uint8_t*>(in), nullptr, nullptr, nullptr};
        const int strides[4] = {width_ * samples_ * 2, 0, 0, 0};
        sws_scale(scaler_, planes, strides, 0, height_, data, linesize);
        return;
    }
    // A band of rows at a time, split into planes that stay in the cache,
    // handed to swscale as the next slice of the picture.
    const int half = width_ / 2;
    const int most = std::min(height_, band_rows);
    RgbPlanes planes(planes_, width_, most, samples_);
    RgbPlanes halves(half_planes_, route_ == Route::luma_and_chroma ? half : 0, most, 3);
    const std::uint8_t *bytes[4], *half_bytes[4];
    for (int i = 0; i < 4; ++i) {
        bytes[i] = reinterpret_cast<const std::uint8_t*>(planes.p[i]);
        half_bytes[i] = reinterpret_cast<const std::uint8_t*>(halves.p[i]);
    }
    // With luma and chroma apart: the luma to the frame's first plane, the
    // chroma to its others (the chroma's own luma unused).
    std::uint8_t* luma[4] = {data[0], nullptr, nullptr, nullptr};
    const int luma_stride[4] = {linesize[0], 0, 0, 0};
    std::uint8_t* chroma[4] = {unused_luma_.data(), data[1], data[2], nullptr};
    const int chroma_stride[4] = {unused_luma_stride_, linesize[1], linesize[2], 0};
    const std::size_t row = std::size_t(width_) * std::size_t(samples_);
    for (int top = 0; top < height_; top += most) {
        const int rows = std::min(most, height_ - top);
        for (int y = 0; y < rows; ++y)
            trellin_app::split_rgb(in + row * std::size_t(top + y), std::size_t(width_), planes.row(2, y, width_),
                                   planes.row(0, y, width_), planes.row(1, y, width_),
                                   samples_ == 4 ? planes.row(3, y, width_) : nullptr);
        if (route_ == Route::planar) {
            sws_scale(scaler_, bytes, planes.strides, top, rows, data, linesize);
            continue;
        }
        sws_scale(scaler_, bytes, planes.strides, top, rows, luma, luma_stride);
        // The chroma of each pair of pixels is that of their means.
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y < rows; ++y)
                trellin_app::pair_means(planes.row(p, y, width_), std::size_t(half), halves.row(p, y, half));
        sws_scale(chroma_scaler_, half_bytes, halves.strides, top, rows, chroma, chroma_stride);
    }
}

}  // namespace trellin_video
