// The pipe command with raw frames: frame k renders at time k through one
// node, output frames follow input frames, and a stream cut inside a frame is
// an error naming that frame.
#include <gtest/gtest.h>

#include <cstring>

#include "trellin_cli_support.h"

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
    const RunResult r = run({"pipe", "--size", "24x16", "--key", "Cell Angle@0=0", "--key", "Cell Angle@2=30",
                             "--set", "CellShape=Hexagon"},
                            testkit::RunOptions().input(path("in.raw")));
    ASSERT_EQ(r.code, 0) << r.err;
    ASSERT_EQ(r.out.size(), std::size_t(3 * w * h * 8));
    ReferenceNode node;
    node.set("CellShape", 3);
    node.key("Cell Angle", 0, 0);
    node.key("Cell Angle", 2, 30);
    for (std::size_t k = 0; k < 3; ++k)
        EXPECT_EQ(frame_from(r.out, k, w * h * 4), node.render(frames[k], w, h, 4, double(k))) << "frame " << k;

    // Another output size, and an empty stream (no frames, no error).
    const RunResult small = run({"pipe", "--size", "24x16", "--out-size", "12x8"}, testkit::RunOptions().input(path("in.raw")));
    ASSERT_EQ(small.code, 0) << small.err;
    ASSERT_EQ(small.out.size(), std::size_t(3 * 12 * 8 * 8));
    EXPECT_EQ(frame_from(small.out, 1, 12 * 8 * 4), ReferenceNode().render(frames[1], w, h, 4, 1.0, 12, 8));
    const RunResult none = run({"pipe", "--size", "24x16"});
    EXPECT_EQ(none.code, 0) << none.err;
    EXPECT_EQ(none.out, "");
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
    // A frame larger than the pipe's buffer, so the write meets the closed pipe.
    spit(dir / "big.raw", raw({pattern<std::uint16_t>(128, 128, 4, 5, 65535)}));
    const RunResult r = testkit::run_program(
        {"bash", "-c", trellin + " pipe --size 128x128 < " + path("big.raw") + " | head -c 10 > /dev/null"});
    EXPECT_NE(r.err.find("frame 0: the program reading standard output stopped"), std::string::npos) << r.err;
}

}  // namespace
