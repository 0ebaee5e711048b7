// Hostile input: pictures whose headers lie, outputs that reach their inputs through linked
// folders, samples that are no numbers, devices and pipes where files are expected, settings
// too large for a format or refused, broken colour configs, escape codes in files, endless
// names, and signals in the middle of a sequence.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "support/trellin_cli_support.h"
#include "tests/apps/trellin/rendering/signal_while_writing.h"

namespace {

using namespace trellin_test;

using TrellinHostile = TrellinTest;

std::vector<std::uint16_t> picture(int w, int h, int channels, unsigned seed)
{
    return pattern<std::uint16_t>(w, h, channels, seed, 65535);
}

void put_u32(std::string& bytes, std::size_t at, std::uint32_t v, bool big)
{
    for (int i = 0; i < 4; ++i) bytes[at + std::size_t(i)] = char(v >> (big ? 24 - 8 * i : 8 * i));
}

bool one_bounded_line(const std::string& err)
{
    return std::count(err.begin(), err.end(), '\n') == 1 && err.size() < 1200;
}

// The address space a run is held to while it reads a lying header: one that
// believed the header would take gigabytes. The sanitizers reserve more
// address space than that for themselves.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
constexpr long long header_memory_limit = 2LL << 30;
#else
constexpr long long header_memory_limit = 0;
#endif

TEST_F(TrellinHostile, PictureHeadersThatClaimMoreThanTheFileAreRefusedBeforeTheyAreRead)
{
    write_file(dir / "in.png", 8, 6, 3, OIIO::TypeDesc::UINT16, picture(8, 6, 3, 1));
    for (const char* ext : {"dpx", "png", "tif", "exr"})
        ASSERT_EQ(run({"render", path("in.png"), path(std::string("good.") + ext)}).code, 0) << ext;

    // DPX: the user data size (bytes 32 to 35) claims almost 4 GB.
    std::string dpx = slurp(dir / "good.dpx");
    put_u32(dpx, 32, 0xfffffff0u, dpx.compare(0, 4, "SDPX") == 0);
    spit(dir / "bad.dpx", dpx);
    // PNG: the first chunk after the header claims 2 GB.
    std::string png = slurp(dir / "good.png");
    put_u32(png, 33, 0x7ffffff0u, true);
    spit(dir / "bad.png", png);
    // TIFF: the first directory claims 65535 fields.
    std::string tif = slurp(dir / "good.tif");
    const bool big = tif[0] == 'M';
    std::uint32_t ifd = 0;
    for (int i = 0; i < 4; ++i)
        ifd |= std::uint32_t(std::uint8_t(tif[4 + std::size_t(i)])) << (big ? 24 - 8 * i : 8 * i);
    tif[ifd] = tif[ifd + 1] = char(0xff);
    spit(dir / "bad.tif", tif);
    // OpenEXR: the first attribute's size (after its name and type) claims 2 GB.
    std::string exr = slurp(dir / "good.exr");
    const std::size_t type_end = exr.find('\0', exr.find('\0', 8) + 1);
    put_u32(exr, type_end + 1, 0x7ffffff0u, false);
    spit(dir / "bad.exr", exr);

    // PNG: settings text changed without its check sum (the PNG library would add lines of its own).
    std::string text = slurp(dir / "good.png");
    text[text.find("trellin:project") + 20] ^= 0x20;
    spit(dir / "bad.text.png", text);

    // Read as a picture, and for its settings by info or --project in turn (both walk the header the same way).
    int n = 0;
    for (const char* ext : {"dpx", "png", "tif", "exr", "text.png"}) {
        const std::string bad = path(std::string("bad.") + ext);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"render", bad, path("o.png")},
              n++ % 2 ? std::vector<std::string>{"render", path("in.png"), path("o.png"), "--project", bad}
                      : std::vector<std::string>{"info", bad}}) {
            const RunResult r = run(args, testkit::RunOptions().memory(header_memory_limit).within(30));
            EXPECT_EQ(r.code, 2) << args[0] << " " << bad << ": " << r.err;
            EXPECT_NE(r.err.find(bad + ": "), std::string::npos) << r.err;
            EXPECT_NE(r.err.find(" is damaged"), std::string::npos) << r.err;
            EXPECT_TRUE(one_bounded_line(r.err)) << r.err;
        }
    }
    EXPECT_FALSE(fs::exists(dir / "o.png"));
}

