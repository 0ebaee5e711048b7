// test-labels: threaded
// Host images to 15-bit records and back, and the resampler that fits an
// input to the output's size.
#include <gtest/gtest.h>

#include <memory>

#include "host/smp_pool.h"
#include "node/image_exchange.h"
#include "node/resampler.h"
#include "support/host_image.h"

namespace {

using testkit::HostImage;
using Record = std::unique_ptr<vx::ImageVx>;

Record import(HostImage& image, HostImage* reference = nullptr)
{
    return Record(vx::import_host_image(image.get(), reference ? reference->get() : nullptr));
}

TEST(ImageExchange, SamplesAreHalvedAndWidenedBack)
{
    HostImage in(3, 1);
    const std::uint16_t values[] = {65535, 1, 32768, 0};
    for (int x = 0; x < 3; ++x)
        for (int c = 0; c < 4; ++c)
            in.at(x, 0, c) = values[(x + c) % 4];
    Record r = import(in);
    EXPECT_EQ(r->rows[0][0], 32767);
    EXPECT_EQ(r->rows[0][1], 0);
    EXPECT_EQ(r->rows[0][2], 16384);
    EXPECT_EQ(r->rows[0][3], 0);

    HostImage out(3, 1);
    vx::export_to_host_image(r.get(), out.get());
    EXPECT_EQ(out.at(0, 0, 0), 65535);
    EXPECT_EQ(out.at(0, 0, 1), 0);
    EXPECT_EQ(out.at(0, 0, 2), 32769);
    EXPECT_EQ(out.at(0, 0, 3), 0);
}

TEST(ImageExchange, ThreeSampleImagesGetOpaqueAlphaAndKeepTheirStride)
{
    HostImage in(4, 2, 3);
    testkit::fill_pattern(in);
    Record r = import(in);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(r->rows[y][x * 4 + c], in.at(x, y, c) >> 1);
            EXPECT_EQ(r->rows[y][x * 4 + 3], 32767);
        }
    HostImage out(4, 2, 3);
    vx::export_to_host_image(r.get(), out.get());
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            for (int c = 0; c < 3; ++c) {
                const std::uint16_t s = std::uint16_t(in.at(x, y, c) >> 1);
                EXPECT_EQ(out.at(x, y, c), std::uint16_t((s << 1) | (s >> 14)));
            }
}

TEST(ImageExchange, BottomUpImagesAreTurnedTopDownAndTheFlagCleared)
{
    HostImage in(2, 3, 4, IMAGE_BOTTOM_UP);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x)
            for (int c = 0; c < 4; ++c)
                in.at(x, y, c) = std::uint16_t(1000 * (y + 1));
    Record r = import(in);
    EXPECT_EQ(r->rows[0][0], 1500);  // stored last row
    EXPECT_EQ(r->rows[2][0], 500);   // stored first row
    vx::export_to_host_image(r.get(), in.get());
    EXPECT_EQ(in.image.flags & IMAGE_BOTTOM_UP, 0);
    EXPECT_EQ(in.at(0, 0, 0), 3000);
    EXPECT_EQ(in.at(0, 2, 0), 1000);
}

TEST(ImageExchange, SameSizeIsConvertedWithoutResampling)
{
    HostImage in(5, 4);
    testkit::fill_pattern(in);
    HostImage ref(5, 4);
    Record r = import(in, &ref);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            for (int c = 0; c < 4; ++c)
                ASSERT_EQ(r->rows[y][x * 4 + c], in.at(x, y, c) >> 1);
}

TEST(ImageExchange, AxisThatKeepsItsSizeIsCopiedAndTheOtherResampled)
{
    // Rows differ only in height: every column is a copy of the source column
    // when the picture is constant along y.
    HostImage in(6, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            for (int c = 0; c < 4; ++c)
                in.at(x, y, c) = std::uint16_t(x * 9000 + c * 100);
    HostImage ref(6, 9);
    Record r = import(in, &ref);
    ASSERT_EQ(r->width, 6);
    ASSERT_EQ(r->height, 9);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 6; ++x)
            for (int c = 0; c < 4; ++c)
                ASSERT_EQ(r->rows[y][x * 4 + c], in.at(x, 0, c) >> 1) << x << "," << y;
}

TEST(Resampler, OnePixelWideSourceRepeatsAcrossTheRow)
{
    HostImage in(1, 2);
    for (int c = 0; c < 4; ++c) {
        in.at(0, 0, c) = std::uint16_t(10000 + c);
        in.at(0, 1, c) = std::uint16_t(10000 + c);
    }
    HostImage ref(7, 2);
    Record r = import(in, &ref);
    for (int x = 0; x < 7; ++x)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(r->rows[1][x * 4 + c], (10000 + c) >> 1);
}

