// The pipe command with raw frames: frame k renders at time k through one
// node, output frames follow input frames, progress only when asked, float
// frames keep their values outside 0..1 unless clipped, and a stream cut
// inside a frame is an error naming that frame.
#include <gtest/gtest.h>

#include <cstring>

#include "support/trellin_cli_support.h"

namespace {

using namespace trellin_test;

using TrellinPipe = TrellinTest;

constexpr int w = 24, h = 16;

// Frames as rgba64le bytes (this machine is little-endian, as the format).
std::string raw(const std::vector<std::vector<std::uint16_t>>& frames)
{
    std::string bytes;
    for (const auto& f : frames) bytes.append(reinterpret_cast<const char*>(f.data()), f.size() * 2);
    return bytes;
}

std::vector<std::uint16_t> frame_from(const std::string& bytes, std::size_t index, std::size_t samples)
{
    std::vector<std::uint16_t> f(samples);
    std::memcpy(f.data(), bytes.data() + index * samples * 2, samples * 2);
    return f;
}

TEST_F(TrellinPipe, FramesAnimateByTheirNumber)
{
    std::vector<std::vector<std::uint16_t>> frames;
    for (unsigned k = 0; k < 3; ++k) frames.push_back(pattern<std::uint16_t>(w, h, 4, 60 + k, 65535));
    spit(dir / "in.raw", raw(frames));
    // Progress only when asked, so that an encoder's line keeps the terminal.
    const auto on_terminal = testkit::RunOptions().input(path("in.raw")).terminal();
    const RunResult r = run({"pipe", "--size", "24x16", "--key", "Cell Angle@0=0", "--key", "Cell Angle@2=30", "--set",
                             "CellShape=Hexagon", "--progress"},
                            on_terminal);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("3 frames"), std::string::npos) << r.err;
    ASSERT_EQ(r.out.size(), std::size_t(3 * w * h * 8));
    ReferenceNode node;
    node.set("CellShape", 3);
    node.key("Cell Angle", 0, 0);
    node.key("Cell Angle", 2, 30);
    for (std::size_t k = 0; k < 3; ++k)
        EXPECT_EQ(frame_from(r.out, k, w * h * 4), node.render(frames[k], w, h, 4, double(k))) << "frame " << k;

    // Another output size, and an empty stream (no frames, no error).
    const RunResult small = run({"pipe", "--size", "24x16", "--out-size", "12x8"}, on_terminal);
    ASSERT_EQ(small.code, 0) << small.err;
    EXPECT_EQ(small.err, "");
    ASSERT_EQ(small.out.size(), std::size_t(3 * 12 * 8 * 8));
    EXPECT_EQ(frame_from(small.out, 1, 12 * 8 * 4), ReferenceNode().render(frames[1], w, h, 4, 1.0, 12, 8));
    const RunResult none = run({"pipe", "--size", "24x16"});
    EXPECT_EQ(none.code, 0) << none.err;
    EXPECT_EQ(none.out, "");
}

// 16-bit frames that need no colour handling render in the program itself,
// without the picture library; everything else is handed to the library,
// and both make the same frames.
TEST_F(TrellinPipe, PlainFramesRenderWithoutThePictureLibraryAsTheLibraryWould)
{
    std::vector<std::vector<std::uint16_t>> frames;
    for (unsigned k = 0; k < 2; ++k) frames.push_back(pattern<std::uint16_t>(w, h, 4, 70 + k, 65535));
    spit(dir / "in.raw", raw(frames));
    spit(dir / "plain.json", R"({"controls": {"Index": 1.3}})");
    spit(dir / "split.json", R"({"controls": {"Index": 1.3}, "render": {"hdr": "split"}})");
    write_file(dir / "look.png", w, h, 4, OIIO::TypeDesc::UINT16, frames[0]);
    ASSERT_EQ(run({"render", path("look.png"), path("rendered.png"), "--set", "Index=1.3", "-q"}).code, 0);
    const auto loaded = [](const RunResult& r) { return r.err.find("trellin-pictures") != std::string::npos; };
    const auto watched = testkit::RunOptions().input(path("in.raw")).with_env({"LD_DEBUG=files"});
    const std::vector<std::string> base{"pipe", "--size", "24x16", "--key", "Cell Angle@1=20", "--refract-alpha"};
    const auto pipe = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = base;
        args.insert(args.end(), extra.begin(), extra.end());
        return run(args, watched);
    };

    const RunResult plain = pipe({"--project", path("plain.json")});
    ASSERT_EQ(plain.code, 0) << plain.err;
    EXPECT_FALSE(loaded(plain));
    EXPECT_FALSE(loaded(pipe({"--set", "Index=1.3", "--hdr", "none", "--alpha", "straight"})));
    // Frame 0 as trellin render makes it from a 16-bit PNG with the same settings.
    write_file(dir / "in0.png", w, h, 4, OIIO::TypeDesc::UINT16, frames[0]);
    ASSERT_EQ(run({"render", path("in0.png"), path("out0.png"), "--project", path("plain.json"), "--key",
                   "Cell Angle@1=20", "--refract-alpha", "-q"})
                  .code,
              0);
    EXPECT_EQ(frame_from(plain.out, 0, w * h * 4), read_file(dir / "out0.png").u16);
    for (const std::vector<std::string>& library :
         {std::vector<std::string>{"--project", path("plain.json"), "--hdr", "split"},
          {"--project", path("split.json")},
          {"--project", path("rendered.png")}}) {
        const RunResult r = pipe(library);
        ASSERT_EQ(r.code, 0) << library[1] << ": " << r.err;
        EXPECT_TRUE(loaded(r)) << library[1];
        EXPECT_EQ(r.out, plain.out) << library[1];
    }
}