TEST_F(TrellinHostile, SequencesThroughLinkedFoldersNeverReplaceTheirInputs)
{
    fs::create_directories(dir / "in");
    fs::create_directories(dir / "sl");
    fs::create_directories(dir / "out");
    for (const char* name : {"in/f.0001.png", "in/f.0002.png"})
        write_file(dir / name, 8, 6, 3, OIIO::TypeDesc::UINT16, picture(8, 6, 3, 2));
    const std::string kept = slurp(dir / "in/f.0001.png");
    fs::create_directory_symlink("../in", dir / "sl/in");
    fs::create_directory_symlink(dir / "in", dir / "again");
    // An input frame that is itself a link to a name among the outputs.
    fs::create_directories(dir / "mixed");
    fs::copy_file(dir / "in/f.0001.png", dir / "out/g.0002.png");
    fs::copy_file(dir / "in/f.0001.png", dir / "mixed/g.0001.png");
    fs::create_symlink(dir / "out/g.0002.png", dir / "mixed/g.0002.png");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"render", path("in/f.%04d.png"), path("sl/in/f.%04d.png"), "--frames", "1-2"}, "sl/in/f.0001.png"},
        {{"render", path("sl/in/f.%04d.png"), path("again/f.####.png"), "--frames", "1-2"}, "again/f.0001.png"},
        {{"render", path("in/f.0001.png"), path("sl/in/f.0001.png")}, "OUT names the input"},
        {{"render", path("mixed/g.%04d.png"), path("out/g.%04d.png"), "--frames", "1-2"}, "out/g.0002.png"},
        {{"farm", "submit", path("in/f.%04d.png"), path("sl/in/f.%04d.png"), "--frames", "1-2", "--chunk", "1",
          "--dry-run"},
         "would replace an input frame"},
    };
    for (const auto& [args, named] : cases) {
        const RunResult r = run(args);
        EXPECT_EQ(r.code, 2) << named << ": " << r.err;
        EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
    }
    EXPECT_EQ(slurp(dir / "in/f.0001.png"), kept);
    EXPECT_EQ(slurp(dir / "in/f.0002.png"), slurp(dir / "in/f.0002.png"));
    EXPECT_EQ(slurp(dir / "out/g.0002.png"), kept);
    EXPECT_FALSE(fs::exists(dir / "out/g.0001.png"));
}

TEST_F(TrellinHostile, SamplesThatAreNoNumbersNeverReachAnOutputAndAreCounted)
{
    constexpr int w = 8, h = 6;
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    std::vector<float> plate(std::size_t(w) * h * 4);
    for (std::size_t i = 0; i < plate.size(); ++i) plate[i] = i % 4 == 3 ? 1.0f : float(i % 17) / 16.0f;
    // A small block with NaN and infinite alpha, and one colour sample that is NaN.
    plate[3] = nan;
    plate[7] = inf;
    plate[11] = -inf;
    plate[12] = nan;
    write_file(dir / "plate.exr", w, h, 4, OIIO::TypeDesc::FLOAT, plate);
    for (const char* extra : {"", "--refract-alpha"}) {
        std::vector<std::string> args{"render", path("plate.exr"), path("out.exr")};
        if (*extra) args.push_back(extra);
        const RunResult r = run(args);
        ASSERT_EQ(r.code, 0) << r.err;
        // Colour and alpha counted apart.
        EXPECT_NE(r.err.find("(1 not finite: NaN or infinite)"), std::string::npos) << extra << ": " << r.err;
        EXPECT_NE(r.err.find("3 of 48 alpha samples lay outside 0..1 (not finite"), std::string::npos)
            << extra << ": " << r.err;
        const FileImage out = read_file(dir / "out.exr");
        for (std::size_t i = 0; i < out.f32.size(); ++i) ASSERT_TRUE(std::isfinite(out.f32[i])) << "sample " << i;
        fs::remove(dir / "out.exr");
    }

    // Piped float frames, planes G, B, R, A.
    std::string raw(plate.size() * sizeof(float), '\0');
    const std::size_t pixels = std::size_t(w) * h;
    const int plane_of[4] = {2, 0, 1, 3};
    for (std::size_t p = 0; p < pixels; ++p)
        for (int c = 0; c < 4; ++c)
            std::memcpy(&raw[(std::size_t(plane_of[c]) * pixels + p) * 4], &plate[p * 4 + std::size_t(c)], 4);
    spit(dir / "in.raw", raw);
    const RunResult piped =
        run({"pipe", "--size", "8x6", "--pix-fmt", "gbrapf32le"}, testkit::RunOptions().input(path("in.raw")));
    ASSERT_EQ(piped.code, 0) << piped.err;
    ASSERT_EQ(piped.out.size(), raw.size());
    EXPECT_NE(piped.err.find("not finite"), std::string::npos) << piped.err;
    for (std::size_t i = 0; i < piped.out.size(); i += 4) {
        float v = 0.0f;
        std::memcpy(&v, &piped.out[i], 4);
        ASSERT_TRUE(std::isfinite(v)) << "byte " << i;
    }
}

