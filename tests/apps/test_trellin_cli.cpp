// The trellin program end to end: pictures in every sample form go through
// the loaded module and come back as the node rendered them; every bad input
// is refused with exit code 2 before anything is written.
//
// Expected pictures come from a node of the same effect rendered in this
// process, so the checks hold whatever the effect does to the picture.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "trellin_cli_support.h"

namespace {

using namespace trellin_test;

// What the effect makes of a 16-bit host picture with the given settings.
std::vector<std::uint16_t> reference(const std::vector<std::uint16_t>& input, int w, int h, int samples,
                                     const std::vector<std::pair<std::string, double>>& settings = {})
{
    ReferenceNode node;
    for (const auto& [label, value] : settings) node.set(label, value);
    return node.render(input, w, h, samples);
}

using TrellinCli = TrellinTest;

TEST_F(TrellinCli, SixteenBitRgbaPngWithPartialAlphaRoundTrips)
{
    const int w = 64, h = 48;
    std::vector<std::uint16_t> in = pattern<std::uint16_t>(w, h, 4, 3, 65535);
    // Alpha from clear through partial to opaque, colour left as it is.
    for (int i = 0; i < w * h; ++i) in[std::size_t(i) * 4 + 3] = std::uint16_t((i % 7) * 65535 / 6);
    write_file(dir / "in.png", w, h, 4, OIIO::TypeDesc::UINT16, in);

    const RunResult r = run({"render", (dir / "in.png").string(), (dir / "out.png").string()});
    ASSERT_EQ(r.code, 0) << r.err;
    const FileImage out = read_file(dir / "out.png");
    ASSERT_EQ(out.spec.nchannels, 4);
    EXPECT_EQ(out.spec.format, OIIO::TypeDesc::UINT16);
    EXPECT_EQ(out.u16, reference(in, w, h, 4));
    // The effect keeps the input's alpha, through its 15-bit form.
    for (int i = 0; i < w * h; ++i) {
        const std::uint16_t a = in[std::size_t(i) * 4 + 3];
        ASSERT_EQ(out.u16[std::size_t(i) * 4 + 3], ((a >> 1) << 1) | (a >> 15)) << "pixel " << i;
    }
    EXPECT_EQ(stray_files({"in.png", "out.png"}), std::vector<std::string>{});
}

TEST_F(TrellinCli, EightBitRgbInputWithSettingsGivesSixteenBitRgb)
{
    const int w = 64, h = 48;
    const std::vector<std::uint8_t> in = pattern<std::uint8_t>(w, h, 3, 5, 255);
    write_file(dir / "in.png", w, h, 3, OIIO::TypeDesc::UINT8, in);

    const RunResult r = run({"render", (dir / "in.png").string(), (dir / "out.png").string(), "--set",
                       "cellshape=Hexagon", "--set", "Cell Count X = 4", "-s", "Edge=2", "--set", "Index=1.8",
                       "--threads", "1"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<std::uint16_t> wide(in.begin(), in.end());
    for (auto& v : wide) v = std::uint16_t(v * 257);
    const FileImage out = read_file(dir / "out.png");
    ASSERT_EQ(out.spec.nchannels, 3);
    EXPECT_EQ(out.spec.format, OIIO::TypeDesc::UINT16);
    EXPECT_EQ(out.u16, reference(wide, w, h, 3, {{"CellShape", 3}, {"Cell Count X", 4}, {"Edge", 2}, {"Index", 1.8}}));
}

TEST_F(TrellinCli, GreyBecomesRgbAndGreyWithAlphaRgba)
{
    const int w = 64, h = 48;
    const std::vector<std::uint16_t> grey = pattern<std::uint16_t>(w, h, 1, 7, 65535);
    write_file(dir / "grey.png", w, h, 1, OIIO::TypeDesc::UINT16, grey);
    const std::vector<std::uint8_t> grey_alpha = pattern<std::uint8_t>(w, h, 2, 9, 255);
    write_file(dir / "grey_alpha.png", w, h, 2, OIIO::TypeDesc::UINT8, grey_alpha);

    ASSERT_EQ(run({"render", (dir / "grey.png").string(), (dir / "grey_out.png").string()}).code, 0);
    ASSERT_EQ(run({"render", (dir / "grey_alpha.png").string(), (dir / "grey_alpha_out.png").string()}).code, 0);

    std::vector<std::uint16_t> rgb, rgba;
    for (std::uint16_t g : grey) rgb.insert(rgb.end(), {g, g, g});
    for (std::size_t i = 0; i < grey_alpha.size(); i += 2) {
        const auto g = std::uint16_t(grey_alpha[i] * 257), a = std::uint16_t(grey_alpha[i + 1] * 257);
        rgba.insert(rgba.end(), {g, g, g, a});
    }
    const FileImage out3 = read_file(dir / "grey_out.png");
    ASSERT_EQ(out3.spec.nchannels, 3);
    EXPECT_EQ(out3.u16, reference(rgb, w, h, 3));
    const FileImage out4 = read_file(dir / "grey_alpha_out.png");
    ASSERT_EQ(out4.spec.nchannels, 4);
    EXPECT_EQ(out4.u16, reference(rgba, w, h, 4));
}

TEST_F(TrellinCli, FloatInputIsClampedToTheUnitRange)
{
    const int w = 64, h = 48;
    const float values[] = {-0.5f, 0.0f, 0.25f, 0.5f, 1.0f, 3.0f, NAN, 0.75f};
    std::vector<float> in(std::size_t(w) * h * 4);
    std::vector<std::uint16_t> expected(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        in[i] = values[(i * 5 + i / 7) % 8];
        const float v = std::isnan(in[i]) ? 0.0f : std::fmin(std::fmax(in[i], 0.0f), 1.0f);
        expected[i] = std::uint16_t(v * 65535.0f + 0.5f);
    }
    write_file(dir / "in.exr", w, h, 4, OIIO::TypeDesc::FLOAT, in);
    const RunResult r = run({"render", (dir / "in.exr").string(), (dir / "out.tif").string()});
    ASSERT_EQ(r.code, 0) << r.err;
    const FileImage out = read_file(dir / "out.tif");
    EXPECT_EQ(out.spec.format, OIIO::TypeDesc::UINT16);
    EXPECT_EQ(out.u16, reference(expected, w, h, 4));
}

TEST_F(TrellinCli, OutputFormatFollowsTheExtension)
{
    const int w = 64, h = 48;
    const std::vector<std::uint16_t> in = pattern<std::uint16_t>(w, h, 4, 11, 65535);
    write_file(dir / "in.png", w, h, 4, OIIO::TypeDesc::UINT16, in);
    const std::vector<std::uint16_t> expected = reference(in, w, h, 4);

    for (const char* name : {"out.tif", "out.exr", "out.dpx", "out.tga", "out.jpg"})
        ASSERT_EQ(run({"render", (dir / "in.png").string(), (dir / name).string()}).code, 0) << name;

    const FileImage tif = read_file(dir / "out.tif");
    EXPECT_EQ(tif.spec.format, OIIO::TypeDesc::UINT16);
    EXPECT_EQ(tif.u16, expected);
    const FileImage dpx = read_file(dir / "out.dpx");
    EXPECT_EQ(dpx.spec.format, OIIO::TypeDesc::UINT16);
    EXPECT_EQ(dpx.u16, expected);

    const FileImage exr = read_file(dir / "out.exr");
    EXPECT_EQ(exr.spec.format, OIIO::TypeDesc::HALF);
    ASSERT_EQ(exr.f32.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_NEAR(exr.f32[i], expected[i] / 65535.0f, 1.0f / 2048.0f) << "sample " << i;

    // An 8-bit format gets every sample rounded to the nearest 8-bit step.
    const FileImage tga = read_file(dir / "out.tga");
    EXPECT_EQ(tga.spec.format, OIIO::TypeDesc::UINT8);
    ASSERT_EQ(tga.u16.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(tga.u16[i], ((expected[i] * 255u + 32767u) / 65535u) * 257u) << "sample " << i;

    // JPEG holds no alpha: colour only, with a note.
    const FileImage jpg = read_file(dir / "out.jpg");
    EXPECT_EQ(jpg.spec.format, OIIO::TypeDesc::UINT8);
    EXPECT_EQ(jpg.spec.nchannels, 3);
    EXPECT_EQ(stray_files({"in.png", "out.tif", "out.exr", "out.dpx", "out.tga", "out.jpg"}),
              std::vector<std::string>{});
}

TEST_F(TrellinCli, ThreadCountDoesNotChangeTheResult)
{
    const int w = 64, h = 48;
    write_file(dir / "in.png", w, h, 4, OIIO::TypeDesc::UINT16, pattern<std::uint16_t>(w, h, 4, 13, 65535));
    const std::string in = (dir / "in.png").string();
    ASSERT_EQ(run({"render", in, (dir / "one.png").string(), "--threads", "1"}).code, 0);
    ASSERT_EQ(run({"render", in, (dir / "three.png").string(), "--threads", "3"}).code, 0);
    EXPECT_EQ(read_file(dir / "one.png").u16, read_file(dir / "three.png").u16);
}

TEST_F(TrellinCli, BadInputIsRefusedBeforeAnythingIsWritten)
{
    const int w = 64, h = 48;
    write_file(dir / "in.png", w, h, 4, OIIO::TypeDesc::UINT16, pattern<std::uint16_t>(w, h, 4, 17, 65535));
    {
        const std::string bytes = slurp(dir / "in.png");
        std::ofstream(dir / "cut.png", std::ios::binary).write(bytes.data(), std::streamsize(bytes.size() / 2));
    }
    const std::string in = (dir / "in.png").string(), out = (dir / "out.png").string();
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> named;  // the message names one of these
    };
    const Case cases[] = {
        {{"render", (dir / "missing.png").string(), out}, {"missing.png"}},
        {{"render", (dir / "cut.png").string(), out}, {"cut.png"}},
        {{"render", in, out, "--set", "Sparkle=3"}, {"Sparkle"}},
        {{"render", in, out, "--set", "Index=abc"}, {"Index=abc"}},
        {{"render", in, out, "--set", "Index=nan"}, {"Index=nan"}},
        {{"render", in, out, "--set", "Index=inf"}, {"Index=inf"}},
        {{"render", in, out, "--set", "Index=11"}, {"1 to 10", "unknown control"}},
        {{"render", in, out, "--set", "ShowMap=maybe"}, {"ShowMap"}},
        {{"render", in, out, "--set", "Edge=Mirror"}, {"Mirror"}},
        {{"render", in, out, "--set", "Index"}, {"Index"}},
        {{"render", in, (dir / "out.xyz").string()}, {"out.xyz"}},
        {{"render", in, (dir / "no" / "out.png").string()}, {"out.png"}},
        {{"render", in, dir.string() + "/"}, {dir.string()}},
        {{"render", in, out, "--threads", "0"}, {"threads"}},
        {{"render", in}, {"OUT"}},
        {{}, {"subcommand"}},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const auto& a : c.args) shown += a + " ";
        const RunResult r = run(c.args);
        EXPECT_EQ(r.code, 2) << shown << "\n" << r.err;
        bool named = false;
        for (const auto& n : c.named) named = named || r.err.find(n) != std::string::npos;
        EXPECT_TRUE(named) << shown << "\n" << r.err;
        EXPECT_EQ(stray_files({"in.png", "cut.png"}), std::vector<std::string>{}) << shown;
    }
}

TEST_F(TrellinCli, ExistingOutputSurvivesAFailedRun)
{
    const int w = 64, h = 48;
    write_file(dir / "in.png", w, h, 3, OIIO::TypeDesc::UINT16, pattern<std::uint16_t>(w, h, 3, 19, 65535));
    std::ofstream(dir / "out.png", std::ios::binary) << "precious";
    const std::string in = (dir / "in.png").string(), out = (dir / "out.png").string();

    EXPECT_EQ(run({"render", in, out, "--set", "Index=0.5"}).code, 2);
    EXPECT_EQ(run({"render", (dir / "nothing.png").string(), out}).code, 2);
    EXPECT_EQ(slurp(dir / "out.png"), "precious");

    EXPECT_EQ(stray_files({"in.png", "out.png"}), std::vector<std::string>{});
}

TEST_F(TrellinCli, DemoWritesItsPicture)
{
    const fs::path out = dir / "new" / "demo.png";
    const RunResult r = run({"demo", out.string()});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find(out.string()), std::string::npos) << r.out;
    const FileImage image = read_file(out);
    EXPECT_EQ(image.spec.width, 960);
    EXPECT_EQ(image.spec.height, 540);
    EXPECT_EQ(image.spec.nchannels, 4);
    EXPECT_EQ(image.spec.format, OIIO::TypeDesc::UINT16);
}

TEST_F(TrellinCli, InfoShowsTheNodeAndItsControls)
{
    const RunResult r = run({"info"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("5f3a9c1e-2b7d-4e60-9a41-c83d7e0b6f15"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Kelvoids.Trellin"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Version 5.0"), std::string::npos) << r.out;
    // Label, kind, panel column and row, default, step, range.
    std::istringstream lines(r.out);
    std::string line, words;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        std::string first, second;
        in >> first >> second;
        if (second != "Index") continue;
        for (std::string w; in >> w;) words += w + " ";
    }
    EXPECT_EQ(words, "numeric 9 0 1.4 0.01 1 to 10 ") << r.out;
    EXPECT_NE(r.out.find("controls (28, in creation order"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("27  Surface"), std::string::npos) << r.out;
}

TEST_F(TrellinCli, HelpAndModuleFaults)
{
    const RunResult help = run({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("Examples"), std::string::npos) << help.out;
    for (const char* command : {"render", "info", "demo", "overlay", "pipe"}) {
        const RunResult r = run({command, "--help"});
        EXPECT_EQ(r.code, 0) << command;
        EXPECT_NE(r.out.find("Example"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(std::string("trellin ") + command), std::string::npos) << r.out;
    }
    EXPECT_NE(run({"render", "--help"}).out.find("clamped to 0..1"), std::string::npos);

    const RunResult missing = run({"info"}, with_env({"TRELLIN_MODULE=" + (dir / "Nowhere.node").string()}));
    EXPECT_EQ(missing.code, 2);
    EXPECT_NE(missing.err.find("Nowhere.node"), std::string::npos) << missing.err;
    std::ofstream(dir / "fake.node") << "not a module";
    const RunResult fake = run({"info"}, with_env({"TRELLIN_MODULE=" + (dir / "fake.node").string()}));
    EXPECT_EQ(fake.code, 2);
    EXPECT_NE(fake.err.find("fake.node"), std::string::npos) << fake.err;
}

}  // namespace
