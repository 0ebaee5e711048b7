// trellin farm without a cluster: the batch script a dry run prints, frame
// status from the output files, the refusals that must come before
// anything is written or queued, and the join of a video job's parts.
#include <gtest/gtest.h>

#include "support/trellin_cli_support.h"

namespace {

using namespace trellin_test;

class FarmCommands : public TrellinTest {
protected:
    void SetUp() override
    {
        TrellinTest::SetUp();
        out = dir / "out dir's";
        fs::create_directories(dir / "in");
        fs::create_directories(out);
    }
    // Files named like frames; their content does not matter before a render.
    void touch_frames(const fs::path& folder, const std::string& prefix, const std::vector<int>& frames)
    {
        for (int f : frames) {
            char name[64];
            std::snprintf(name, sizeof name, "%s.%04d.png", prefix.c_str(), f);
            spit(folder / name, "x");
        }
    }
    bool out_empty() const { return fs::is_empty(out); }

    fs::path out;
};

TEST_F(FarmCommands, DryRunPrintsOneTaskPerChunkWithQuotedAbsolutePaths)
{
    touch_frames(dir / "in", "in", {3, 7, 11, 15, 19});
    // A relative input name: the script must not depend on where it was submitted from.
    const RunResult r =
        run({"farm", "submit", (dir / "in" / "in.%04d.png").lexically_relative(fs::current_path()).string(),
             (out / "glass.####.exr").string(), "--frames", "3-20x4", "--chunk", "2", "--partition", "gpu", "--threads",
             "3", "--key", "Cell Angle@3=10", "--sbatch=--time=1:00:00", "--dry-run"});
    ASSERT_EQ(r.code, 0) << r.err;
    for (const std::string& line : std::vector<std::string>{
             "#SBATCH --array=0-2\n", "#SBATCH --partition=gpu\n", "#SBATCH --cpus-per-task=3\n",
             "#SBATCH --time=1:00:00\n", "#SBATCH --chdir=\"" + out.string() + "\"\n", "  0) frames=3-7x4 ;;\n",
             "  1) frames=11-15x4 ;;\n", "  2) frames=19 ;;\n",
             " render '" + (dir / "in" / "in.%04d.png").string() + "' '" + dir.string() +
                 "/out dir'\\''s/glass.####.exr'",
             "--frames \"$frames\" --skip-existing --project '" + dir.string() + "/out dir'\\''s/glass.farm-"})
        EXPECT_NE(r.out.find(line), std::string::npos) << "missing: " << line << "\nin:\n" << r.out;
    EXPECT_EQ(r.out.find("  3) "), std::string::npos);
    EXPECT_TRUE(out_empty()) << "a dry run writes nothing";
}

TEST_F(FarmCommands, StatusListsMissingFramesAsRuns)
{
    touch_frames(out, "glass", {0, 1, 2, 5, 10});
    const std::string pattern = (out / "glass.%04d.png").string();
    struct Case {
        std::string frames, says;
        int code;
    };
    for (const Case& c : {Case{"0-9", "frames 0-9: 4 of 10 done, 6 missing: 3-4, 6-9\n", 1},
                          Case{"0-12x2", "frames 0-12x2: 3 of 7 done, 4 missing: 4-8x2, 12\n", 1},
                          Case{"0-2", "frames 0-2: all 3 done\n", 0}}) {
        const RunResult r = run({"farm", "status", pattern, "--frames", c.frames});
        EXPECT_EQ(r.code, c.code) << c.frames;
        EXPECT_EQ(r.out, c.says);
    }
}

TEST_F(FarmCommands, StatusOfAVideoCountsTheNewestSubmissionsParts)
{
    const std::string video = (out / "glass.mov").string();
    auto status = [&] { return run({"farm", "status", video}); };
    RunResult r = status();
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, video + ": not written yet\n");
    // An earlier submission, and the newest: two of its four tasks' parts are there.
    for (const char* stamp : {"20261207-101010", "20261207-111111"}) {
        const std::string base = "glass.farm-" + std::string(stamp);
        fs::create_directories(out / (base + ".parts"));
        spit(out / (base + ".sh"), "#!/bin/bash\n#SBATCH --array=0-3\n");
    }
    spit(out / "glass.farm-20261207-101010.parts" / "part-00001.mkv", "x");
    for (const char* part : {"part-00000.mkv", "part-00002.mkv"})
        spit(out / "glass.farm-20261207-111111.parts" / part, "x");
    r = status();
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, video + ": not written yet; 2 of 4 parts rendered (" +
                         (out / "glass.farm-20261207-111111.parts").string() + ")\n");
    spit(out / "glass.mov", "x");
    r = status();
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, video + ": written\n");
}

