// The trellin program end to end: pictures come back as an in-process node renders them,
// and every bad input is refused with exit code 2 before anything is written.
#include <gtest/gtest.h>

#include "support/trellin_cli_support.h"

namespace {

using namespace trellin_test;

std::vector<std::uint16_t> reference(const std::vector<std::uint16_t>& input, int w, int h, int samples,
                                     const std::vector<std::pair<std::string, double>>& settings = {})
{
    ReferenceNode node;
    for (const auto& [label, value] : settings) node.set(label, value);
    return node.render(input, w, h, samples);
}

using TrellinCli = TrellinTest;
constexpr int w = 64, h = 48;

TEST_F(TrellinCli, SixteenBitRgbaPngWithPartialAlphaRoundTrips)
{
    std::vector<std::uint16_t> in = pattern<std::uint16_t>(w, h, 4, 3, 65535);
    for (int i = 0; i < w * h; ++i) in[std::size_t(i) * 4 + 3] = std::uint16_t((i % 7) * 65535 / 6);
    write_file(dir / "in.png", w, h, 4, OIIO::TypeDesc::UINT16, in);

    ASSERT_EQ(run({"render", path("in.png"), path("out.png")}).code, 0);
    const FileImage out = read_file(dir / "out.png");
    EXPECT_EQ(out.spec.format, OIIO::TypeDesc::UINT16);
    EXPECT_EQ(out.u16, reference(in, w, h, 4));
    // The input's alpha is kept, through the node's 15-bit form.
    for (std::size_t i = 3; i < in.size(); i += 4) ASSERT_EQ(out.u16[i], ((in[i] >> 1) << 1) | (in[i] >> 15)) << i;
    EXPECT_EQ(stray_files({"in.png", "out.png"}), std::vector<std::string>{});
}

// Any thread count gives the same picture.
TEST_F(TrellinCli, EightBitRgbWithSettingsGivesSixteenBitRgb)
{
    const std::vector<std::uint8_t> in = pattern<std::uint8_t>(w, h, 3, 5, 255);
    write_file(dir / "in.png", w, h, 3, OIIO::TypeDesc::UINT8, in);
    std::vector<std::uint16_t> wide(in.begin(), in.end());
    for (auto& v : wide) v = std::uint16_t(v * 257);
    for (const char* threads : {"1", "3"}) {
        const RunResult r = run({"render", path("in.png"), path("out.png"), "--set", "cellshape=Hexagon", "--set",
                                 "Cell Count X = 4", "-s", "Edge=2", "--set", "Index=1.8", "--threads", threads});
        ASSERT_EQ(r.code, 0) << r.err;
        const FileImage out = read_file(dir / "out.png");
        EXPECT_EQ(out.spec.format, OIIO::TypeDesc::UINT16);
        EXPECT_EQ(out.u16,
                  reference(wide, w, h, 3, {{"CellShape", 3}, {"Cell Count X", 4}, {"Edge", 2}, {"Index", 1.8}}));
    }
}

TEST_F(TrellinCli, GreyWithAlphaBecomesRgba)
{
    const std::vector<std::uint8_t> grey_alpha = pattern<std::uint8_t>(w, h, 2, 9, 255);
    write_file(dir / "ga.png", w, h, 2, OIIO::TypeDesc::UINT8, grey_alpha);
    ASSERT_EQ(run({"render", path("ga.png"), path("out.png")}).code, 0);
    std::vector<std::uint16_t> rgba;
    for (std::size_t i = 0; i < grey_alpha.size(); i += 2) {
        const auto g = std::uint16_t(grey_alpha[i] * 257), a = std::uint16_t(grey_alpha[i + 1] * 257);
        rgba.insert(rgba.end(), {g, g, g, a});
    }
    EXPECT_EQ(read_file(dir / "out.png").u16, reference(rgba, w, h, 4));
}

TEST_F(TrellinCli, BadInputIsRefusedBeforeAnythingIsWrittenAndAnOldOutputSurvives)
{
    write_file(dir / "in.png", w, h, 4, OIIO::TypeDesc::UINT16, pattern<std::uint16_t>(w, h, 4, 17, 65535));
    spit(dir / "cut.png", slurp(dir / "in.png").substr(0, 2000));
    const std::string in = path("in.png"), out = path("out.png");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"render", path("missing.png"), out}, "missing.png"},
        {{"render", path("cut.png"), out}, "cut.png"},
        {{"render", in, out, "--set", "Sparkle=3"}, "Sparkle"},
        {{"render", in, out, "--set", "Index=nan"}, "Index=nan"},
        {{"render", in, out, "--set", "Index=11"}, "1 to 10"},
        {{"render", in, out, "--set", "Edge=Mirror"}, "Mirror"},
        {{"render", in, out, "--set", "Index"}, "Index"},
        {{"render", in, path("out.xyz")}, "out.xyz"},
        {{"render", in, path("no/out.png")}, "out.png"},
        {{"render", in, out, "--threads", "0"}, "threads"},
        {{}, "subcommand"},
    };
    for (const auto& [args, named] : cases) {
        const RunResult r = run(args);
        EXPECT_EQ(r.code, 2) << named;
        EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
        EXPECT_EQ(stray_files({"in.png", "cut.png"}), std::vector<std::string>{}) << named;
    }
    spit(dir / "out.png", "precious");
    EXPECT_EQ(run({"render", in, out, "--set", "Index=0.5"}).code, 2);
    EXPECT_EQ(run({"render", path("cut.png"), out}).code, 2);
    EXPECT_EQ(slurp(dir / "out.png"), "precious");
    EXPECT_EQ(stray_files({"in.png", "cut.png", "out.png"}), std::vector<std::string>{});
}