TEST_F(TrellinPipe, ACutStreamIsAnErrorNamingTheFrame)
{
    std::string bytes = raw(std::vector<std::vector<std::uint16_t>>(3, pattern<std::uint16_t>(w, h, 4, 7, 65535)));
    spit(dir / "cut.raw", bytes.substr(0, bytes.size() - 10));
    const RunResult r = run({"pipe", "--size", "24x16"}, testkit::RunOptions().input(path("cut.raw")));
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("frame 2"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.out.size(), std::size_t(2 * w * h * 8));  // the whole frames before it

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"pipe"}, {"pipe", "--size", "0x16"}, {"pipe", "--size", "24x16", "--out-size", "x"}}) {
        const RunResult bad = run(args, testkit::RunOptions().input(path("cut.raw")));
        EXPECT_EQ(bad.code, 2) << args.back();
        EXPECT_EQ(bad.out, "");
    }
}

TEST_F(TrellinPipe, AReaderThatStopsIsNamed)
{
    // A frame larger than the pipe's buffer (which trellin widens up to the
    // system's limit, 1 MiB by default), so the write meets the closed pipe.
    spit(dir / "big.raw", raw({pattern<std::uint16_t>(640, 480, 4, 5, 65535)}));
    const RunResult r = testkit::run_program(
        {"bash", "-c", trellin + " pipe --size 640x480 < " + path("big.raw") + " | head -c 10 > /dev/null"});
    EXPECT_NE(r.err.find("frame 0: the program reading standard output stopped"), std::string::npos) << r.err;
}

// Float planes G, B, R, A of interleaved RGBA samples, and back.
std::string float_planes(const std::vector<float>& rgba)
{
    const std::size_t pixels = rgba.size() / 4;
    std::vector<float> planes(rgba.size());
    const int plane_of[4] = {2, 0, 1, 3};
    for (std::size_t i = 0; i < pixels; ++i)
        for (int c = 0; c < 4; ++c) planes[std::size_t(plane_of[c]) * pixels + i] = rgba[i * 4 + std::size_t(c)];
    return std::string(reinterpret_cast<const char*>(planes.data()), planes.size() * 4);
}

std::vector<float> from_planes(const std::string& bytes)
{
    std::vector<float> planes(bytes.size() / 4), rgba(planes.size());
    std::memcpy(planes.data(), bytes.data(), bytes.size());
    const std::size_t pixels = planes.size() / 4;
    const int plane_of[4] = {2, 0, 1, 3};
    for (std::size_t i = 0; i < pixels; ++i)
        for (int c = 0; c < 4; ++c) rgba[i * 4 + std::size_t(c)] = planes[std::size_t(plane_of[c]) * pixels + i];
    return rgba;
}

