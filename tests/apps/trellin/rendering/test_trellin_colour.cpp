// Colour, HDR, alpha and the settings a picture carries, through the trellin program: sRGB
// pictures into linear OpenEXR and back, spaces named through a config in $OCIO, the video
// spaces (Rec2020, PQ, HLG) that need none, HDR plates
// counted and kept, premultiplied soft edges refracted without colour outside alpha, and the
// settings read back from every format that holds text.
#include <gtest/gtest.h>

#include <cmath>

#include "support/trellin_cli_support.h"

namespace trellin_colour_tests {

using namespace trellin_test;

using TrellinColour = TrellinTest;

constexpr int w = 40, h = 30;

double srgb_to_linear(double v)
{
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}
double linear_to_srgb(double x)
{
    return x <= 0.0031308 ? x * 12.92 : 1.055 * std::pow(x, 1 / 2.4) - 0.055;
}

std::uint16_t to_16bit(double v)
{
    return v <= 0 ? 0 : v >= 1 ? 65535 : std::uint16_t(v * 65535.0 + 0.5);
}

// Half floats hold 11 significant bits.
void expect_half_near(float got, double want, std::size_t i)
{
    ASSERT_NEAR(got, want, std::abs(want) / 1024 + 1e-6) << "sample " << i;
}

TEST_F(TrellinColour, SrgbPngBecomesALinearExrThatReadsBack)
{
    std::vector<std::uint8_t> png = pattern<std::uint8_t>(w, h, 3, 51, 255);
    std::fill(png.begin(), png.begin() + w * 3, std::uint8_t(128));
    write_file(dir / "in.png", w, h, 3, OIIO::TypeDesc::UINT8, png);
    ASSERT_EQ(run({"render", path("in.png"), path("mid.exr")}).code, 0);
    const FileImage exr = read_file(dir / "mid.exr");
    EXPECT_EQ(exr.spec.get_string_attribute("colorSpace"), "linear");
    EXPECT_EQ(std::string(exr.spec.get_string_attribute("Software")).rfind("trellin ", 0), 0u);
    std::vector<std::uint16_t> widened(png.begin(), png.end());
    for (auto& v : widened) v = std::uint16_t(v * 257);
    const auto rendered = ReferenceNode().render(widened, w, h, 3);
    for (std::size_t i = 0; i < rendered.size(); ++i)
        expect_half_near(exr.f32[i], srgb_to_linear(rendered[i] / 65535.0), i);
    // 8-bit 128 is 0.2158605 in linear light, wherever the effect left it alone.
    for (std::size_t i = 0; i < rendered.size(); ++i)
        if (rendered[i] == 128 * 257) expect_half_near(exr.f32[i], 0.2158605, i);

    // Back to PNG: the OpenEXR is read as linear, the effect works in linear light, the PNG is sRGB.
    ASSERT_EQ(run({"render", path("mid.exr"), path("back.png")}).code, 0);
    std::vector<std::uint16_t> node_input(exr.f32.size());
    for (std::size_t i = 0; i < node_input.size(); ++i) node_input[i] = to_16bit(exr.f32[i]);
    const auto again = ReferenceNode().render(node_input, w, h, 3);
    const FileImage back = read_file(dir / "back.png");
    EXPECT_EQ(back.spec.get_string_attribute("oiio:ColorSpace"), "sRGB");
    for (std::size_t i = 0; i < again.size(); ++i)
        ASSERT_NEAR(back.u16[i], to_16bit(linear_to_srgb(again[i] / 65535.0)), 2) << "sample " << i;
}

TEST_F(TrellinColour, SpacesAreNamedThroughTheOcioConfig)
{
    // "plate" holds twice the values of "scene".
    spit(dir / "two.ocio", R"(ocio_profile_version: 2
roles: {default: scene, scene_linear: scene, reference: scene}
displays:
  sRGB:
    - !<View> {name: Plain, colorspace: plate}
colorspaces:
  - !<ColorSpace> {name: scene}
  - !<ColorSpace>
    name: plate
    from_scene_reference: !<MatrixTransform> {matrix: [2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1]}
)");
    const auto ocio = testkit::RunOptions().with_env({"OCIO=" + path("two.ocio")});
    std::vector<float> plate(std::size_t(w) * h * 3);
    for (std::size_t i = 0; i < plate.size(); ++i) plate[i] = float(i % 211) / 110.0f;  // 0 to 1.9
    write_file(dir / "plate.exr", w, h, 3, OIIO::TypeDesc::FLOAT, plate);
    const RunResult r = run({"render", path("plate.exr"), path("out.exr"), "--colorspace-in", "Plate",
                             "--working-space", "scene", "--colorspace-out", "plate"},
                            ocio);
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<std::uint16_t> halved(plate.size());
    for (std::size_t i = 0; i < plate.size(); ++i) halved[i] = to_16bit(plate[i] / 2.0);
    const auto rendered = ReferenceNode().render(halved, w, h, 3);
    const FileImage out = read_file(dir / "out.exr");
    EXPECT_EQ(out.spec.get_string_attribute("colorSpace"), "plate");
    for (std::size_t i = 0; i < rendered.size(); ++i) expect_half_near(out.f32[i], 2.0 * rendered[i] / 65535.0, i);

    // A name the config lacks is refused with the names it has; without $OCIO "plate" is unknown.
    const RunResult unknown = run({"render", path("plate.exr"), path("x.exr"), "--working-space", "ACEScg"}, ocio);
    EXPECT_EQ(unknown.code, 2);
    EXPECT_NE(unknown.err.find("--working-space: no colour space \"ACEScg\""), std::string::npos) << unknown.err;
    EXPECT_NE(unknown.err.find("scene, plate"), std::string::npos) << unknown.err;
    EXPECT_EQ(run({"render", path("plate.exr"), path("x.exr"), "--colorspace-in", "plate"}).code, 2);
    EXPECT_FALSE(fs::exists(dir / "x.exr"));
}

// Rec2020, PQ and HLG need no config: a picture written in each and read back from it, the
// effect in sRGB both times, is the effect applied twice, within 12 steps of 16 bits (the 16-bit
// file in between: near SDR's white one step of 16-bit PQ is 5.5 of sRGB).
TEST_F(TrellinColour, VideoSpacesNeedNoConfigAndReadBackAsWritten)
{
    const std::vector<std::uint16_t> png = pattern<std::uint16_t>(w, h, 3, 7, 65535);
    write_file(dir / "in.png", w, h, 3, OIIO::TypeDesc::UINT16, png);
    const auto twice = ReferenceNode().render(ReferenceNode().render(png, w, h, 3), w, h, 3);
    for (const std::string space : {"Rec2020", "PQ", "HLG"}) {
        SCOPED_TRACE(space);
        RunResult r = run({"render", path("in.png"), path("mid.tif"), "--colorspace-out", space});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        r = run({"render", path("mid.tif"), path("back.png"), "--colorspace-in", space, "--working-space", "sRGB"});
        ASSERT_EQ(r.code, 0) << r.err;
        const FileImage back = read_file(dir / "back.png");
        ASSERT_EQ(back.u16.size(), twice.size());
        int worst = 0;
        for (std::size_t i = 0; i < twice.size(); ++i) worst = std::max(worst, std::abs(back.u16[i] - twice[i]));
        EXPECT_LE(worst, 12);
    }
}

TEST_F(TrellinColour, HdrPlatesAreKeptSplitOrOnTheLogCurveOrCountedWhenClipped)
{
    // Values from -0.1 to 64, and two beyond even the curve's range.
    std::vector<float> plate(std::size_t(w) * h * 3);
    for (std::size_t i = 0; i < plate.size(); ++i) plate[i] = -0.1f + 64.1f * float(i) / float(plate.size() - 1);
    plate[7] = 2000.0f;
    plate[8] = -0.5f;
    write_file(dir / "plate.exr", w, h, 3, OIIO::TypeDesc::FLOAT, plate);
    long long outside = 0, beyond_curve = 0;
    for (const float v : plate) {
        outside += v < 0.0f || v > 1.0f;
        beyond_curve += v < -0.13493f || v > 1024.0f;
    }
    const RunResult clipped = run({"render", path("plate.exr"), path("clipped.exr"), "--hdr", "none"});
    ASSERT_EQ(clipped.code, 0) << clipped.err;
    EXPECT_NE(clipped.err.find(std::to_string(outside) + " of " + std::to_string(plate.size()) +
                               " samples lay outside 0..1 in the working space linear (lowest -0.5, highest 2000)"),
              std::string::npos)
        << clipped.err;
    EXPECT_LE(read_file(dir / "clipped.exr").f32[100], 1.0f);

    const RunResult kept = run({"render", path("plate.exr"), path("kept.exr"), "--hdr", "log"});
    ASSERT_EQ(kept.code, 0) << kept.err;
    EXPECT_NE(kept.err.find(std::to_string(beyond_curve) + " of "), std::string::npos) << kept.err;
    const FileImage out = read_file(dir / "kept.exr");
    EXPECT_GT(*std::max_element(out.f32.begin(), out.f32.end()), 32.0f) << "highlights survive the node";

    // By default a float plate keeps what lies outside 0..1, all of it, and nothing is noted.
    const RunResult split = run({"render", path("plate.exr"), path("split.exr")});
    ASSERT_EQ(split.code, 0) << split.err;
    EXPECT_EQ(split.err.find("note"), std::string::npos) << split.err;
    const FileImage carried = read_file(dir / "split.exr");
    EXPECT_GT(*std::max_element(carried.f32.begin(), carried.f32.end()), 500.0f) << "the lone 2000 is carried";
    EXPECT_LT(*std::min_element(carried.f32.begin(), carried.f32.end()), -0.05f);
}

TEST_F(TrellinColour, PremultipliedSoftEdgeLeavesNoColourOutsideAlpha)
{
    // Bright colour (up to 3) behind an alpha that ramps from 0 to 1 over eight columns mid-picture,
    // stored premultiplied as OpenEXR stores it.
    std::vector<float> exr(std::size_t(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t p = std::size_t(y) * w + std::size_t(x);
            const float a = std::clamp(float(x - 16) / 8.0f, 0.0f, 1.0f);
            for (int c = 0; c < 3; ++c)
                exr[p * 4 + std::size_t(c)] = a * (0.5f + float((x * 7 + y * 3 + c * 5) % 11) / 4.0f);
            exr[p * 4 + 3] = a;
        }
    write_file(dir / "soft.exr", w, h, 4, OIIO::TypeDesc::HALF, exr);
    const FileImage soft = read_file(dir / "soft.exr");
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{}, {"--refract-alpha"}, {"--hdr", "log", "--set", "ChromaticAb=60"}}) {
        std::vector<std::string> args{"render",         path("soft.exr"), path("out.exr"), "--set",
                                      "Cell Count X=3", "--set",          "Index=3"};
        args.insert(args.end(), extra.begin(), extra.end());
        const RunResult r = run(args);
        ASSERT_EQ(r.code, 0) << r.err;
        const FileImage out = read_file(dir / "out.exr");
        bool alpha_moved = false;
        for (std::size_t p = 0; p < std::size_t(w) * h; ++p) {
            const float a = out.f32[p * 4 + 3];
            alpha_moved |= a != soft.f32[p * 4 + 3];
            for (int c = 0; c < 3; ++c)
                ASSERT_LE(out.f32[p * 4 + std::size_t(c)], a * 3.01f + 1e-6f)
                    << "pixel " << p << " with " << args.back();
        }
        EXPECT_EQ(alpha_moved, extra.size() == 1) << "alpha stays where it was unless --refract-alpha";
    }
}

