// The conversions between a video stream's samples and the node's pictures
// of interleaved 16-bit RGB or RGBA, through swscale with one set of flags:
// bicubic, accurate rounding, full chroma interpolation, bit-exact.
//
// swscale's packed 16-bit RGB paths look up the format's description for
// every sample. Its planar 16-bit RGB formats give the same samples two to
// four times as fast where the results are equal: reading YUV and grey,
// writing YUV without chroma subsampling, and planar 16-bit RGB either way
// when it has alpha as the picture does (a copy of each plane then). Those
// conversions go through planes, interleaved or split by the rows of
// sample_rows.h.
//
// 4:2:0 and 4:2:2 at 8, 10 and 12 bits, of even width, are written in two
// planar conversions. swscale's packed reader takes each pair of pixels'
// rounded mean before it works out their chroma, and no planar format does
// that; so the luma comes from the full planes written as grey, and the
// chroma from planes of half the width holding those means, written without
// horizontal subsampling (4:4:0 or 4:4:4), whose chroma planes are the
// frame's. The others stay packed. The tests hold every way to the packed
// path's samples.
#pragma once

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <cstdint>
#include <vector>

struct SwsContext;

namespace trellin_video {

// True when frames of `from` are read through planes into pictures of
// `samples` a pixel.
bool reads_through_planes(AVPixelFormat from, int samples);
// True when pictures of `samples` a pixel are written through planes into
// frames of `to`.
bool writes_through_planes(AVPixelFormat to, int samples);

// Frames of a video stream into pictures.
class PictureFromFrame {
public:
    PictureFromFrame() = default;
    ~PictureFromFrame();
    PictureFromFrame(const PictureFromFrame&) = delete;
    PictureFromFrame& operator=(const PictureFromFrame&) = delete;

    // Readies the conversion of `width` x `height` frames of `from` into
    // pictures of `samples` (3 or 4) a pixel, YUV read with `coefficients`
    // (sws_getCoefficients's) in full or limited range; RGB ignores them.
    // `planes` false keeps the packed path (the tests compare the two).
    // False when swscale has no such conversion.
    bool prepare(AVPixelFormat from, int width, int height, int samples, const int* coefficients, bool full_range,
                 bool planes = true);
    // One frame into `out`, rows of width x samples.
    void convert(const std::uint8_t* const data[], const int linesize[], std::uint16_t* out);

private:
    SwsContext* scaler_ = nullptr;
    bool planar_ = false;
    int width_ = 0, height_ = 0, samples_ = 0;
    std::vector<std::uint16_t> planes_;
};

// Pictures into frames of a video stream.
class FrameFromPicture {
public:
    FrameFromPicture() = default;
    ~FrameFromPicture();
    FrameFromPicture(const FrameFromPicture&) = delete;
    FrameFromPicture& operator=(const FrameFromPicture&) = delete;

    // Readies the conversion of `width` x `height` pictures of `samples`
    // (3 or 4) a pixel into frames of `to`, YUV written with `coefficients`
    // in full or limited range. False when swscale has no such conversion.
    bool prepare(AVPixelFormat to, int width, int height, int samples, const int* coefficients, bool full_range,
                 bool planes = true);
    // One picture of rows of width x samples into the frame's planes.
    void convert(const std::uint16_t* in, std::uint8_t* const data[], const int linesize[]);

private:
    enum class Route { packed, planar, luma_and_chroma };
    SwsContext* scaler_ = nullptr;         // the whole frame, or its luma
    SwsContext* chroma_scaler_ = nullptr;  // luma_and_chroma's chroma
    Route route_ = Route::packed;
    int width_ = 0, height_ = 0, samples_ = 0;
    std::vector<std::uint16_t> planes_, half_planes_;
    std::vector<std::uint8_t> unused_luma_;  // what the chroma's conversion writes as luma
    int unused_luma_stride_ = 0;
};

}  // namespace trellin_video
