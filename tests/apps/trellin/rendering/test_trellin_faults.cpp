// Nothing lost: an output appears whole or not at all (a full disk in every format, for
// stills and sequences; a run killed while writing, then resumed), a damaged output is
// rendered again, and no output ever replaces an input.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <cctype>
#include <random>

#include "support/trellin_cli_support.h"
#include "tests/apps/trellin/rendering/signal_while_writing.h"

namespace {

using namespace trellin_test;

using TrellinFaults = TrellinTest;

// Noise compresses badly: a 160 x 120 picture makes files far larger than the disk's room.
std::vector<std::uint16_t> noise(int w, int h, int channels, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint16_t> samples(std::size_t(w) * h * channels);
    for (auto& s : samples) s = std::uint16_t(random());
    return samples;
}

bool complete(const fs::path& file)
{
    auto in = OIIO::ImageInput::open(file.string());
    std::vector<float> pixels(in ? in->spec().image_pixels() * std::size_t(in->spec().nchannels) : 0);
    return in && in->read_image(0, 0, 0, in->spec().nchannels, OIIO::TypeDesc::FLOAT, pixels.data());
}

// This machine's name as temporary file names carry it.
std::string host_tag()
{
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    std::string tag(name);
    for (char& ch : tag) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return tag;
}

// The id of a process that has ended.
long ended_process()
{
    const pid_t pid = fork();
    if (pid == 0) _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

TEST_F(TrellinFaults, AFullDiskFailsTheRunAndLeavesNoPartialFileInAnyFormat)
{
    write_file(dir / "in.0000.png", 4, 4, 3, OIIO::TypeDesc::UINT16, noise(4, 4, 3, 1));
    for (const char* frame : {"in.0001.png", "in.0002.png"})
        write_file(dir / frame, 160, 120, 3, OIIO::TypeDesc::UINT16, noise(160, 120, 3, 2));
    const auto disk = testkit::RunOptions().disk_full_after(16 * 1024);
    std::vector<std::string> kept{"in.0000.png", "in.0001.png", "in.0002.png", "out.png"};
    for (const std::string ext : {"png", "jpg", "tif", "exr", "dpx"}) {
        SCOPED_TRACE(ext);
        // The small frame 0 is written whole, frame 1 fails the run and its old file stays as it was, frame 2 is
        // never written.
        const std::string failed = path("seq.0001." + ext);
        spit(failed, "precious");
        const RunResult r = run({"render", path("in.####.png"), path("seq.####." + ext), "--frames", "0-2"}, disk);
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err.rfind("trellin: error: " + failed + ": ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(slurp(failed), "precious");
        EXPECT_TRUE(complete(dir / ("seq.0000." + ext)));
        EXPECT_FALSE(fs::exists(dir / ("seq.0002." + ext)));
        kept.insert(kept.end(), {"seq.0000." + ext, "seq.0001." + ext});
    }
    // A still is written the same way.
    spit(dir / "out.png", "precious");
    const RunResult r = run({"render", path("in.0001.png"), path("out.png")}, disk);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err.rfind("trellin: error: " + path("out.png") + ": ", 0), 0u) << r.err;
    EXPECT_EQ(slurp(dir / "out.png"), "precious");
    EXPECT_EQ(stray_files(kept), std::vector<std::string>{});
}

TEST_F(TrellinFaults, ARunKilledWhileWritingResumesAndLeavesNoTemporaryFiles)
{
    constexpr int w = 200, h = 150, frames = 12;
    std::vector<std::vector<std::uint16_t>> inputs;
    for (int f = 0; f < frames; ++f) {
        inputs.push_back(noise(w, h, 3, 10 + unsigned(f)));
        char name[32];
        std::snprintf(name, sizeof name, "in.%04d.png", f);
        write_file(dir / name, w, h, 3, OIIO::TypeDesc::UINT16, inputs.back());
    }
    // What earlier runs left: a killed run on this machine (removed), a live run and another machine (kept).
    const std::string host = host_tag(), ended = std::to_string(ended_process());
    const std::string stale = ".out.0003.png.tmp-" + host + "-" + ended + ".png";
    const std::vector<std::string> others{".out.0004.png.tmp-" + host + "-" + std::to_string(getpid()) + ".png",
                                          ".out.0005.png.tmp-elsewhere-" + ended + ".png",
                                          ".other.png.tmp-" + host + "-" + ended + ".png"};
    for (const std::string& name : others) spit(dir / name, "kept");
    spit(dir / stale, "partial");
    spit(dir / "out.0002.png", "");  // an empty output, as a full disk once left them

    const std::vector<std::string> args{trellin,         "render", path("in.%04d.png"), path("out.%04d.png"),
                                        "--frames",      "0-11",   "--skip-existing",   "--set",
                                        "ChromaticAb=50"};
    {
        // Killed the moment a temporary file of its own shows.
        testkit::Process run_to_kill(args, testkit::RunOptions(), path("log.txt"));
        signal_while_writing(run_to_kill, dir, SIGKILL);
        run_to_kill.wait(10);
    }
    const RunResult resumed = run({"render", path("in.%04d.png"), path("out.%04d.png"), "--frames", "0-11",
                                   "--skip-existing", "--set", "ChromaticAb=50"});
    ASSERT_EQ(resumed.code, 0) << resumed.err;
    ReferenceNode node;
    node.set("ChromaticAb", 50);
    for (int f = 0; f < frames; ++f) {
        char name[32];
        std::snprintf(name, sizeof name, "out.%04d.png", f);
        EXPECT_EQ(read_file(dir / name).u16, node.render(inputs[std::size_t(f)], w, h, 3)) << name;
    }
    std::vector<std::string> kept = others;
    kept.push_back("log.txt");
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename();
        if (name[0] != '.') kept.push_back(name);
    }
    EXPECT_EQ(stray_files(kept), std::vector<std::string>{});
}

TEST_F(TrellinFaults, NoOutputReplacesAnInputOrAFileThatIsNotAProject)
{
    write_file(dir / "in.png", 8, 6, 3, OIIO::TypeDesc::UINT16, noise(8, 6, 3, 3));
    for (const char* name : {"in.0000.png", "in.0001.png", "a5.png", "a15.png"})
        fs::copy_file(dir / "in.png", dir / name);
    fs::create_directories(dir / "sub");
    fs::create_symlink(dir / "in.png", dir / "link.png");
    spit(dir / "notes.txt", "my notes");
    const std::string in = path("in.png"), out = path("out.png");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"render", in, in}, "OUT names the input"},
        {{"render", in, path("sub/../in.png")}, "OUT names the input"},
        {{"render", in, path("link.png")}, "OUT names the input"},
        {{"render", path("in.%04d.png"), path("in.####.png"), "--frames", "0-1"}, "replace an input frame"},
        {{"render", path("a%d5.png"), path("a%d.png"), "--frames", "1-15"}, "OUT frame 15"},  // a15.png is input 1
        {{"render", in, out, "--save-project", in}, "--save-project names the input"},
        {{"render", in, out, "--save-project", out}, "--save-project names the output"},
        {{"render", in, out, "--save-project", path("notes.txt")}, "not a project file"},
        {{"render", path("in.%04d.png"), path("o.%04d.png"), "--frames", "0-1", "--save-project", path("o.0007.png")},
         "output frame"},
        {{"overlay", in, in}, "OUT names the input"},
        {{"farm", "submit", path("in.%04d.png"), path("in.####.png"), "--frames", "0-1", "--chunk", "1", "--dry-run"},
         "replace an input frame"},
    };
    for (const auto& [args, named] : cases) {
        const RunResult r = run(args);
        EXPECT_EQ(r.code, 2) << named;
        EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
    }
    EXPECT_EQ(slurp(dir / "notes.txt"), "my notes");
    const std::vector<std::string> inputs{"in.png", "in.0000.png", "in.0001.png", "a5.png", "a15.png"};
    std::vector<std::string> kept = inputs;
    kept.insert(kept.end(), {"sub", "link.png", "notes.txt"});
    EXPECT_EQ(stray_files(kept), std::vector<std::string>{});
    // A project file is replaced by the new one.
    spit(dir / "p.json", R"({"controls": {"Index": 2}})");
    ASSERT_EQ(run({"render", in, out, "--set", "Index=3", "--save-project", path("p.json")}).code, 0);
    EXPECT_NE(slurp(dir / "p.json").find("\"Index\": 3.0"), std::string::npos);
}

