// The conversions between video frames and 16-bit RGB pictures give the same
// samples through swscale's planar RGB formats as through its packed ones,
// for every format a stream is commonly read from or written to, both
// ranges, with and without alpha: the planes are only a faster way to the
// same result.
// test-links: trellin_video
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "apps/video/rgb_conversion.h"

namespace rgb_conversion_test {

using trellin_video::FrameFromPicture;
using trellin_video::PictureFromFrame;

// An image of `format` whose samples are random codes within its depth.
struct Frame {
    std::uint8_t* data[4] = {nullptr, nullptr, nullptr, nullptr};
    int linesize[4] = {0, 0, 0, 0};
    AVPixelFormat format;
    int width, height;

    Frame(AVPixelFormat f, int w, int h, unsigned seed) : format(f), width(w), height(h)
    {
        const int size = av_image_alloc(data, linesize, w, h, f, 64);
        EXPECT_GT(size, 0) << av_get_pix_fmt_name(f);
        std::mt19937 random(seed);
        const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(f);
        const int depth = desc->comp[0].depth, shift = desc->comp[0].shift;
        if (depth > 8) {
            auto* words = reinterpret_cast<std::uint16_t*>(data[0]);
            for (int i = 0; i < size / 2; ++i) words[i] = std::uint16_t((random() & ((1u << depth) - 1)) << shift);
        } else {
            for (int i = 0; i < size; ++i) data[0][i] = std::uint8_t(random());
        }
    }
    ~Frame() { av_freep(&data[0]); }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    bool same_as(const Frame& other) const
    {
        const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
        for (int p = 0; p < 4 && data[p] != nullptr; ++p) {
            const int rows = p == 1 || p == 2 ? AV_CEIL_RSHIFT(height, desc->log2_chroma_h) : height;
            const int bytes = av_image_get_linesize(format, width, p);
            for (int y = 0; y < rows; ++y)
                if (std::memcmp(data[p] + y * linesize[p], other.data[p] + y * other.linesize[p], bytes) != 0)
                    return false;
        }
        return true;
    }
};

const int* coefficients()
{
    return sws_getCoefficients(SWS_CS_ITU709);
}

TEST(RgbConversion, ReadingThroughPlanesGivesThePackedPathsSamples)
{
    const char* formats[] = {"gbrp16le",    "gbrap16le",   "yuv420p",     "yuvj420p",     "yuv422p",     "yuv444p",
                             "nv12",        "p010le",      "yuv420p10le", "yuv422p10le",  "yuv444p10le", "yuva420p",
                             "yuv420p12le", "yuv422p12le", "yuv444p12le", "yuva444p10le", "yuv444p16le", "gray",
                             "gray10le",    "gray16le",    "yuv440p",     "yuv411p"};
    unsigned seed = 1;
    for (const char* name : formats) {
        const AVPixelFormat format = av_get_pix_fmt(name);
        ASSERT_NE(format, AV_PIX_FMT_NONE) << name;
        EXPECT_TRUE(trellin_video::reads_through_planes(format, 3) || trellin_video::reads_through_planes(format, 4))
            << name;
        for (const auto& [w, h] : {std::pair{67, 35}, std::pair{258, 144}})
            for (int samples : {3, 4})
                for (bool full : {false, true}) {
                    const Frame frame(format, w, h, seed++);
                    std::vector<std::uint16_t> planar(std::size_t(w) * h * samples),
                        packed(std::size_t(w) * h * samples);
                    PictureFromFrame through_planes, direct;
                    ASSERT_TRUE(through_planes.prepare(format, w, h, samples, coefficients(), full));
                    ASSERT_TRUE(direct.prepare(format, w, h, samples, coefficients(), full, false));
                    through_planes.convert(frame.data, frame.linesize, planar.data());
                    direct.convert(frame.data, frame.linesize, packed.data());
                    ASSERT_EQ(planar, packed)
                        << name << " " << w << "x" << h << ", " << samples << " samples, full range " << full;
                }
    }
    // RGB streams keep the packed path, but for 16-bit planes with alpha as
    // the picture has it.
    EXPECT_FALSE(trellin_video::reads_through_planes(AV_PIX_FMT_GBRP10LE, 3));
    EXPECT_FALSE(trellin_video::reads_through_planes(AV_PIX_FMT_RGB24, 3));
    EXPECT_TRUE(trellin_video::reads_through_planes(AV_PIX_FMT_GBRP16LE, 3));
    EXPECT_FALSE(trellin_video::reads_through_planes(AV_PIX_FMT_GBRP16LE, 4));
}

TEST(RgbConversion, WritingThroughPlanesGivesThePackedPathsSamples)
{
    // 4:4:4 and planar RGB in one conversion; 4:2:0 and 4:2:2 of even width
    // as luma and chroma apart; the others (odd widths, alpha, NV12) packed.
    const char* formats[] = {"yuv444p", "yuv444p10le", "yuv444p12le", "yuva444p10le", "yuv444p16le", "yuv420p",
                             "yuv422p", "yuv420p10le", "yuv422p10le", "yuv420p12le",  "yuv422p12le", "yuva420p",
                             "nv12",    "yuvj420p",    "gbrp16le",    "gbrap16le"};
    unsigned seed = 100;
    for (const char* name : formats) {
        const AVPixelFormat format = av_get_pix_fmt(name);
        const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
        const bool yuv = !(desc->flags & AV_PIX_FMT_FLAG_RGB);
        EXPECT_EQ(trellin_video::writes_through_planes(format, 3),
                  yuv ? desc->log2_chroma_w == 0 && desc->log2_chroma_h == 0 : format == AV_PIX_FMT_GBRP16LE)
            << name;
        for (const auto& [w, h] : {std::pair{67, 35}, std::pair{258, 144}, std::pair{96, 33}})
            for (int samples : {3, 4})
                for (bool full : {false, true}) {
                    std::mt19937 random(seed++);
                    std::vector<std::uint16_t> picture(std::size_t(w) * h * samples);
                    // Random samples, and runs of equal ones whose pairs' means are exact.
                    for (std::size_t i = 0; i < picture.size(); ++i)
                        picture[i] = (i / 97) % 2 ? std::uint16_t(random()) : std::uint16_t(i / 301 * 4099);
                    Frame planar(format, w, h, 0), packed(format, w, h, 0);
                    FrameFromPicture through_planes, direct;
                    const int* matrix = yuv ? coefficients() : nullptr;
                    ASSERT_TRUE(through_planes.prepare(format, w, h, samples, matrix, full));
                    ASSERT_TRUE(direct.prepare(format, w, h, samples, matrix, full, false));
                    // Twice, as a video's frames go through one conversion.
                    for (int frame = 0; frame < 2; ++frame) {
                        through_planes.convert(picture.data(), planar.data, planar.linesize);
                        direct.convert(picture.data(), packed.data, packed.linesize);
                        ASSERT_TRUE(planar.same_as(packed))
                            << name << " " << w << "x" << h << ", " << samples << " samples, full range " << full;
                        std::reverse(picture.begin(), picture.end());
                    }
                }
    }
}

}  // namespace rgb_conversion_test
