// test-labels: external
// The video page's command lines (docs/video.md) with Debian's ffmpeg: a 16-bit lossless
// video decoded to rgba64le, through trellin pipe, encoded again, comes back
// frame by frame as the node renders it, with keys animating by frame number.
#include <gtest/gtest.h>

#include <cstring>

#include "support/trellin_cli_support.h"

namespace {

using namespace trellin_test;

using TrellinFfmpeg = TrellinTest;

TEST_F(TrellinFfmpeg, VideoThroughThePipeAtFullDepth)
{
    const int w = 32, h = 24, count = 4;
    std::vector<std::vector<std::uint16_t>> frames;
    std::string bytes;
    for (unsigned k = 0; k < count; ++k) {
        frames.push_back(pattern<std::uint16_t>(w, h, 4, 90 + k, 65535));
        bytes.append(reinterpret_cast<const char*>(frames.back().data()), frames.back().size() * 2);
    }
    spit(dir / "frames.raw", bytes);
    const std::string q = "ffmpeg -hide_banner -loglevel error -nostdin -y", raw = " -f rawvideo -pix_fmt rgba64le ";
    const std::string encode = raw + "-s 32x24 -r 25 -i ";
    const std::string script = "set -o pipefail; cd '" + dir.string() + "' && " + q + encode +
                               "frames.raw -c:v ffv1 -pix_fmt gbrap16le source.mkv && " +
                               // As on the video page: decode | trellin pipe | encode.
                               q + " -i source.mkv" + raw + "- | " + trellin +
                               " pipe --size 32x24 --key 'Cell Angle@0=0' --key 'Cell Angle@3=45' | " + q + encode +
                               "- -c:v ffv1 -pix_fmt gbrap16le glass.mkv && " + q + " -i glass.mkv" + raw + "glass.raw";
    const testkit::ProgramResult r = testkit::run_program({"bash", "-c", script});
    ASSERT_EQ(r.code, 0) << r.err;

    const std::string out = slurp(dir / "glass.raw");
    ASSERT_EQ(out.size(), bytes.size());
    ReferenceNode node;
    node.key("Cell Angle", 0, 0);
    node.key("Cell Angle", 3, 45);
    for (int k = 0; k < count; ++k) {
        std::vector<std::uint16_t> got(std::size_t(w) * h * 4);
        std::memcpy(got.data(), out.data() + std::size_t(k) * got.size() * 2, got.size() * 2);
        EXPECT_EQ(got, node.render(frames[std::size_t(k)], w, h, 4, double(k))) << "frame " << k;
    }
}

}  // namespace
