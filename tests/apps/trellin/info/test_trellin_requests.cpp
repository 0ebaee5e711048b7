// A request either takes effect or is refused (or noted), never dropped
// without a word: options that do nothing for the output at hand, values
// past what the encoder takes, settings of the environment the module would
// fall back from, a report that cannot be written, and a file too large to
// take, named for what it is.
#include <gtest/gtest.h>

#include "support/trellin_cli_support.h"

namespace {

using namespace trellin_test;

class TrellinRequests : public TrellinTest {
protected:
    void SetUp() override
    {
        TrellinTest::SetUp();
        write_file(dir / "in.png", 16, 16, 3, OIIO::TypeDesc::UINT16, pattern<std::uint16_t>(16, 16, 3, 5, 65535));
    }
};

TEST_F(TrellinRequests, OptionsThatWouldGoUnusedAreRefusedNamingTheOption)
{
    ASSERT_EQ(run({"render", path("in.png"), path("clip.mkv"), "-q"}).code, 0);
    const std::string in = path("in.png"), clip = path("clip.mkv");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{in, path("v.mp4"), "--crf", "52"}, "--crf 52: libx264 takes 0 to 51"},
        {{in, path("v.webm"), "--crf", "64"}, "--crf 64: libvpx-vp9 takes 0 to 63"},
        {{in, path("out.png"), "--crf", "18"}, "--crf: OUT is no video"},
        {{clip, path("f.%04d.png"), "--codec", "ffv1"}, "--codec: OUT is no video"},
        {{in, path("out.png"), "--gop", "12"}, "--gop: OUT is no video"},
        {{clip, path("v.mov"), "--rate", "30"}, "--rate 30: IN is a video, whose frames keep its own timing"},
        {{in, path("out.png"), "--rate", "30"}, "--rate 30: OUT is no video"},
        {{in, path("v.mkv"), "--depth", "8"}, "whose samples --pix-fmt sets (here gbrp16le for ffv1)"},
        {{clip, path("v.mov"), "--depth", "float"}, "(here yuv444p10le for prores_ks), not --depth's float"},
    };
    expect_renders_refused(cases);
    EXPECT_EQ(stray_files({"in.png", "clip.mkv"}), std::vector<std::string>{});
    // What they are for still takes them.
    EXPECT_EQ(run({"render", in, path("v.mp4"), "--crf", "51", "-q"}).code, 0);
    EXPECT_EQ(run({"render", in, path("r.mkv"), "--rate", "30", "-q"}).code, 0);
}

TEST_F(TrellinRequests, EnvironmentTheModuleCannotUseIsRefusedNamingTheVariable)
{
    const std::pair<std::string, std::string> cases[] = {
        {"TRELLIN_THREADS=0", "TRELLIN_THREADS=0: not a processor count"},
        {"TRELLIN_THREADS=-1", "TRELLIN_THREADS=-1: not a processor count"},
        {"TRELLIN_THREADS=1e3", "TRELLIN_THREADS=1e3: not a processor count"},
        {"TRELLIN_KERNELS=bogus", "TRELLIN_KERNELS=bogus: unknown kernels"},
    };
    for (const auto& [variable, named] : cases) {
        const RunResult r =
            run({"render", path("in.png"), path("out.png")}, testkit::RunOptions().with_env({variable}));
        EXPECT_EQ(r.code, 2) << variable << ": " << r.err;
        EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "out.png")) << variable;
    }
    for (const char* sound : {"TRELLIN_THREADS=2", "TRELLIN_KERNELS=reference", "TRELLIN_THREADS="}) {
        const RunResult r = run({"render", path("in.png"), path("out.png"), "-q"},
                                testkit::RunOptions().with_env({std::string(sound)}));
        EXPECT_EQ(r.code, 0) << sound << ": " << r.err;
    }
}

TEST_F(TrellinRequests, AReportThatCannotBeWrittenFailsTheRunAndTooLargeIsSaid)
{
    // The picture is written; the line naming it cannot be.
    const RunResult full = testkit::run_program(
        {"bash", "-c", trellin + " render '" + path("in.png") + "' '" + path("out.png") + "' > /dev/full"},
        testkit::RunOptions().with_env({"TRELLIN_MODULE", "TRELLIN_THREADS"}));
    EXPECT_EQ(full.code, 1) << full.err;
    EXPECT_NE(full.err.find("standard output: the report could not be written"), std::string::npos) << full.err;

    // A y4m video whose header declares a frame past the largest side.
    spit(dir / "huge.y4m", "YUV4MPEG2 W60000 H60000 F25:1 Ip A1:1 C420jpeg\nFRAME\n" + std::string(64, '\x80'));
    const RunResult huge = run({"render", path("huge.y4m"), path("out.mkv")});
    EXPECT_EQ(huge.code, 2);
    EXPECT_NE(huge.err.find("60000x60000 is too large (at most 16384 pixels on a side)"), std::string::npos)
        << huge.err;
}

}  // namespace