TEST_F(FarmCommands, RefusesBadShotsBeforeWritingAnything)
{
    touch_frames(dir / "in", "in", {0, 1, 2, 3});
    const std::string in = (dir / "in" / "in.%04d.png").string(), glass = (out / "glass.%04d.png").string();
    struct Case {
        std::vector<std::string> args;
        std::string names;  // the message must name this
    };
    const Case cases[] = {
        {{"submit", (dir / "in" / "in.0000.png").string(), glass, "--frames", "0-3", "--chunk", "2"}, "pattern"},
        {{"submit", in, (out / "glass.png").string(), "--frames", "0-3", "--chunk", "2"}, "glass.png"},
        {{"submit", in, glass, "--frames", "0-4", "--chunk", "2"}, "in.0004.png"},
        {{"submit", in, glass, "--frames", "0-3", "--chunk", "0"}, "chunk"},
        {{"submit", in, glass, "--frames", "0-999999", "--chunk", "1"}, "larger chunk"},
        {{"submit", in, in, "--frames", "0-3", "--chunk", "2"}, "replace an input frame"},
        {{"submit", in, glass, "--frames", "0-3", "--chunk", "2", "--project", path("none.json")}, "none.json"},
        {{"wait", "12x", glass, "--frames", "0-3"}, "12x"},
        {{"status", glass, "--frames", "0-3y2"}, "0-3y2"},
        {{"submit", in, glass, "--chunk", "2"}, "--frames"},
        {{"status", glass}, "--frames"},
        {{"submit", path("none.mov"), (out / "glass.mov").string(), "--chunk", "2"}, "none.mov: IN does not exist"},
        {{"submit", in, (out / "glass.mp4").string(), "--frames", "0-3", "--chunk", "2", "--codec", "nope"},
         "--codec nope"},
        {{"submit", in, glass, "--frames", "0-3", "--chunk", "2", "--crf", "18"}, "--crf: OUT is no video"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"farm"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = run(args);
        EXPECT_EQ(r.code, 2) << c.names << ": " << r.err;
        EXPECT_NE(r.err.find(c.names), std::string::npos) << r.err;
    }
    EXPECT_TRUE(out_empty());

    // Slurm out of reach: exit code 1, and no files left behind.
    const RunResult r = run({"farm", "submit", in, glass, "--frames", "0-1", "--chunk", "1"},
                            testkit::RunOptions().with_env({"PATH=" + dir.string()}));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("sbatch not found"), std::string::npos) << r.err;
    EXPECT_TRUE(out_empty());
}