TEST_F(TrellinHostile, DevicesAndPipesAreRefusedWithoutBeingOpened)
{
    write_file(dir / "in.png", 8, 6, 3, OIIO::TypeDesc::UINT16, picture(8, 6, 3, 3));
    for (const char* frame : {"in.0000.png", "in.0001.png"}) fs::copy_file(dir / "in.png", dir / frame);
    // A project file and a picture (every format's header is walked by the same open) of each kind.
    for (const char* name : {"fifo.json", "fifo.png"}) ASSERT_EQ(mkfifo(path(name).c_str(), 0600), 0);
    for (const char* name : {"zero.json", "zero.png"}) fs::create_symlink("/dev/zero", dir / name);
    const auto quick = testkit::RunOptions().within(20);
    for (const char* name : {"fifo.json", "fifo.png", "zero.json", "zero.png"}) {
        const std::string file = name;
        const std::string f = path(file);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"render", path("in.png"), path("o.png"), "--project", f},
              {"render", f, path("o.png")},
              {"info", f},
              {"pipe", "--size", "8x6", "--project", f},
              {"farm", "submit", path("in.%04d.png"), path("o.%04d.png"), "--frames", "0-1", "--chunk", "1",
               "--project", f, "--dry-run"}}) {
            const RunResult r = run(args, quick);
            EXPECT_FALSE(r.timed_out) << args[0] << " " << file;
            EXPECT_EQ(r.code, 2) << args[0] << " " << file << ": " << r.err;
            EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << args[0] << " " << file << ": " << r.err;
        }
    }
    const RunResult dev = run({"render", path("in.png"), path("o.png"), "--project", "/dev/zero"}, quick);
    EXPECT_EQ(dev.code, 2) << dev.err;
}

// A project keying the Index control `keys` times.
std::string keyed_project(int keys)
{
    std::string text = R"({"controls": {"Index": {"value": 1.4, "keys": [)";
    for (int k = 0; k < keys; ++k) {
        if (k > 0) text += ",";
        text.append("[").append(std::to_string(k)).append(", 1.5]");
    }
    return text + "]}}}";
}

TEST_F(TrellinHostile, SettingsAreWrittenOnlyWhereTheyReadBackWhole)
{
    write_file(dir / "in.png", 8, 6, 3, OIIO::TypeDesc::UINT16, picture(8, 6, 3, 4));
    spit(dir / "big.json", keyed_project(20000));  // about 260,000 characters
    for (const char* ext : {"tif", "dpx", "png", "exr"}) {
        const std::string out = path(std::string("big.") + ext);
        const RunResult r = run({"render", path("in.png"), out, "--project", path("big.json")});
        ASSERT_EQ(r.code, 0) << r.err;
        const RunResult info = run({"info", out});
        if (std::string(ext) == "tif") {
            EXPECT_NE(r.err.find("the settings were too large for the tiff format"), std::string::npos) << r.err;
            EXPECT_EQ(info.code, 2);
            EXPECT_NE(info.err.find("carries no trellin settings"), std::string::npos) << info.err;
        } else {
            EXPECT_EQ(info.code, 0) << ext << ": " << info.err;
            EXPECT_NE(info.out.find("19999"), std::string::npos) << ext;
        }
    }
}

