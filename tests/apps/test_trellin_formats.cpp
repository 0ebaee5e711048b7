// Picture formats through the trellin program: every format in and out at
// each depth it takes, metadata and pixel aspect carried to the output, and
// rendering at another output size.
#include <gtest/gtest.h>

#include <cmath>

#include "trellin_cli_support.h"

namespace {

using namespace trellin_test;

using Formats = TrellinTest;

// 42 wide: OpenImageIO 2.4 reads the last sample of each row of a 10-bit RGBA
// DPX file as 0 when a row's sample count is not a multiple of 3.
constexpr int w = 42, h = 30;

// 16 bits from a float sample: clamped to 0..1, NaN as 0.
std::uint16_t from_float(float v)
{
    return !(v > 0.0f) ? 0 : v >= 1.0f ? 65535 : static_cast<std::uint16_t>(v * 65535.0f + 0.5f);
}

std::vector<std::uint16_t> without_alpha(const std::vector<std::uint16_t>& rgba)
{
    std::vector<std::uint16_t> rgb;
    for (std::size_t i = 0; i < rgba.size(); ++i)
        if (i % 4 != 3) rgb.push_back(rgba[i]);
    return rgb;
}

TEST_F(Formats, EveryFormatIsReadAsItStoresItsSamples)
{
    const auto u16 = pattern<std::uint16_t>(w, h, 4, 31, 65535);
    const auto rgb8 = pattern<std::uint8_t>(w, h, 3, 37, 255);
    std::vector<float> f32(u16.size());
    for (std::size_t i = 0; i < f32.size(); ++i) f32[i] = i % 97 == 0 ? NAN : float(u16[i]) / 60000.0f - 0.05f;
    struct Input {
        std::string name;
        int channels;
        OIIO::TypeDesc type;
    };
    // One of each format family; 16-bit PNG is the round trip of the CLI test.
    const Input inputs[] = {
        {"png8.png", 3, OIIO::TypeDesc::UINT8},   {"tif16.tif", 4, OIIO::TypeDesc::UINT16},
        {"tiff.tif", 4, OIIO::TypeDesc::FLOAT},   {"half.exr", 4, OIIO::TypeDesc::HALF},
        {"dpx10.dpx", 3, OIIO::TypeDesc::UINT16}, {"jpeg.jpg", 3, OIIO::TypeDesc::UINT8},
    };
    for (const Input& in : inputs) {
        SCOPED_TRACE(in.name);
        const bool floating = in.type == OIIO::TypeDesc::FLOAT || in.type == OIIO::TypeDesc::HALF;
        if (in.name == "dpx10.dpx") {
            write_file(dir / in.name, w, h, 3, in.type, without_alpha(u16), {{"oiio:BitsPerSample", "10"}});
        } else if (floating) {
            write_file(dir / in.name, w, h, 4, in.type, f32);
        } else if (in.type == OIIO::TypeDesc::UINT8) {
            write_file(dir / in.name, w, h, 3, in.type, rgb8);
        } else {
            write_file(dir / in.name, w, h, 4, in.type, u16);
        }
        const RunResult r = run({"render", path(in.name), path("out.png")});
        ASSERT_EQ(r.code, 0) << r.err;

        // The samples the file holds, widened as the program widens them.
        const FileImage stored = read_file(dir / in.name);
        ASSERT_EQ(stored.spec.nchannels, in.channels);
        std::vector<std::uint16_t> expected(stored.u16.size());
        for (std::size_t i = 0; i < expected.size(); ++i)
            expected[i] = floating ? from_float(stored.f32[i]) : stored.u16[i];
        const FileImage out = read_file(dir / "out.png");
        EXPECT_EQ(out.spec.format, OIIO::TypeDesc::UINT16);
        EXPECT_EQ(out.u16, ReferenceNode().render(expected, w, h, in.channels));
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
        {"d10.dpx", "10", OIIO::TypeDesc::UINT16, 10},  {"d16.dpx", "", OIIO::TypeDesc::UINT16, 16},
        {"ta.tga", "", OIIO::TypeDesc::UINT8, 8},       {"j8.jpg", "8", OIIO::TypeDesc::UINT8, 8},
    };
    for (const Output& o : outputs) {
        SCOPED_TRACE(o.name);
        std::vector<std::string> args{"render", path("in.png"), path(o.name)};
        if (!o.depth.empty()) args.insert(args.end(), {"--depth", o.depth});
        const RunResult r = run(args);
        ASSERT_EQ(r.code, 0) << r.err;
        const FileImage out = read_file(dir / o.name);
        EXPECT_EQ(out.spec.format, o.type);
        EXPECT_EQ(out.spec.get_int_attribute("oiio:BitsPerSample", o.bits), o.bits);
        if (o.name == "j8.jpg") {  // colour only, lossy
            EXPECT_EQ(out.spec.nchannels, 3);
            continue;
        }
        ASSERT_EQ(out.spec.nchannels, 4);
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const std::uint16_t e = expected[i];
            if (o.bits == 8) {
                ASSERT_EQ(out.u16[i], ((e * 255u + 32767u) / 65535u) * 257u) << "sample " << i;
            } else if (o.bits == 10) {
                ASSERT_EQ(out.u16[i] >> 6, (e * 1023u + 32767u) / 65535u) << "sample " << i;
            } else if (o.type == OIIO::TypeDesc::FLOAT) {
                ASSERT_EQ(out.f32[i], float(e) / 65535.0f) << "sample " << i;
            } else if (o.type == OIIO::TypeDesc::HALF) {
                ASSERT_NEAR(out.f32[i], e / 65535.0, 1.0 / 2048) << "sample " << i;
            } else {
                ASSERT_EQ(out.u16[i], e) << "sample " << i;
            }
        }
    }
    // Depths a format does not take are refused before anything is written.
    for (const auto& [name, depth] : std::vector<std::pair<std::string, std::string>>{
             {"x.png", "half"}, {"x.exr", "16"}}) {
        const RunResult r = run({"render", path("in.png"), path(name), "--depth", depth});
        EXPECT_EQ(r.code, 2) << name << " " << depth;
        EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / name));
    }
}

TEST_F(Formats, MetadataAndPixelAspectAreCarried)
{
    const auto in = pattern<std::uint16_t>(w, h, 4, 43, 65535);
    write_file(dir / "wide.tif", w, h, 4, OIIO::TypeDesc::UINT16, in,
               {{"ImageDescription", "glass test"}, {"Artist", "Kim"}, {"oiio:ColorSpace", "Linear"},
                {"PixelAspectRatio", "2"}});
    for (const char* name : {"out.exr", "out.dpx"}) {
        ASSERT_EQ(run({"render", path("wide.tif"), path(name)}).code, 0) << name;
        const FileImage out = read_file(dir / name);
        EXPECT_EQ(out.spec.get_string_attribute("ImageDescription"), "glass test") << name;
        EXPECT_FLOAT_EQ(out.spec.get_float_attribute("PixelAspectRatio", 1.0f), 2.0f) << name;
    }
    const FileImage exr = read_file(dir / "out.exr");
    EXPECT_EQ(exr.spec.get_string_attribute("Artist"), "Kim");
    EXPECT_EQ(exr.spec.get_string_attribute("oiio:ColorSpace"), "Linear");
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
        ASSERT_EQ(out.f32[i], float(expected[i]) / 65535.0f) << "sample " << i;
}

}  // namespace