// Every value the batch scripts are written with passes one check: a line
// break or another control character would start a line of its own there
// (a shell command on a comment's or an #SBATCH line's heels), so each is
// refused naming its option, before anything is printed or written.
TEST_F(FarmCommands, ControlCharactersInAnyValueOfTheScriptAreRefusedNamingTheOption)
{
    touch_frames(dir / "in", "in", {0, 1});
    const std::string in = (dir / "in" / "in.%04d.png").string(), glass = (out / "glass.%04d.png").string();
    const std::string video = (out / "glass.mkv").string(), injected = "\necho INJECTED #";
    struct Case {
        std::vector<std::string> args;
        std::string names;
    };
    const Case cases[] = {
        {{in, glass, "--partition", "p" + injected}, "--partition"},
        {{in, glass, "--partition", std::string("p\x1bq")}, "--partition"},
        {{in, glass, "--partition", "p\"q"}, "--partition"},
        {{in, glass, "--sbatch=--time=1" + injected}, "--sbatch"},
        {{in, (out / ("glass" + injected + ".%04d.png")).string()}, "OUT"},
        {{in, video, "--rate", "25" + injected}, "--rate"},
        {{in, video, "--codec", "ffv1" + injected}, "--codec"},
        {{in, video, "--bitrate", "8M" + injected}, "--bitrate"},
        {{in, video, "--pix-fmt", "gbrp16le\x7f"}, "--pix-fmt"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"farm", "submit"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.insert(args.end(), {"--frames", "0-1", "--chunk", "1", "--dry-run"});
        const RunResult r = run(args);
        EXPECT_EQ(r.code, 2) << c.names << ": " << r.err;
        EXPECT_NE(r.err.find("error: " + c.names + ": may not hold"), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("INJECTED"), std::string::npos) << r.out;
    }
    EXPECT_TRUE(out_empty());
    // A partition with a space is a word sbatch reads whole.
    const RunResult r =
        run({"farm", "submit", in, glass, "--frames", "0-1", "--chunk", "1", "--partition", "a b", "--dry-run"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("#SBATCH --partition=\"a b\"\n"), std::string::npos) << r.out;
}

// A 6-frame FFV1 video made by trellin itself from pictures.
class FarmVideo : public FarmCommands {
protected:
    void SetUp() override
    {
        FarmCommands::SetUp();
        clip = path("clip.mkv");
        for (int f = 0; f < 6; ++f) {
            char name[64];
            std::snprintf(name, sizeof name, "in.%04d.png", f);
            write_file(dir / "in" / name, 32, 24, 3, OIIO::TypeDesc::UINT16,
                       pattern<std::uint16_t>(32, 24, 3, unsigned(f + 1), 65535));
        }
        ASSERT_EQ(run({"render", path("in/in.%04d.png"), clip, "--frames", "0-5", "-q"}).code, 0);
    }
    std::string clip;
};

TEST_F(FarmVideo, DryRunRendersEveryFrameAsPartsAndPassesTheCodecToTheJoin)
{
    const RunResult r = run({"farm", "submit", clip, (out / "glass.mov").string(), "--chunk", "4", "--codec",
                             "prores_ks", "--pix-fmt", "yuv444p10le", "--dry-run"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string parts = "'" + dir.string() + "/out dir'\\''s/glass.farm-";
    for (const std::string& line :
         {std::string("#SBATCH --array=0-1\n"), "  0) frames=0-3 part=" + parts, "  1) frames=4-5 part=" + parts,
          std::string(".parts/part-00001.mkv' ;;\n"), std::string("#SBATCH --job-name=trellin-glass-join\n"),
          std::string(" farm join '") + clip + "' '" + dir.string() + "/out dir'\\''s/glass.mov' \\\n",
          std::string("--frames 0-5 --chunk 4 --parts ") + parts,
          std::string(" --space 'sRGB' '--codec' 'prores_ks' '--pix-fmt' 'yuv444p10le'\n")})
        EXPECT_NE(r.out.find(line), std::string::npos) << "missing: " << line << "\nin:\n" << r.out;
    EXPECT_TRUE(out_empty()) << "a dry run writes nothing";

    const RunResult past =
        run({"farm", "submit", clip, (out / "glass.mov").string(), "--frames", "3-9", "--chunk", "4"});
    EXPECT_EQ(past.code, 2);
    EXPECT_NE(past.err.find("its last frame is 5"), std::string::npos) << past.err;
    EXPECT_TRUE(out_empty());
}

TEST_F(FarmVideo, JoinWritesWhatOneRenderWritesOrNothingWhenAPartIsWrong)
{
    const std::string parts = (out / "parts").string(), glass = (out / "glass.mov").string();
    fs::create_directories(parts);
    auto make_parts = [&] {
        for (const auto& [k, frames] : {std::pair{0, "1-3"}, std::pair{1, "4-5"}})
            ASSERT_EQ(run({"render", clip, parts + "/part-0000" + std::to_string(k) + ".mkv", "--frames", frames,
                           "--key", "Cell Angle@1=0", "--key", "Cell Angle@5=40", "-q"})
                          .code,
                      0);
    };
    const std::vector<std::string> join = {"farm",    "join", clip,      glass, "--frames", "1-5",
                                           "--chunk", "3",    "--parts", parts, "--space",  "sRGB"};

    // A part with a frame too many, then one missing: nothing written, the parts kept.
    make_parts();
    ASSERT_EQ(run({"render", clip, parts + "/part-00001.mkv", "--frames", "3-5", "-q"}).code, 0);
    RunResult r = run(join);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("part-00001.mkv: holds 3 frames where 2 belong (frames 4-5)"), std::string::npos) << r.err;
    fs::remove(parts + "/part-00001.mkv");
    r = run(join);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("part-00001.mkv: the part of frames 4-5 is missing"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(glass));
    EXPECT_TRUE(fs::exists(parts + "/part-00000.mkv"));

    // Whole parts: the same file as one render of the frames writes, and the parts gone.
    make_parts();
    r = run(join);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(fs::exists(parts));
    ASSERT_EQ(run({"render", clip, path("ref.mov"), "--frames", "1-5", "--key", "Cell Angle@1=0", "--key",
                   "Cell Angle@5=40", "-q"})
                  .code,
              0);
    EXPECT_TRUE(slurp(glass) == slurp(path("ref.mov"))) << "the joined video differs from the rendered one";
}

}  // namespace
