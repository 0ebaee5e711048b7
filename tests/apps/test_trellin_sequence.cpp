// Sequences through the trellin program: frame ranges and numbered names,
// each frame at time = its number through one node, resuming with
// --skip-existing, progress only on a terminal, and every fault refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "trellin_cli_support.h"

namespace {

using namespace trellin_test;

std::string numbered(const std::string& stem, long long frame, const std::string& ext)
{
    char text[64];
    std::snprintf(text, sizeof text, "%s.%04lld.%s", stem.c_str(), frame, ext.c_str());
    return text;
}

class TrellinSequence : public TrellinTest {
protected:
    static constexpr int w = 24, h = 16;

    // Input frames first..last, each a different picture.
    void make_inputs(long long first, long long last)
    {
        for (long long f = first; f <= last; ++f) {
            inputs[f] = pattern<std::uint16_t>(w, h, 4, 100 + unsigned(f), 65535);
            write_file(dir / numbered("in", f, "png"), w, h, 4, OIIO::TypeDesc::UINT16, inputs[f]);
        }
    }
    std::vector<std::uint16_t> output(const std::string& stem, long long frame)
    {
        return read_file(dir / numbered(stem, frame, "png")).u16;
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
    for (long long f : {0, 2, 4, 6}) EXPECT_FALSE(fs::exists(dir / numbered("out", f, "png"))) << f;

    // Each frame at time = its number: the keyed angle is 10 degrees a frame.
    for (long long f : {1, 3, 5}) {
        ReferenceNode node;
        node.set("Cell Angle", 10.0 * double(f));
        EXPECT_EQ(output("out", f), node.render(inputs[f], w, h, 4)) << "frame " << f;
    }

    // %d without padding, and numbers wider than the pattern.
    write_file(dir / "wide12345.png", w, h, 4, OIIO::TypeDesc::UINT16, inputs[0]);
    const RunResult wide = run({"render", path("wide%d.png"), path("w###.png"), "--frames", "12345"});
    ASSERT_EQ(wide.code, 0) << wide.err;
    EXPECT_TRUE(fs::exists(dir / "w12345.png"));
}

TEST_F(TrellinSequence, AFrameRendersTheSameInAnyRange)
{
    make_inputs(0, 20);
    // Keys on a switch (the node's first-frame step reads it), numbers and an option.
    const std::vector<std::string> keys{"--key", "Light Active@0=off", "--key", "Light Active@12=on",
                                        "--key", "Light_X@0=0",        "--key", "Light_X@20=1",
                                        "--key", "Cell Angle@5=0",     "--key", "Cell Angle@15=45",
                                        "--key", "CellShape@0=Square", "--key", "CellShape@14=Hexagon"};
    for (const auto& [stem, range] : {std::pair{"all", "0-20"}, std::pair{"part", "10-20"}}) {
        std::vector<std::string> args{"render", path("in.####.png"), path(stem + std::string(".####.png")), "--frames", range};
        args.insert(args.end(), keys.begin(), keys.end());
        ASSERT_EQ(run(args).code, 0);
    }
    for (long long f = 10; f <= 20; ++f) EXPECT_EQ(output("all", f), output("part", f)) << "frame " << f;
    // And the keys did change the frames.
    EXPECT_NE(output("all", 11), output("all", 12));
}

TEST_F(TrellinSequence, SkipExistingResumesARun)
{
    make_inputs(0, 3);
    spit(dir / numbered("out", 1, "png"), "precious");
    fs::remove(dir / numbered("in", 1, "png"));  // not needed: its output is there
    const RunResult r = run({"render", path("in.####.png"), path("out.####.png"), "--frames", "0-3",
                             "--skip-existing", "--verbose"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(slurp(dir / numbered("out", 1, "png")), "precious");
    for (long long f : {0, 2, 3}) EXPECT_EQ(output("out", f), ReferenceNode().render(inputs[f], w, h, 4));
    // --verbose: one line per frame, the skipped one said so.
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 4) << r.err;
    EXPECT_NE(r.err.find("frame 1: " + path(numbered("out", 1, "png")) + " (exists, skipped)"), std::string::npos)
        << r.err;
}

TEST_F(TrellinSequence, ProgressOnlyOnATerminal)
{
    make_inputs(0, 2);
    const std::vector<std::string> args{"render", path("in.####.png"), path("out.####.png"), "--frames", "0-2"};
    const RunResult shown = run(args, testkit::RunOptions().terminal());
    ASSERT_EQ(shown.code, 0) << shown.err;
    for (const char* part : {"3/3 frames", " fps", "\r"}) EXPECT_NE(shown.err.find(part), std::string::npos) << shown.err;

    std::vector<std::string> quiet = args;
    quiet.push_back("--quiet");
    const RunResult hushed = run(quiet, testkit::RunOptions().terminal());
    ASSERT_EQ(hushed.code, 0);
    EXPECT_EQ(hushed.err, "");
}

TEST_F(TrellinSequence, FaultsStopTheRunWithTheCauseNamed)
{
    make_inputs(0, 4);
    // Frame 3 is there but cut short: frames 0 to 2 are written, then the run stops.
    spit(dir / numbered("in", 3, "png"), slurp(dir / numbered("in", 3, "png")).substr(0, 300));
    const RunResult cut = run({"render", path("in.####.png"), path("out.####.png"), "--frames", "0-4"});
    EXPECT_EQ(cut.code, 2);
    EXPECT_NE(cut.err.find(numbered("in", 3, "png")), std::string::npos) << cut.err;
    for (long long f : {0, 1, 2}) EXPECT_TRUE(fs::exists(dir / numbered("out", f, "png"))) << f;
    for (long long f : {3, 4}) EXPECT_FALSE(fs::exists(dir / numbered("out", f, "png"))) << f;

    const std::string in = path("in.####.png"), out = path("new.####.png");
    struct Case {
        std::vector<std::string> args;
        std::string named;
    };
    const Case cases[] = {
        {{"render", in, out, "--frames", "0-7"}, numbered("in", 5, "png")},  // missing frames: found up front
        {{"render", in, path("new.png"), "--frames", "0-4"}, "new.png"},
        {{"render", path("in.0000.png"), path("new.png"), "--frames", "0-4"}, "new.png"},
        {{"render", path("in.0000.png"), out, "--frames", "0-4"}, "in.0000.png"},
        {{"render", in, out}, "--frames"},
        {{"render", in, out, "--frames", "4-2"}, "empty"},
        {{"render", in, out, "--frames", "a-b"}, "a-b"},
        {{"render", in, path("new.##.##.png"), "--frames", "0-4"}, "more than one"},
        {{"render", in, out, "--frames", "0-4", "--depth", "12"}, "--depth 12"},
        {{"render", in, path("none/new.####.png"), "--frames", "0-4"}, "none"},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const auto& a : c.args) shown += a + " ";
        const RunResult r = run(c.args);
        EXPECT_EQ(r.code, 2) << shown << "\n" << r.err;
        EXPECT_NE(r.err.find(c.named), std::string::npos) << shown << "\n" << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        for (long long f = 0; f <= 4; ++f) EXPECT_FALSE(fs::exists(dir / numbered("new", f, "png"))) << shown;
    }
}

}  // namespace