TEST_F(TrellinHostile, SettingsThatCannotBeTakenAreToldFromAbsentOnes)
{
    const auto in = picture(4, 4, 3, 5);
    const std::string deep = std::string(5000, '[') + std::string(5000, ']');
    const std::pair<std::string, std::string> carried[] = {
        {R"({"controls": {"Index": 2}, "picture": {)", "line 1, column"},
        {R"({"controls": {"Index": )" + deep + R"(}, "picture": {}})", "nested"},
        {R"({"controls": {"Index": 1e400}, "picture": {}})", "1e400"},
        {"{\"controls\": {\"Index\": \"\xff\xfe\"}, \"picture\": {}}", "line 1, column"},
        {"not settings at all", "line 1, column"},
        {R"({"controls": {"Index": 2}})", "no \"picture\""},
        {R"({"controls": {"Index": 1e6}, "picture": {}})", "--project would refuse"},
        {R"({"controls": {"No Such Control": 1}, "picture": {}})", "--project would refuse"},
    };
    int n = 0;
    for (const auto& [text, named] : carried) {
        const std::string file = path(std::string("p").append(std::to_string(n++)).append(".png"));
        write_file(file, 4, 4, 3, OIIO::TypeDesc::UINT16, in, {{"trellin:project", text}});
        const RunResult info = run({"info", file});
        EXPECT_EQ(info.code, 2) << named;
        EXPECT_NE(info.err.find(named), std::string::npos) << info.err;
        EXPECT_EQ(info.err.find("carries no trellin settings"), std::string::npos) << info.err;
        EXPECT_TRUE(one_bounded_line(info.err)) << info.err;
        EXPECT_EQ(info.out, "");
    }
    // What info says of a picture without settings: SettingsAreWrittenOnlyWhereTheyReadBackWhole.
}

TEST_F(TrellinHostile, ABrokenColourConfigIsReportedNamingItsFileBeforeAnyFrame)
{
    write_file(dir / "in.png", 8, 6, 3, OIIO::TypeDesc::UINT16, picture(8, 6, 3, 6));
    spit(dir / "lut.ocio", R"(ocio_profile_version: 2
search_path: .
roles: {default: scene, scene_linear: scene, reference: scene}
displays:
  sRGB:
    - !<View> {name: Plain, colorspace: scene}
colorspaces:
  - !<ColorSpace> {name: scene}
  - !<ColorSpace>
    name: graded
    from_scene_reference: !<FileTransform> {src: grade.spi1d, interpolation: linear}
)");
    spit(dir / "grade.spi1d", "garbage, not a LUT\n\x01\x02");
    const auto ocio = testkit::RunOptions().with_env({"OCIO=" + path("lut.ocio")});
    // Into the graded space and out of it: either way the LUT is named, and no frame was rendered.
    for (const auto& [from, to] : {std::pair{"graded", "scene"}, std::pair{"scene", "graded"}}) {
        const RunResult r = run({"render", path("in.png"), path("o.png"), "--working-space", "scene", "--colorspace-in",
                                 from, "--colorspace-out", to},
                                ocio);
        EXPECT_EQ(r.code, 2) << r.err;
        EXPECT_NE(r.err.find("grade.spi1d"), std::string::npos) << from << ": " << r.err;
        EXPECT_TRUE(one_bounded_line(r.err)) << r.err;
        EXPECT_FALSE(fs::exists(dir / "o.png")) << from;
    }
    // With no space named, a config that cannot be read is still a fault.
    spit(dir / "empty.ocio", "");
    for (const std::string& config : {path("missing.ocio"), path("empty.ocio"), std::string("/dev/zero")}) {
        const RunResult r = run({"render", path("in.png"), path("o.png")},
                                testkit::RunOptions().with_env({"OCIO=" + config}).within(20));
        EXPECT_EQ(r.code, 2) << config << ": " << r.err;
        EXPECT_NE(r.err.find("$OCIO " + config), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "o.png")) << config;
    }
}

