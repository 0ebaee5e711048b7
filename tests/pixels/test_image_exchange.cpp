// Host images to 15-bit records and back, and the resampler that fits an input to the output.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "pixels/image_exchange.h"
#include "pixels/resampler.h"
#include "support/host_image.h"

namespace {

using testkit::HostImage;
using Record = std::unique_ptr<vx::ImageVx>;

Record import(HostImage& image, HostImage* ref = nullptr)
{
    return Record(vx::import_host_image(image.get(), ref ? ref->get() : nullptr));
}

// Every sample of `image` set to f(x, y, c).
template <class F>
void fill(HostImage& image, F f)
{
    for (int y = 0; y < image.image.height; ++y)
        for (int x = 0; x < image.image.width; ++x)
            for (int c = 0; c < image.image.samples; ++c) image.at(x, y, c) = std::uint16_t(f(x, y, c));
}

TEST(ImageExchange, SamplesAreHalvedAndWidenedBackThreeSampleImagesGetOpaqueAlphaAndBottomUpIsTurned)
{
    HostImage one(1, 1);
    const std::uint16_t values[] = {65535, 1, 32768, 0};
    fill(one, [&](int, int, int c) { return values[c]; });
    Record r = import(one);
    EXPECT_EQ(std::vector<int>(r->rows[0], r->rows[0] + 4), (std::vector<int>{32767, 0, 16384, 0}));
    vx::export_to_host_image(r.get(), one.get());
    EXPECT_EQ(one.samples, (std::vector<std::uint16_t>{65535, 0, 32769, 0}));

    // Even samples below 32768 come back unchanged, at the 3-sample stride.
    HostImage in(4, 2, 3), out(4, 2, 3);
    fill(in, [](int x, int y, int c) { return 2 * (1000 * y + 100 * x + c + 1); });
    r = import(in);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_TRUE(r->rows[y][x * 4 + 2] == in.at(x, y, 2) / 2 && r->rows[y][x * 4 + 3] == 32767) << x << ',' << y;
    vx::export_to_host_image(r.get(), out.get());
    EXPECT_EQ(out.samples, in.samples);

    // Bottom-up images are turned top down, and the flag is cleared on the way out.
    HostImage up(2, 3, 4, IMAGE_BOTTOM_UP);
    fill(up, [](int, int y, int) { return 1000 * (y + 1); });
    r = import(up);
    EXPECT_TRUE(r->rows[0][0] == 1500 && r->rows[2][0] == 500);  // the stored last row comes first
    vx::export_to_host_image(r.get(), up.get());
    EXPECT_EQ(up.image.flags & IMAGE_BOTTOM_UP, 0);
    EXPECT_TRUE(up.at(0, 0, 0) == 3000 && up.at(0, 2, 0) == 1000);
}

TEST(Resampler, CopiedAxesClampedRingingAndKnownValues)
{
    // Only the height changes: a picture constant along y keeps its columns.
    HostImage in(6, 4), ref(6, 9);
    fill(in, [](int x, int, int c) { return x * 9000 + c * 100; });
    Record r = import(in, &ref);
    ASSERT_EQ(r->height, 9);
    for (int x = 0; x < 6; ++x)
        for (int c = 0; c < 4; ++c) ASSERT_EQ(r->rows[7][x * 4 + c], in.at(x, 0, c) >> 1) << x;

    // A one-pixel-wide source repeats across the row.
    HostImage narrow(1, 2), wide(7, 2);
    fill(narrow, [](int, int, int c) { return 10000 + c; });
    r = import(narrow, &wide);
    for (int x = 0; x < 7; ++x) EXPECT_EQ(r->rows[1][x * 4 + 3], (10000 + 3) >> 1);

    // Ringing at hard edges is clamped, not wrapped: the kernel overshoots on both sides of the step.
    HostImage step(4, 1), step_ref(13, 1);
    fill(step, [](int x, int, int) { return x < 2 ? 0 : 65535; });
    r = import(step, &step_ref);
    for (int x = 0; x < 13; ++x) EXPECT_LE(r->rows[0][x * 4], 32767) << x;
    EXPECT_TRUE(r->rows[0][3 * 4] == 0 && r->rows[0][9 * 4] == 32767);

    vx::Resampler rs;
    // 0, 32767 enlarged to three: the middle takes taps 0,0,1,1 with weights w(1.5) + w(0.5) = 0.5 a side.
    Record src(vx::ImageVx::create(2, 1)), dst(vx::ImageVx::create(3, 1));
    src->fill(32767, 32767, 32767, 32767);
    src->rows[0][0] = 0;
    ASSERT_EQ(rs.run(src.get(), dst.get()), 1);
    EXPECT_EQ(std::vector<int>({dst->rows[0][0], dst->rows[0][4], dst->rows[0][8]}),
              (std::vector<int>{0, 16384, 32767}));

    // Reducing a constant picture keeps it constant (weights are normalised).
    Record nine(vx::ImageVx::create(9, 1)), four(vx::ImageVx::create(4, 1));
    nine->fill(1234, 2345, 3456, 32767);
    ASSERT_EQ(rs.run(nine.get(), four.get()), 1);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(four->rows[0][x * 4 + 0], 1234);

    // A destination of one pixel takes the source's centre sample: column 2, row 1.
    HostImage grid(5, 4), dot(1, 1);
    fill(grid, [](int x, int y, int c) { return 2 * (100 * x + 10 * y + c); });
    r = import(grid, &dot);
    EXPECT_TRUE(r->rows[0][0] == 210 && r->rows[0][3] == 213);
}

}  // namespace