TEST_F(TrellinColour, SettingsReadBackFromEveryFormatThatHoldsText)
{
    write_file(dir / "in.png", w, h, 4, OIIO::TypeDesc::UINT16, pattern<std::uint16_t>(w, h, 4, 53, 65535));
    for (const char* name : {"first.exr", "first.png", "first.tif", "first.dpx"}) {
        SCOPED_TRACE(name);
        const RunResult made = run({"render", path("in.png"), path(name), "--frames", "3", "--set",
                                    "CellShape=Pentagon", "--key", "Cell Angle@0=0", "--key", "Cell Angle@6=60",
                                    "--working-space", "linear", "--hdr", "log", "--refract-alpha"});
        ASSERT_EQ(made.code, 0) << made.err;
        EXPECT_EQ(std::string(read_file(dir / name).spec.get_string_attribute("Software")).rfind("trellin ", 0), 0u);
        const std::string again = std::string("again") + fs::path(name).extension().string();
        ASSERT_EQ(run({"render", path("in.png"), path(again), "--frames", "3", "--project", path(name)}).code, 0);
        EXPECT_EQ(read_file(dir / again).u16, read_file(dir / name).u16);
    }
    const RunResult info = run({"info", path("first.dpx")});
    ASSERT_EQ(info.code, 0) << info.err;
    for (const char* shown :
         {"\"CellShape\": \"Pentagon\"", "frame 3", "working linear", "\"hdr\": \"log\"", "\"refract_alpha\": true"})
        EXPECT_NE(info.out.find(shown), std::string::npos) << shown << "\n" << info.out;
    // A JPEG holds no settings: refused as a project, saying why (info: test_trellin_hostile.cpp).
    ASSERT_EQ(run({"render", path("in.png"), path("plain.jpg")}).code, 0);
    const RunResult r = run({"render", path("in.png"), path("x.png"), "--project", path("plain.jpg")});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("carries no trellin settings"), std::string::npos) << r.err;
}

}  // namespace trellin_colour_tests
