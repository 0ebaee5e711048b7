// Picture formats through the trellin program: each format family in and out at the depths
// it takes, metadata and pixel aspect carried to the output, and another output size. (How
// colour spaces and alpha are converted between formats: test_trellin_colour.cpp.)
#include <gtest/gtest.h>

#include <cmath>

#include "support/trellin_cli_support.h"

namespace trellin_formats_tests {

using namespace trellin_test;

using Formats = TrellinTest;

// 42 wide: OpenImageIO 2.4 reads the last sample of each row of a 10-bit RGBA
// DPX file as 0 when a row's sample count is not a multiple of 3.
constexpr int w = 42, h = 30;

// An sRGB sample of the node's output as OpenEXR holds it: linear light.
double linear(std::uint16_t e)
{
    const double v = e / 65535.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

TEST_F(Formats, EveryFormatIsReadAsItStoresItsSamples)
{
    const auto u16 = pattern<std::uint16_t>(w, h, 3, 31, 65535);
    const auto rgb8 = pattern<std::uint8_t>(w, h, 3, 37, 255);
    std::vector<float> f32(std::size_t(w) * h * 4);
    for (std::size_t i = 0; i < f32.size(); ++i) f32[i] = i % 97 == 0 ? NAN : float(i % 1000) / 900.0f - 0.05f;
    write_file(dir / "png8.png", w, h, 3, OIIO::TypeDesc::UINT8, rgb8);
    write_file(dir / "jpeg.jpg", w, h, 3, OIIO::TypeDesc::UINT8, rgb8);
    write_file(dir / "float.tif", w, h, 4, OIIO::TypeDesc::FLOAT, f32);
    write_file(dir / "dpx10.dpx", w, h, 3, OIIO::TypeDesc::UINT16, u16, {{"oiio:BitsPerSample", "10"}});
    for (const char* name : {"png8.png", "jpeg.jpg", "float.tif", "dpx10.dpx"}) {
        SCOPED_TRACE(name);
        // The float TIFF is linear: written back in its own space, nothing is converted; its values
        // outside 0..1 are clipped (--hdr none), as the expectation below clips them.
        const RunResult r = run({"render", path(name), path("out.png"), "--colorspace-out",
                                 std::string(name) == "float.tif" ? "linear" : "sRGB", "--hdr", "none"});
        ASSERT_EQ(r.code, 0) << r.err;
        // The samples the file holds, widened as the program widens them: floats clamped to 0..1, NaN as 0.
        const FileImage stored = read_file(dir / name);
        const bool floating = stored.spec.format.is_floating_point();
        std::vector<std::uint16_t> expected(stored.u16.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const float v = stored.f32[i];
            expected[i] = !floating     ? stored.u16[i]
                          : !(v > 0.0f) ? 0
                          : v >= 1.0f   ? 65535
                                        : std::uint16_t(v * 65535.0f + 0.5f);
        }
        EXPECT_EQ(read_file(dir / "out.png").u16, ReferenceNode().render(expected, w, h, stored.spec.nchannels));
    }
}

TEST_F(Formats, EveryFormatIsWrittenAtTheDepthsItTakes)
{
    const auto in = pattern<std::uint16_t>(w, h, 4, 41, 65535);
    write_file(dir / "in.png", w, h, 4, OIIO::TypeDesc::UINT16, in);
    const std::vector<std::uint16_t> expected = ReferenceNode().render(in, w, h, 4);
    struct Output {
        std::string name, depth;  // depth "": the format's own
        OIIO::TypeDesc type;
        int bits;  // bits per sample stored
    };
    const Output outputs[] = {
        {"p8.png", "8", OIIO::TypeDesc::UINT8, 8},      {"t16.tif", "16", OIIO::TypeDesc::UINT16, 16},
        {"ef.exr", "float", OIIO::TypeDesc::FLOAT, 32}, {"ea.exr", "", OIIO::TypeDesc::HALF, 16},
        {"d10.dpx", "10", OIIO::TypeDesc::UINT16, 10},  {"tf.tif", "float", OIIO::TypeDesc::FLOAT, 32},
    };
    for (const Output& o : outputs) {
        SCOPED_TRACE(o.name);
        std::vector<std::string> args{"render", path("in.png"), path(o.name)};
        if (!o.depth.empty()) args.insert(args.end(), {"--depth", o.depth});
        ASSERT_EQ(run(args).code, 0);
        const FileImage out = read_file(dir / o.name);
        EXPECT_EQ(out.spec.format, o.type);
        EXPECT_EQ(out.spec.get_int_attribute("oiio:BitsPerSample", o.bits), o.bits);
        ASSERT_EQ(out.u16.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const std::uint16_t e = expected[i];
            if (o.bits == 8)
                ASSERT_EQ(out.u16[i], ((e * 255u + 32767u) / 65535u) * 257u) << i;
            else if (o.bits == 10)
                ASSERT_EQ(out.u16[i] >> 6, (e * 1023u + 32767u) / 65535u) << i;
            else if (o.type.is_floating_point()) {
                // Linear light; OpenEXR's colour multiplied by alpha, TIFF's not.
                const double a = o.name.ends_with(".exr") ? expected[i - i % 4 + 3] / 65535.0 : 1.0;
                const double want = i % 4 == 3 ? e / 65535.0 : linear(e) * a;
                ASSERT_NEAR(out.f32[i], want, want * (o.type == OIIO::TypeDesc::HALF ? 1.0 / 1024 : 3e-5) + 1e-7) << i;
            } else
                ASSERT_EQ(out.u16[i], e) << i;
        }
    }
    // A depth the format does not take is refused before anything is written.
    const RunResult r = run({"render", path("in.png"), path("x.exr"), "--depth", "16"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("x.exr"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "x.exr"));
}

TEST_F(Formats, MetadataAndPixelAspectAreCarried)
{
    write_file(dir / "wide.tif", w, h, 4, OIIO::TypeDesc::UINT16, pattern<std::uint16_t>(w, h, 4, 43, 65535),
               {{"ImageDescription", "glass test"}, {"Artist", "Kim"}, {"PixelAspectRatio", "2"}});
    for (const char* name : {"out.exr", "out.dpx"}) {
        ASSERT_EQ(run({"render", path("wide.tif"), path(name)}).code, 0) << name;
        const FileImage out = read_file(dir / name);
        EXPECT_EQ(out.spec.get_string_attribute("ImageDescription"), "glass test") << name;
        EXPECT_FLOAT_EQ(out.spec.get_float_attribute("PixelAspectRatio", 1.0f), 2.0f) << name;
    }
    EXPECT_EQ(read_file(dir / "out.exr").spec.get_string_attribute("Artist"), "Kim");
    // DPX has no code for the sRGB curve: "User defined" (BT.709 primaries), not "Undefined".
    const FileImage dpx = read_file(dir / "out.dpx");
    EXPECT_EQ(dpx.spec.get_string_attribute("dpx:Transfer"), "User defined");
    EXPECT_EQ(dpx.spec.get_string_attribute("dpx:Colorimetric"), "ITU-R 709-4");
    ASSERT_EQ(run({"render", path("wide.tif"), path("rec709.dpx"), "--colorspace-out", "Rec709"}).code, 0);
    EXPECT_EQ(read_file(dir / "rec709.dpx").spec.get_string_attribute("dpx:Transfer"), "ITU-R 709-4");
}

TEST_F(Formats, OutputSizeFitsTheInputAndKeepsItsShape)
{
    const auto in = pattern<std::uint16_t>(w, h, 3, 47, 65535);
    write_file(dir / "in.png", w, h, 3, OIIO::TypeDesc::UINT16, in);
    const RunResult r = run({"render", path("in.png"), path("out.exr"), "--depth", "float", "--out-size", "21x45"});
    ASSERT_EQ(r.code, 0) << r.err;
    const FileImage out = read_file(dir / "out.exr");
    ASSERT_EQ(out.spec.width, 21);
    ASSERT_EQ(out.spec.height, 45);
    // Half as wide and half as tall again: each pixel is three times as wide as tall.
    EXPECT_FLOAT_EQ(out.spec.get_float_attribute("PixelAspectRatio", 1.0f), 3.0f);
    const std::vector<std::uint16_t> expected = ReferenceNode().render(in, w, h, 3, 0.0, 21, 45, 3.0);
    ASSERT_EQ(out.f32.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_NEAR(out.f32[i], linear(expected[i]), linear(expected[i]) * 3e-5 + 1e-7) << "sample " << i;
}

// A zip TIFF's strips are compressed side by side on several processors and
// one after another on one: the same file either way, its strips and their
// lengths alike.
TEST_F(Formats, TiffIsTheSameFileOnOneProcessorOrSeveral)
{
    constexpr int tall = 100;  // 4 strips of 32 rows
    write_file(dir / "in.tif", w, tall, 3, OIIO::TypeDesc::UINT16, pattern<std::uint16_t>(w, tall, 3, 29, 65535));
    std::string files[2];
    for (const int threads : {1, 2}) {
        const std::string out = "out" + std::to_string(threads) + ".tif";
        const RunResult r = run({"render", path("in.tif"), path(out), "--threads", std::to_string(threads)});
        ASSERT_EQ(r.code, 0) << r.err;
        files[threads - 1] = slurp(dir / out);
    }
    EXPECT_GT(files[0].size(), std::size_t(w) * tall * 3);  // the strips are there
    EXPECT_TRUE(files[0] == files[1]);
}

}  // namespace trellin_formats_tests
