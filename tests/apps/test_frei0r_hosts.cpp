// trellin.so in the real frei0r hosts: Debian's ffmpeg and GStreamer run it
// on a small generated video, and every frame must equal, sample for sample,
// what `trellin render` makes of the same 8-bit frame with the same control
// values (its 16-bit output brought to 8 bits with to_8bit).
// test-labels: external
// test-links: trellin_frei0r_host
// test-builds: trellin_frei0r
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "apps/common/core/sample_convert.h"
#include "node/control_table.h"
#include "trellin_cli_support.h"

namespace {

using namespace trellin_test;

using Frame = std::vector<std::uint8_t>;  // packed RGBA, rows top first

class Frei0rHosts : public TrellinTest {
protected:
    // Runs a shell command in the test's folder, the module on FREI0R_PATH;
    // fails the test unless it exits with 0.
    void sh(const std::string& command)
    {
        const RunResult r = testkit::run_program(
            {"sh", "-c", command},
            testkit::RunOptions().with_env({"FREI0R_PATH=" TRELLIN_LIB_DIR "/frei0r-1"}).in(dir.string()).within(120));
        ASSERT_EQ(r.code, 0) << command << "\n" << r.out << r.err;
    }

    // `count` frames of ffmpeg's test pattern with alpha that varies across, as raw RGBA in in.raw.
    std::vector<Frame> make_input(int w, int h, int count)
    {
        sh("ffmpeg -v error -y -f lavfi -i 'testsrc=size=" + std::to_string(w) + "x" + std::to_string(h) +
           ":rate=5,format=rgba,geq=r=r(X\\,Y):g=g(X\\,Y):b=b(X\\,Y):a=100+2*X' -frames:v " + std::to_string(count) +
           " -f rawvideo -pix_fmt rgba in.raw");
        return frames("in.raw", w, h);
    }

    std::vector<Frame> frames(const std::string& raw, int w, int h)
    {
        const std::string bytes = slurp(dir / raw);
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
        write_file(dir / "frame.png", w, h, 4, OIIO::TypeDesc::UINT8, in);
        std::vector<std::string> args{"render", path("frame.png"), path("rendered.png")};
        for (const std::string& s : sets) args.insert(args.end(), {"--set", s});
        const RunResult r = run(args);
        EXPECT_EQ(r.code, 0) << r.err;
        const std::vector<std::uint16_t> samples = read_file(dir / "rendered.png").u16;
        Frame result(samples.size());
        for (std::size_t i = 0; i < samples.size(); ++i) result[i] = trellin_app::to_8bit(samples[i]);
        return result;
    }

    void ffmpeg(int w, int h, const std::string& filter)
    {
        sh("ffmpeg -v error -y -f rawvideo -pix_fmt rgba -s " + std::to_string(w) + "x" + std::to_string(h) +
           " -r 5 -i in.raw " + filter + " -f rawvideo -pix_fmt rgba out.raw");
    }
};

// A numeric parameter: the frei0r value and the setting it stands for (0..1
// across the control's range, whole-number controls rounded).
std::string numeric(const char* label, double unit)
{
    const vx::ControlRow& r = vx::control_table[vx::control_row(label)];
    double v = (1.0 - unit) * r.minimum + unit * r.maximum;
    if (r.step == 1.0) v = std::round(v);
    char value[40];
    std::snprintf(value, sizeof value, "%.17g", v);
    return std::string(label) + "=" + value;
}

// Every parameter, in the panel's order, set away from its default.
TEST_F(Frei0rHosts, FfmpegFramesEqualTrellinRender)
{
    // Debian's ffmpeg 5.1 hands its frei0r filter frames whose rows are padded
    // to its line alignment (64 bytes here) unless width * 4 is a multiple of
    // it, so the width is a multiple of 16; other widths go through GStreamer.
    const int w = 64, h = 43;
    const std::vector<Frame> input = make_input(w, h, 3);
    ASSERT_EQ(input.size(), 3u);
    // {frei0r value, label}: a number for that point of the control's range;
    // {frei0r value, "LABEL=VALUE"}: the setting it stands for.
    const std::pair<const char*, const char*> table[] = {{"Hexagon", "CellShape=Hexagon"},
                                                         {"0.05", "Cell Count X"},
                                                         {"0.04", "Cell Count Y"},
                                                         {"0.3", "CellSize"},
                                                         {"0.2", "CellCurve"},
                                                         {"0.45", "Tweak_X"},
                                                         {"0.55", "Tweak_Y"},
                                                         {"0.1", "Black Height"},
                                                         {"0.3", "White Height"},
                                                         {"0.1", "Index"},
                                                         {"Wrap", "Edge=Wrap"},
                                                         {"0.2", "Smoothing"},
                                                         {"0.05", "ChromaticAb"},
                                                         {"0.55", "Cell Angle"},
                                                         {"0.4", "Angle Centre_X"},
                                                         {"0.6", "Angle Centre_Y"},
                                                         {"y", "Light Active=on"},
                                                         {"0.6", "Brightness"},
                                                         {"0.45", "Light_X"},
                                                         {"0.55", "Light_Y"},
                                                         {"0.2", "LightZ"},
                                                         {"0.05", "Gloss"},
                                                         {"0.8", "Back Bright"},
                                                         {"n", "ShowMap=off"},
                                                         {"y", "Invert map=on"},
                                                         {"1/0.75/0.5", "Light=1,0.75,0.5,1"}};
    std::string params;
    std::vector<std::string> sets;
    for (const auto& [token, set] : table) {
        params.append(token).push_back('|');
        sets.push_back(std::string(set).find('=') != std::string::npos ? set : numeric(set, std::stod(token)));
    }
    params.back() = '\'';
    ffmpeg(w, h, "-vf 'frei0r=trellin:" + params);
    const std::vector<Frame> output = frames("out.raw", w, h);
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
    ffmpeg(w, h,
           "-filter_complex "
           "'[0]split[a][b];[a]frei0r=trellin:Square[x];[b]frei0r=trellin:Octagon|0.1|0.1[y];[x][y]vstack'");
    // Each stacked frame is the first instance's frame followed by the second's.
    const std::vector<Frame> output = frames("out.raw", w, h);
    ASSERT_EQ(output.size(), 2 * input.size());
    const std::vector<std::string> octagon = {"CellShape=Octagon", numeric("Cell Count X", 0.1),
                                              numeric("Cell Count Y", 0.1)};
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
    sh("gst-launch-1.0 -q filesrc location=in.raw ! rawvideoparse width=" + std::to_string(w) +
       " height=" + std::to_string(h) +
       " format=rgba framerate=5/1 ! frei0r-filter-trellin cellshape=Pentagon index=0.2 edge=Black"
       " light-active=true light-r=0.5 ! filesink location=out.raw");
    const std::vector<Frame> output = frames("out.raw", w, h);
    ASSERT_EQ(output.size(), input.size());
    const std::vector<std::string> sets = {"CellShape=Pentagon", numeric("Index", 0.2), "Edge=Black", "Light Active=on",
                                           "Light=0.5,1,1,1"};
    for (std::size_t k = 0; k < input.size(); ++k)
        EXPECT_TRUE(output[k] == trellin_render(input[k], w, h, sets)) << "frame " << k;
}

}  // namespace
