// Sequences through the trellin program: frame ranges and numbered names, each frame
// at time = its number, resuming with --skip-existing, progress only on a terminal, faults refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "support/trellin_cli_support.h"

namespace {

using namespace trellin_test;

std::string numbered(const std::string& stem, long long frame)
{
    char text[64];
    std::snprintf(text, sizeof text, "%s.%04lld.png", stem.c_str(), frame);
    return text;
}

class TrellinSequence : public TrellinTest {
protected:
    static constexpr int w = 24, h = 16;

    void make_inputs(long long first, long long last)
    {
        for (long long f = first; f <= last; ++f) {
            inputs[f] = pattern<std::uint16_t>(w, h, 4, 100 + unsigned(f), 65535);
            write_file(dir / numbered("in", f), w, h, 4, OIIO::TypeDesc::UINT16, inputs[f]);
        }
    }
    std::vector<std::uint16_t> output(const std::string& stem, long long f)
    {
        return read_file(dir / numbered(stem, f)).u16;
    }

    std::map<long long, std::vector<std::uint16_t>> inputs;
};

TEST_F(TrellinSequence, PatternsRangesAndSteps)
{
    make_inputs(0, 6);
    const RunResult r = run({"render", path("in.%04d.png"), path("out.####.png"), "--frames", "1-6x2", "--key",
                             "Cell Angle@0=0", "--key", "Cell Angle@6=60"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");  // no progress line when standard error is no terminal
    // The last line names the first and last file written; a still names its file; -q says nothing.
    EXPECT_EQ(r.out, "wrote 3 frames: " + path(numbered("out", 1)) + " to " + path(numbered("out", 5)) + "\n");
    const RunResult still = run({"render", path(numbered("in", 0)), path("still.png")});
    EXPECT_EQ(still.out, "wrote " + path("still.png") + "\n");
    EXPECT_EQ(run({"render", path(numbered("in", 0)), path("quiet.png"), "-q"}).out, "");
    for (long long f : {0, 2, 4, 6}) EXPECT_FALSE(fs::exists(dir / numbered("out", f))) << f;
    // Each frame at time = its number: the keyed angle is 10 degrees a frame.
    for (long long f : {1, 3, 5}) {
        ReferenceNode node;
        node.set("Cell Angle", 10.0 * double(f));
        EXPECT_EQ(output("out", f), node.render(inputs[f], w, h, 4)) << "frame " << f;
    }
    // %d without padding, and numbers wider than the pattern.
    write_file(dir / "wide12345.png", w, h, 4, OIIO::TypeDesc::UINT16, inputs[0]);
    ASSERT_EQ(run({"render", path("wide%d.png"), path("w###.png"), "--frames", "12345"}).code, 0);
    EXPECT_TRUE(fs::exists(dir / "w12345.png"));
}

TEST_F(TrellinSequence, AFrameRendersTheSameInAnyRange)
{
    make_inputs(0, 20);
    // Keys on a switch (the node's first-frame step reads it), numbers and an option.
    std::vector<std::string> args{"render", path("in.####.png"), "OUT", "--frames", "RANGE"};
    for (const char* key : {"Light Active@0=off", "Light Active@12=on", "Light_X@0=0", "Light_X@20=1", "Cell Angle@5=0",
                            "Cell Angle@15=45", "CellShape@0=Square", "CellShape@14=Hexagon"})
        args.insert(args.end(), {"--key", key});
    for (const auto& [stem, range] : {std::pair{"all", "0-20"}, std::pair{"part", "10-20"}}) {
        args[2] = path(stem + std::string(".####.png"));
        args[4] = range;
        ASSERT_EQ(run(args).code, 0);
    }
    for (long long f = 10; f <= 20; ++f) EXPECT_EQ(output("all", f), output("part", f)) << "frame " << f;
    EXPECT_NE(output("all", 11), output("all", 12));  // the keys did change the frames
}

TEST_F(TrellinSequence, SkipExistingResumesARunAndProgressShowsOnlyOnATerminal)
{
    make_inputs(0, 3);
    // A complete output is kept (its input is not needed); an empty or cut one is rendered again.
    write_file(dir / numbered("out", 1), 3, 2, 3, OIIO::TypeDesc::UINT8, std::vector<std::uint8_t>(18, 7));
    const std::string kept = slurp(dir / numbered("out", 1));
    fs::remove(dir / numbered("in", 1));
    spit(dir / numbered("out", 2), "");
    fs::copy_file(dir / numbered("in", 0), dir / numbered("out", 3));
    spit(dir / numbered("out", 3), slurp(dir / numbered("out", 3)).substr(0, 400));
    // Whole in length but with a byte changed: damaged, rendered again.
    std::string damaged = slurp(dir / numbered("in", 0));
    damaged[damaged.size() / 2] = char(damaged[damaged.size() / 2] ^ 0x40);
    spit(dir / numbered("out", 0), damaged);
    const RunResult r = run({"render", path("in.####.png"), path("out.####.png"), "--frames", "0-3", "--skip-existing"},
                            testkit::RunOptions().terminal());
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(slurp(dir / numbered("out", 1)), kept);
    for (long long f : {0, 2, 3}) EXPECT_EQ(output("out", f), ReferenceNode().render(inputs[f], w, h, 4));
    for (const char* part : {"4/4 frames", " fps", "\r"}) EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "wrote 3 frames: " + path(numbered("out", 0)) + " to " + path(numbered("out", 3)) +
                         " (1 existed, skipped)\n");
    const RunResult again =
        run({"render", path("in.####.png"), path("out.####.png"), "--frames", "0-3", "--skip-existing"});
    EXPECT_EQ(again.out, "wrote nothing: every output exists (4 existed, skipped)\n");
}

TEST_F(TrellinSequence, FaultsStopTheRunWithTheCauseNamed)
{
    make_inputs(0, 4);
    // Frame 3 is there but cut short: frames 0 to 2 are written, then the run stops.
    spit(dir / numbered("in", 3), slurp(dir / numbered("in", 3)).substr(0, 300));
    const RunResult cut = run({"render", path("in.####.png"), path("out.####.png"), "--frames", "0-4"});
    EXPECT_EQ(cut.code, 2);
    EXPECT_NE(cut.err.find(numbered("in", 3)), std::string::npos) << cut.err;
    for (long long f : {0, 1, 2}) EXPECT_TRUE(fs::exists(dir / numbered("out", f))) << f;
    for (long long f : {3, 4}) EXPECT_FALSE(fs::exists(dir / numbered("out", f))) << f;

    const std::string in = path("in.####.png"), out = path("new.####.png");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{in, out, "--frames", "0-7"}, numbered("in", 5)},  // missing frames: found up front
        {{in, path("new.png"), "--frames", "0-4"}, "new.png"},
        {{path("in.0000.png"), out, "--frames", "0-4"}, "in.0000.png"},
        {{in, out}, "--frames"},
        {{in, out, "--frames", "4-2"}, "empty"},
        {{in, out, "--frames", "a-b"}, "a-b"},
        {{in, path("new.##.##.png"), "--frames", "0-4"}, "more than one"},
    };
    expect_renders_refused(cases);
    for (long long f = 0; f <= 4; ++f) EXPECT_FALSE(fs::exists(dir / numbered("new", f))) << f;
}

}  // namespace
