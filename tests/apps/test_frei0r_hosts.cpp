// trellin.so in the real frei0r hosts: Debian's ffmpeg and GStreamer run it
// on a small generated video, and every frame must equal, sample for sample,
// what `trellin render` makes of the same 8-bit frame with the same control
// values (its 16-bit output brought to 8 bits with to_8bit).
// test-labels: external
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <OpenImageIO/imageio.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "apps/common/sample_convert.h"
#include "node/control_table.h"

namespace {

namespace fs = std::filesystem;

const std::string frei0r_env = "env FREI0R_PATH='" TRELLIN_LIB_DIR "/frei0r-1' ";
const std::string trellin = TRELLIN_BIN_DIR "/trellin";

std::string slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string quoted(const std::string& text) { return "'" + text + "'"; }

using Frame = std::vector<std::uint8_t>;  // packed RGBA, rows top first

class Frei0rHosts : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() / ("trellin-frei0r-" + std::to_string(::getpid()) + "-" + info->name());
        fs::create_directories(dir);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // Runs a shell command in the test's folder; fails the test (with the
    // command's output) unless it exits with 0.
    void run(const std::string& command)
    {
        const fs::path log = dir / "log.txt";
        const std::string line = "cd " + quoted(dir.string()) + " && timeout 120 " + command + " >" +
                                 quoted(log.string()) + " 2>&1";
        const int status = std::system(line.c_str());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command << "\n" << slurp(log);
    }

    // `count` frames of ffmpeg's test pattern with alpha that varies across,
    // as raw RGBA in in.raw.
    std::vector<Frame> make_input(int w, int h, int count)
    {
        run("ffmpeg -v error -y -f lavfi -i " +
            quoted("testsrc=size=" + std::to_string(w) + "x" + std::to_string(h) +
                   ":rate=5,format=rgba,geq=r=r(X\\,Y):g=g(X\\,Y):b=b(X\\,Y):a=100+2*X") +
            " -frames:v " + std::to_string(count) + " -f rawvideo -pix_fmt rgba in.raw");
        return frames(dir / "in.raw", w, h);
    }

    std::vector<Frame> frames(const fs::path& raw, int w, int h)
    {
        const std::string bytes = slurp(raw);
        const std::size_t size = std::size_t(w) * h * 4;
        std::vector<Frame> out;
        for (std::size_t at = 0; at + size <= bytes.size(); at += size)
            out.emplace_back(bytes.begin() + long(at), bytes.begin() + long(at + size));
        EXPECT_EQ(bytes.size() % size, 0u) << raw;
        return out;
    }

    // What `trellin render` gives for the frame with these --set arguments.
    Frame trellin_render(const Frame& in, int w, int h, const std::vector<std::string>& sets)
    {
        const fs::path in_png = dir / "frame.png", out_png = dir / "rendered.png";
        OIIO::ImageSpec spec(w, h, 4, OIIO::TypeDesc::UINT8);
        spec.attribute("oiio:UnassociatedAlpha", 1);
        auto out = OIIO::ImageOutput::create(in_png.string());
        EXPECT_TRUE(out && out->open(in_png.string(), spec) && out->write_image(OIIO::TypeDesc::UINT8, in.data()));
        out->close();

        std::string command = quoted(trellin) + " render frame.png rendered.png";
        for (const std::string& s : sets) command += " --set " + quoted(s);
        run(command);

        OIIO::ImageSpec config;
        config.attribute("oiio:UnassociatedAlpha", 1);
        auto input = OIIO::ImageInput::open(out_png.string(), &config);
        EXPECT_TRUE(input) << OIIO::geterror();
        if (!input) return {};
        EXPECT_EQ(input->spec().nchannels, 4);
        std::vector<std::uint16_t> samples(std::size_t(w) * h * 4);
        EXPECT_TRUE(input->read_image(0, 0, 0, 4, OIIO::TypeDesc::UINT16, samples.data()));
        Frame result(samples.size());
        for (std::size_t i = 0; i < samples.size(); ++i) result[i] = trellin_app::to_8bit(samples[i]);
        return result;
    }

    fs::path dir;
};

// A numeric parameter: the frei0r value and the control value it stands for
// (0..1 across the control's range, whole-number controls rounded).
struct Numeric {
    std::string token, set;
};
Numeric numeric(const char* label, double unit)
{
    const vx::ControlRow& r = vx::control_table[vx::control_row(label)];
    double v = (1.0 - unit) * r.minimum + unit * r.maximum;
    if (r.step == 1.0) v = std::round(v);
    char u[40], value[40];
    std::snprintf(u, sizeof u, "%.17g", unit);
    std::snprintf(value, sizeof value, "%.17g", v);
    return {u, std::string(label) + "=" + value};
}