// The libraries that read pictures and video or draw (OpenImageIO, FFmpeg's,
// OpenGL's) and trellin's own picture library that links them.
constexpr const char* picture_libraries[] = {"file=libOpenImageIO", "file=libavformat",   "file=libavcodec",
                                             "file=libswscale",     "file=libEGL.so",     "file=libGL.so",
                                             "file=libOpenGL.so",   "trellin-pictures.so"};

// trellin run with the dynamic loader naming every file it loads (on standard error).
RunResult run_listing_loads(const std::vector<std::string>& args)
{
    std::vector<std::string> argv{trellin};
    argv.insert(argv.end(), args.begin(), args.end());
    return testkit::run_program(argv, testkit::RunOptions().with_env({"TRELLIN_MODULE", "LD_DEBUG=files"}));
}

// --help, --version, looks and info start without a picture library, and still say what they are for.
TEST_F(TrellinCli, CommandsThatReadNoPicturesLoadNoPictureLibrary)
{
    const std::pair<std::vector<std::string>, std::vector<std::string>> commands[] = {
        {{"--help"}, {"Examples"}},
        {{"render", "--help"}, {"--hdr log carries"}},
        {{"pipe", "--help"}, {}},
        {{"--version"}, {"OpenImageIO ", "libavformat ", "libavcodec ", "libswscale "}},
        {{"looks"}, {}},
        {{"info"},
         {"5f3a9c1e-2b7d-4e60-9a41-c83d7e0b6f15", "Kelvoids.Trellin", "Version 5.0", "controls (26, in creation order",
          "2 rows of kind label are the panel's group headings", "27  Surface"}},
    };
    for (const auto& [args, says] : commands) {
        const RunResult r = run_listing_loads(args);
        EXPECT_EQ(r.code, 0) << args[0];
        for (const std::string& text : says) EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
        EXPECT_TRUE(args[0] != "--version" || r.out.rfind("trellin ", 0) == 0) << r.out;
        for (const char* library : picture_libraries) {
            // The effect module draws its handles through OpenGL's dispatch library and links it.
            if (args[0] == "info" && std::string(library) == "file=libOpenGL.so") continue;
            EXPECT_EQ(r.err.find(library), std::string::npos) << args[0] << " loaded " << library;
        }
    }
    // A render loads them: the listing does show what is loaded.
    write_file(dir / "in.png", w, h, 4, OIIO::TypeDesc::UINT16, pattern<std::uint16_t>(w, h, 4, 3, 65535));
    const RunResult render = run_listing_loads({"render", path("in.png"), path("out.png"), "-q"});
    EXPECT_EQ(render.code, 0);
    for (const char* library : {"file=libOpenImageIO", "trellin-pictures.so"})
        EXPECT_NE(render.err.find(library), std::string::npos) << library;
}

TEST_F(TrellinCli, AMissingOrBrokenModuleOrPictureLibraryIsOneLineAndExitCodeTwo)
{
    const auto one_line_naming = [](const RunResult& r, const std::string& file) {
        EXPECT_EQ(r.code, 2) << r.err;
        EXPECT_EQ(r.err.rfind("trellin: error: ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(file), std::string::npos) << r.err;
    };
    spit(dir / "fake.node", "not a module");
    for (const char* module : {"Nowhere.node", "fake.node"})
        one_line_naming(run({"info"}, testkit::RunOptions().with_env({"TRELLIN_MODULE=" + path(module)})), module);

    // A tree with the program and the host library but no picture library.
    fs::create_directories(dir / "bin");
    fs::copy_file(trellin, dir / "bin" / "trellin");
    fs::create_directory_symlink(TRELLIN_LIB_DIR, dir / "lib");
    const std::string program = (dir / "bin" / "trellin").string();
    const testkit::RunOptions options = testkit::RunOptions().with_env({"TRELLIN_MODULE"});
    EXPECT_EQ(testkit::run_program({program, "--help"}, options).code, 0);
    one_line_naming(testkit::run_program({program, "render", path("in.png"), path("out.png")}, options),
                    "trellin-pictures.so");
    spit(dir / "bin" / "trellin-pictures.so", "not a library");
    one_line_naming(testkit::run_program({program, "info", path("in.png")}, options),
                    (dir / "bin" / "trellin-pictures.so").string());
    EXPECT_FALSE(fs::exists(dir / "out.png"));
}

}  // namespace