TEST_F(TrellinPipe, FloatFramesKeepTheirHighlightsUnlessClipped)
{
    // Linear colour with alpha 1 (premultiplied or not, the same), in 0..1 first: the default
    // (--hdr split for float frames) renders them bit for bit as the node does.
    std::vector<float> frame(std::size_t(w) * h * 4);
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = i % 4 == 3 ? 1.0f : float(i % 97) / 96.0f;
    spit(dir / "in.raw", float_planes(frame));
    const auto options = testkit::RunOptions().input(path("in.raw"));
    const RunResult plain = run({"pipe", "--size", "24x16", "--pix-fmt", "gbrapf32le"}, options);
    ASSERT_EQ(plain.code, 0) << plain.err;
    std::vector<std::uint16_t> samples(frame.size());
    for (std::size_t i = 0; i < frame.size(); ++i) samples[i] = std::uint16_t(frame[i] * 65535.0f + 0.5f);
    const auto expected = ReferenceNode().render(samples, w, h, 4);
    const std::vector<float> out = from_planes(plain.out);
    ASSERT_EQ(out.size(), expected.size());
    for (std::size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], i % 4 == 3 ? 1.0f : float(expected[i]) / 65535.0f) << "sample " << i;

    // Highlights up to 32: clipped and reported once with --hdr none, kept by default (--hdr log as render
    // keeps them: test_trellin_colour.cpp).
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = i % 4 == 3 ? 1.0f : float(i % 97) / 3.0f;
    spit(dir / "hot.raw", float_planes(frame) + float_planes(frame));
    const auto hot = testkit::RunOptions().input(path("hot.raw"));
    const RunResult clipped = run({"pipe", "--size", "24x16", "--pix-fmt", "gbrapf32le", "--hdr", "none"}, hot);
    ASSERT_EQ(clipped.code, 0) << clipped.err;
    EXPECT_NE(clipped.err.find("samples lay outside 0..1 in the working space linear (lowest 1.33333, highest 32)"),
              std::string::npos)
        << clipped.err;
    EXPECT_EQ(std::count(clipped.err.begin(), clipped.err.end(), '\n'), 1) << "one note for the run";
    const RunResult split = run({"pipe", "--size", "24x16", "--pix-fmt", "gbrapf32le"}, hot);
    ASSERT_EQ(split.code, 0) << split.err;
    EXPECT_EQ(split.err, "");
    const std::vector<float> carried = from_planes(split.out);
    EXPECT_GT(*std::max_element(carried.begin(), carried.end()), 16.0f);
}

// Alpha from -2 to 3 in float frames: clipped into 0..1 on the way in by
// every host, as the Python module clips it, and noted apart from colour;
// colour is never scaled by it. Through pipe (premultiplied floats) and through
// render from a float TIFF into OpenEXR (default --hdr: split).
TEST_F(TrellinPipe, FloatAlphaOutsideZeroToOneIsClippedAndNotedApartFromColour)
{
    const std::size_t pixels = std::size_t(w) * h;
    std::vector<float> frame(pixels * 4);
    long long outside = 0;
    for (std::size_t p = 0; p < pixels; ++p) {
        const float a = float(-2.0 + 5.0 * double(p) / double(pixels - 1));
        outside += a < 0.0f || a > 1.0f;
        // Premultiplied where alpha lies within 0..1 (gbrapf32le's default).
        for (int c = 0; c < 3; ++c)
            frame[p * 4 + std::size_t(c)] = (0.25f + 0.25f * float(c)) * std::clamp(a, 0.0f, 1.0f);
        frame[p * 4 + 3] = a;
    }
    const std::string note = std::to_string(outside) + " of " + std::to_string(pixels) +
                             " alpha samples lay outside 0..1 (lowest -2, highest 3) and were clipped";
    const auto check = [&](const std::vector<float>& out, const std::string& err, const std::string& what) {
        EXPECT_NE(err.find(note), std::string::npos) << what << ": " << err;
        EXPECT_EQ(err.find("samples lay outside 0..1 in the working space"), std::string::npos) << what << ": " << err;
        ASSERT_EQ(out.size(), frame.size()) << what;
        for (std::size_t p = 0; p < pixels; ++p) {
            const float a = out[p * 4 + 3];
            ASSERT_TRUE(a >= 0.0f && a <= 1.0f) << what << ": alpha " << a << " at " << p;
            for (int c = 0; c < 3; ++c) {
                const float v = out[p * 4 + std::size_t(c)];
                ASSERT_TRUE(v >= -0.01f && v <= 2.0f) << what << ": colour " << v << " at " << p;
            }
        }
    };
    spit(dir / "alpha.raw", float_planes(frame));
    for (const char* hdr : {"split", "none", "log"}) {
        const RunResult r = run({"pipe", "--size", "24x16", "--pix-fmt", "gbrapf32le", "--hdr", hdr},
                                testkit::RunOptions().input(path("alpha.raw")));
        ASSERT_EQ(r.code, 0) << r.err;
        check(from_planes(r.out), r.err, std::string("pipe --hdr ") + hdr);
    }
    write_file(dir / "alpha.tif", w, h, 4, OIIO::TypeDesc::FLOAT, frame);
    const RunResult r = run({"render", path("alpha.tif"), path("out.exr")});
    ASSERT_EQ(r.code, 0) << r.err;
    check(read_file(dir / "out.exr").f32, r.err, "render alpha.tif out.exr");
}

}  // namespace