TEST_F(TrellinHostile, TextFromFilesAndArgumentsReachesTheTerminalEscapedAndBounded)
{
    write_file(dir / "in.png", 8, 6, 3, OIIO::TypeDesc::UINT16, picture(8, 6, 3, 7));
    // Settings whose words clear the screen, retitle the terminal and forge a line.
    const std::string forged =
        R"({"controls": {}, "picture": {"software": "\u001b[2J\u001b]0;owned\u0007\ntrellin 9\r", "input": "\u009b31m"}})";
    write_file(dir / "escapes.png", 8, 6, 3, OIIO::TypeDesc::UINT16, picture(8, 6, 3, 7),
               {{"trellin:project", forged}});
    const RunResult info = run({"info", path("escapes.png")});
    ASSERT_EQ(info.code, 0) << info.err;
    for (const char raw : {'\x1b', '\x07', '\r'}) EXPECT_EQ(info.out.find(raw), std::string::npos) << int(raw);
    EXPECT_EQ(info.out.find("\xc2\x9b"), std::string::npos);
    EXPECT_EQ(info.out.find("\ntrellin 9"), std::string::npos) << info.out;

    // Long or multi-line values give one bounded line.
    spit(dir / "long.json", R"({"controls": {")" + std::string(200000, 'x') + R"(": 1}})");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"render", path("in.png"), path("o.png"), "--colorspace-in", std::string(100000, 'q')}, "--colorspace-in"},
        {{"render", path("in.png"), path("o.png"), "--project", path("long.json")}, "long.json"},
        {{"render", path("in.png"), path("o.png"), "--colorspace-in", "a\nforged line\x1b[2J"}, "--colorspace-in"},
        {{"render", path("in.png"), path("o.png"), "--look", ""}, "--look"},
    };
    for (const auto& [args, named] : cases) {
        const RunResult r = run(args);
        EXPECT_EQ(r.code, 2) << named;
        EXPECT_TRUE(one_bounded_line(r.err)) << r.err.substr(0, 300);
        EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
        EXPECT_NE(r.err.find(named), std::string::npos) << r.err.substr(0, 300);
    }
    EXPECT_FALSE(fs::exists(dir / "o.png"));
}

TEST_F(TrellinHostile, SignalsThatEndASequenceLeaveNoTemporaryFile)
{
    constexpr int w = 320, h = 240, frames = 40;
    const auto frame = picture(w, h, 3, 8);
    write_file(dir / "in.0000.png", w, h, 3, OIIO::TypeDesc::UINT16, frame);
    for (int f = 1; f < frames; ++f) {
        char name[32];
        std::snprintf(name, sizeof name, "in.%04d.png", f);
        fs::copy_file(dir / "in.0000.png", dir / name);
    }
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        // SIGINT at its default disposition even where the test runs in the background (a shell starts those
        // with it ignored); env execs trellin.
        testkit::Process run_to_stop(
            {"env", "--default-signal=INT", trellin, "render", path("in.%04d.png"), path("out.%04d.png"), "--frames",
             "0-" + std::to_string(frames - 1), "--set", "ChromaticAb=50"},
            testkit::RunOptions(), path("log.txt"));
        EXPECT_TRUE(signal_while_writing(run_to_stop, dir, signal_number)) << signal_number;
        EXPECT_EQ(run_to_stop.wait(20), -signal_number);
        // No temporary file is left, and every output there is whole.
        for (const auto& e : fs::directory_iterator(dir)) {
            const std::string name = e.path().filename();
            EXPECT_NE(name[0], '.') << signal_number << ": " << name;
            if (name.rfind("out.", 0) == 0) {
                EXPECT_EQ(read_file(e.path()).u16.size(), frame.size()) << name;
            }
        }
    }
}

}  // namespace