// Every parameter, in the panel's order, set away from its default.
TEST_F(Frei0rHosts, FfmpegFramesEqualTrellinRender)
{
    // Debian's ffmpeg 5.1 hands its frei0r filter frames whose rows are padded
    // to its line alignment (64 bytes here) unless width * 4 is a multiple of
    // it, so the width is a multiple of 16; other widths are covered through
    // GStreamer below and through the module's own tests.
    const int w = 64, h = 43;
    const std::vector<Frame> input = make_input(w, h, 3);
    ASSERT_EQ(input.size(), 3u);

    std::vector<std::string> tokens = {"Hexagon"}, sets = {"CellShape=Hexagon"};
    auto add = [&](const char* label, double unit) {
        const Numeric n = numeric(label, unit);
        tokens.push_back(n.token);
        sets.push_back(n.set);
    };
    auto add_text = [&](const std::string& token, const std::string& set) {
        tokens.push_back(token);
        sets.push_back(set);
    };
    add("Cell Count X", 0.05);
    add("Cell Count Y", 0.04);
    add("CellSize", 0.3);
    add("CellCurve", 0.2);
    add("Tweak_X", 0.45);
    add("Tweak_Y", 0.55);
    add("Black Height", 0.1);
    add("White Height", 0.3);
    add("Index", 0.1);
    add_text("Wrap", "Edge=Wrap");
    add("Smoothing", 0.2);
    add("ChromaticAb", 0.05);
    add("Cell Angle", 0.55);
    add("Angle Centre_X", 0.4);
    add("Angle Centre_Y", 0.6);
    add_text("y", "Light Active=on");
    add("Brightness", 0.6);
    add("Light_X", 0.45);
    add("Light_Y", 0.55);
    add("LightZ", 0.2);
    add("Gloss", 0.05);
    add("Back Bright", 0.8);
    add_text("n", "ShowMap=off");
    add_text("y", "Invert map=on");
    add_text("1/0.75/0.5", "Light=1,0.75,0.5,1");
    ASSERT_EQ(tokens.size(), 26u);
    std::string params;
    for (const std::string& t : tokens) params += (params.empty() ? "" : "|") + t;

    run(frei0r_env + "ffmpeg -v error -y -f rawvideo -pix_fmt rgba -s " + std::to_string(w) + "x" +
        std::to_string(h) + " -r 5 -i in.raw -vf " + quoted("frei0r=trellin:" + params) +
        " -f rawvideo -pix_fmt rgba out.raw");
    const std::vector<Frame> output = frames(dir / "out.raw", w, h);
    ASSERT_EQ(output.size(), input.size());
    for (std::size_t k = 0; k < input.size(); ++k) {
        const Frame expected = trellin_render(input[k], w, h, sets);
        EXPECT_NE(expected, input[k]);
        EXPECT_TRUE(output[k] == expected) << "frame " << k;
    }
}

TEST_F(Frei0rHosts, FfmpegRunsTwoInstancesWithTheirOwnSettingsInOneGraph)
{
    const int w = 64, h = 24;
    const std::vector<Frame> input = make_input(w, h, 2);
    run(frei0r_env + "ffmpeg -v error -y -f rawvideo -pix_fmt rgba -s " + std::to_string(w) + "x" +
        std::to_string(h) + " -r 5 -i in.raw -filter_complex " +
        quoted("[0]split[a][b];[a]frei0r=trellin:Square[x];[b]frei0r=trellin:Octagon|0.1|0.1[y];[x][y]vstack") +
        " -f rawvideo -pix_fmt rgba out.raw");
    // Each stacked frame is the first instance's frame followed by the second's.
    const std::vector<Frame> output = frames(dir / "out.raw", w, h);
    ASSERT_EQ(output.size(), 2 * input.size());
    const std::vector<std::string> octagon = {"CellShape=Octagon", numeric("Cell Count X", 0.1).set,
                                              numeric("Cell Count Y", 0.1).set};
    for (std::size_t k = 0; k < input.size(); ++k) {
        EXPECT_TRUE(output[2 * k] == trellin_render(input[k], w, h, {"CellShape=Square"})) << "frame " << k;
        EXPECT_TRUE(output[2 * k + 1] == trellin_render(input[k], w, h, octagon)) << "frame " << k;
    }
}

// GStreamer copies each parameter's reported default back into every new
// instance, and hands over rows packed at any width.
TEST_F(Frei0rHosts, GStreamerPipelineAtAnOddWidth)
{
    const int w = 67, h = 43;
    const std::vector<Frame> input = make_input(w, h, 2);
    run(frei0r_env + "gst-launch-1.0 -q filesrc location=in.raw ! rawvideoparse width=" + std::to_string(w) +
        " height=" + std::to_string(h) +
        " format=rgba framerate=5/1 ! frei0r-filter-trellin cellshape=Pentagon index=0.2 edge=Black"
        " light-active=true light-r=0.5 ! filesink location=out.raw");
    const std::vector<Frame> output = frames(dir / "out.raw", w, h);
    ASSERT_EQ(output.size(), input.size());
    const std::vector<std::string> sets = {"CellShape=Pentagon", numeric("Index", 0.2).set, "Edge=Black",
                                           "Light Active=on", "Light=0.5,1,1,1"};
    for (std::size_t k = 0; k < input.size(); ++k)
        EXPECT_TRUE(output[k] == trellin_render(input[k], w, h, sets)) << "frame " << k;
}

}  // namespace
