#include "apps/video/rgb_conversion.h"

extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "apps/common/core/sample_rows.h"

namespace trellin_video {

namespace {

constexpr int conversion_flags = SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_BITEXACT;

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
}

bool FrameFromPicture::prepare(AVPixelFormat to, int width, int height, int samples, const int* coefficients,
                               bool full_range, bool planes)
{
    planar_ = planes && writes_through_planes(to, samples);
    const AVPixelFormat from = planar_ ? planar_rgb(samples) : packed_rgb(samples);
    scaler_ = sws_getCachedContext(scaler_, width, height, from, width, height, to, conversion_flags, nullptr, nullptr,
                                   nullptr);
    if (!scaler_) return false;
    if (coefficients != nullptr)
        sws_setColorspaceDetails(scaler_, coefficients, 1, coefficients, full_range ? 1 : 0, 0, 1 << 16, 1 << 16);
    width_ = width;
    height_ = height;
    samples_ = samples;
    return true;
}

void FrameFromPicture::convert(const std::uint16_t* in, std::uint8_t* const data[], const int linesize[])
{
    if (!planar_) {
        const std::uint8_t* planes[4] = {reinterpret_cast<const std::uint8_t*>(in), nullptr, nullptr, nullptr};
        const int strides[4] = {width_ * samples_ * 2, 0, 0, 0};
        sws_scale(scaler_, planes, strides, 0, height_, data, linesize);
        return;
    }
    RgbPlanes planes(planes_, width_, height_, samples_);
    const std::size_t row = std::size_t(width_) * std::size_t(samples_);
    for (int y = 0; y < height_; ++y)
        trellin_app::split_rgb(in + row * std::size_t(y), std::size_t(width_), planes.row(2, y, width_),
                               planes.row(0, y, width_), planes.row(1, y, width_),
                               samples_ == 4 ? planes.row(3, y, width_) : nullptr);
    const std::uint8_t* bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = reinterpret_cast<const std::uint8_t*>(planes.p[i]);
    sws_scale(scaler_, bytes, planes.strides, 0, height_, data, linesize);
}

}  // namespace trellin_video