TEST(Resampler, RingingAtHardEdgesIsClampedNotWrapped)
{
    HostImage in(4, 1);
    const std::uint16_t edge[] = {0, 0, 65535, 65535};
    for (int x = 0; x < 4; ++x)
        for (int c = 0; c < 4; ++c)
            in.at(x, 0, c) = edge[x];
    HostImage ref(13, 1);
    Record r = import(in, &ref);
    bool touched_low = false, touched_high = false;
    for (int x = 0; x < 13; ++x) {
        const int v = r->rows[0][x * 4];
        EXPECT_LE(v, 32767);
        touched_low |= v == 0;
        touched_high |= v == 32767;
    }
    // The cubic kernel overshoots on both sides of the step.
    EXPECT_TRUE(touched_low);
    EXPECT_TRUE(touched_high);
    // Just before the step the undershoot would be negative without clamping.
    EXPECT_EQ(r->rows[0][3 * 4], 0);
}

TEST(Resampler, KnownValuesWhenEnlargingAndReducing)
{
    vx::Resampler rs;
    EXPECT_EQ(rs.weights()[0], 1.0);
    EXPECT_EQ(rs.weights()[512], 0.0);
    EXPECT_EQ(rs.weights()[1024], 0.0);
    EXPECT_DOUBLE_EQ(rs.weights()[256], 0.5625);  // w(0.5) with a = -0.5

    // Enlarging 0, 32767 (two samples) to three: the middle is at c = 0.5.
    Record src(vx::ImageVx::create(2, 1));
    Record dst(vx::ImageVx::create(3, 1));
    for (int c = 0; c < 4; ++c) {
        src->rows[0][c] = 0;
        src->rows[0][4 + c] = 32767;
    }
    ASSERT_EQ(rs.run(src.get(), dst.get()), 1);
    // Taps -1..2 clamp to 0,0,1,1 with weights w(1.5), w(0.5), w(0.5), w(1.5).
    const double w15 = rs.weights()[768], w05 = rs.weights()[256];
    EXPECT_EQ(dst->rows[0][4], std::uint16_t((w05 + w15) * 32767.0 + 0.5));
    EXPECT_EQ(dst->rows[0][0], 0);
    EXPECT_EQ(dst->rows[0][8], 32767);

    // Reducing a constant picture keeps it constant (weights are normalised).
    Record wide(vx::ImageVx::create(9, 1));
    Record narrow(vx::ImageVx::create(4, 1));
    wide->fill(1234, 2345, 3456, 32767);
    ASSERT_EQ(rs.run(wide.get(), narrow.get()), 1);
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(narrow->rows[0][x * 4 + 0], 1234);
        EXPECT_EQ(narrow->rows[0][x * 4 + 3], 32767);
    }
}

TEST(Resampler, ADestinationOfOnePixelTakesTheCentreSample)
{
    Record src(vx::ImageVx::create(5, 4));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            for (int c = 0; c < 4; ++c)
                src->rows[y][x * 4 + c] = std::uint16_t(100 * x + 10 * y + c);
    Record dst(vx::ImageVx::create(1, 1));
    vx::Resampler rs;
    ASSERT_EQ(rs.run(src.get(), dst.get()), 1);
    // Centre column (5 - 1) / 2 = 2, centre row (4 - 1) / 2 = 1.
    EXPECT_EQ(dst->rows[0][0], 210);
    EXPECT_EQ(dst->rows[0][3], 213);
}

TEST(ImageVx, FillAndChannelCopies)
{
    for (int procs : {1, 3}) {
        smp_set_numprocs(procs);
        Record a(vx::ImageVx::create(5, 7));
        Record b(vx::ImageVx::create(5, 7));
        a->fill(1, 2, 3, 4);
        b->fill(10, 20, 30, 40);
        EXPECT_FLOAT_EQ(a->ref_scale, 144.0f);
        a->copy_alpha_from(b.get());
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 5; ++x) {
                EXPECT_EQ(a->rows[y][x * 4 + 0], 1);
                EXPECT_EQ(a->rows[y][x * 4 + 3], 40);
            }
        a->copy_colour_from(b.get());
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 5; ++x) {
                EXPECT_EQ(a->rows[y][x * 4 + 2], 30);
                EXPECT_EQ(a->rows[y][x * 4 + 3], 40);
            }
    }
    smp_set_numprocs(1);
}

}  // namespace