// --save-project is written after the render, so naming a file of the run
// would replace it with the project: refused before anything is rendered on
// every path, videos in and out included, names compared as files.
TEST_F(TrellinFaults, SaveProjectNamingAVideoOrAFrameOfTheRunIsRefusedBeforeRendering)
{
    write_file(dir / "in.png", 8, 6, 3, OIIO::TypeDesc::UINT16, noise(8, 6, 3, 3));
    for (const char* name : {"in.0000.png", "in.0001.png"}) fs::copy_file(dir / "in.png", dir / name);
    ASSERT_EQ(run({"render", path("in.%04d.png"), path("clip.mkv"), "--frames", "0-1", "-q"}).code, 0);
    fs::create_directories(dir / "sub");
    fs::create_symlink(dir / "sub", dir / "linked");
    const std::string clip = path("clip.mkv");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{clip, path("v.mkv"), "--save-project", path("v.mkv")}, "names the output video"},
        {{clip, path("v.mkv"), "--save-project", path("sub/../v.mkv")}, "names the output video"},
        {{clip, path("sub/v.mov"), "--save-project", path("linked/v.mov")}, "names the output video"},
        {{clip, path("f.png"), "--frames", "1", "--save-project", path("f.png")}, "names the output picture"},
        {{clip, path("o.%04d.png"), "--save-project", path("o.0001.png")}, "names an output frame"},
        {{clip, path("o.%04d.tif"), "--save-project", path("linked/../o.0000.tif")}, "names an output frame"},
        {{clip, path("v.mp4"), "--save-project", clip}, "names the input video"},
        {{path("in.png"), path("v.mp4"), "--save-project", path("v.mp4")}, "names the output video"},
        {{path("in.%04d.png"), path("v.mov"), "--frames", "0-1", "--save-project", path("in.0001.png")},
         "names an input frame"},
    };
    expect_renders_refused(cases);
    EXPECT_EQ(stray_files({"in.png", "in.0000.png", "in.0001.png", "clip.mkv", "sub", "linked"}),
              std::vector<std::string>{});
    EXPECT_TRUE(fs::is_empty(dir / "sub"));
}

}  // namespace
