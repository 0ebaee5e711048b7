// Shared by the trellin program's tests: a test folder, picture files, in-process reference renders.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "node/trellin_node.h"
#include "support/host_image.h"
#include "support/run_server.h"
#include "support/scratch_dir.h"
#include "support/subprocess.h"

namespace trellin_test {

namespace fs = std::filesystem;

inline const std::string trellin = std::string(TRELLIN_BIN_DIR) + "/trellin";

// trellin's runs started by forking one process that has loaded trellin's
// libraries once (run_server.h); farm writes the program's own path into its
// job scripts, so its runs are executed.
inline testkit::RunServer& trellin_server()
{
    static testkit::RunServer server(std::string(TRELLIN_BIN_DIR) + "/trellin-test-server", trellin, {"farm"});
    return server;
}

using RunResult = testkit::ProgramResult;

inline std::string slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void spit(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// A picture file's samples as stored (alpha not multiplied in), as uint16 and float.
struct FileImage {
    OIIO::ImageSpec spec;
    std::vector<std::uint16_t> u16;
    std::vector<float> f32;
};

inline FileImage read_file(const fs::path& path)
{
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path.string(), &config);
    EXPECT_TRUE(in) << path << ": " << OIIO::geterror();
    if (!in) return {};
    FileImage image{in->spec(), {}, {}};
    image.u16.resize(image.spec.image_pixels() * std::size_t(image.spec.nchannels));
    image.f32.resize(image.u16.size());
    EXPECT_TRUE(in->read_image(0, 0, 0, image.spec.nchannels, OIIO::TypeDesc::UINT16, image.u16.data()));
    EXPECT_TRUE(in->read_image(0, 0, 0, image.spec.nchannels, OIIO::TypeDesc::FLOAT, image.f32.data()));
    return image;
}

template <class T>
void write_file(const fs::path& path, int w, int h, int channels, OIIO::TypeDesc type, const std::vector<T>& data,
                const std::vector<std::pair<std::string, std::string>>& attributes = {})
{
    auto out = OIIO::ImageOutput::create(path.string());
    ASSERT_TRUE(out);
    OIIO::ImageSpec spec(w, h, channels, type);
    spec.attribute("oiio:UnassociatedAlpha", 1);
    for (const auto& [name, value] : attributes)  // the pixel aspect is a float attribute
        name == "PixelAspectRatio" ? spec.attribute(name, std::stof(value)) : spec.attribute(name, value);
    ASSERT_TRUE(out->open(path.string(), spec) && out->write_image(OIIO::TypeDescFromC<T>::value(), data.data()) &&
                out->close())
        << out->geterror();
}

template <class T>
std::vector<T> pattern(int w, int h, int channels, unsigned seed, unsigned max)
{
    testkit::HostImage image(w, h, channels);
    testkit::fill_pattern(image, seed);
    std::vector<T> data(image.samples.size());
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<T>(image.samples[i] * max / 65535u);
    return data;
}

class ReferenceNode {
public:
    ReferenceNode() : node_(vx::TrellinNode::make()) {}
    ~ReferenceNode() { node_->Destroy(); }

    void set(const std::string& label, double v0, double v1 = 0.0, double v2 = 0.0, double v3 = 0.0)
    {
        control(label).set_values(std::array{v0, v1, v2, v3}.data());
    }
    void key(const std::string& label, double time, double v0, double v1 = 0.0, double v2 = 0.0, double v3 = 0.0)
    {
        control(label).set_key({time, {v0, v1, v2, v3}});
    }

    // The frame at `time` of a w x h picture, rendered at out_w x out_h (0: the input's size).
    std::vector<std::uint16_t> render(std::vector<std::uint16_t> input, int w, int h, int samples, double time = 0.0,
                                      int out_w = 0, int out_h = 0, double aspect = 1.0)
    {
        out_w = out_w ? out_w : w;
        out_h = out_h ? out_h : h;
        std::vector<std::uint16_t> out_samples =
            out_w == w && out_h == h ? input : std::vector<std::uint16_t>(std::size_t(out_w) * out_h * samples, 0);
        _image_str in{w, h, samples, 0, input.data()}, out{out_w, out_h, samples, 0, out_samples.data()};
        _image_str* inputs[2] = {&in, nullptr};
        node_->set_output_size(out_w, out_h);
        node_->set_input_length(1);
        node_->set_aspect(aspect);
        EXPECT_EQ(node_->process_image(time, inputs, &out), 1);
        return out_samples;
    }

private:
    CWidget& control(const std::string& label) { return *node_->find_control(label); }
    FXNode* node_;
};

class TrellinTest : public testkit::ScratchDirTest {
protected:
    // Runs trellin with `args`, without TRELLIN_MODULE or TRELLIN_THREADS from the caller's environment.
    RunResult run(std::vector<std::string> args, testkit::RunOptions options = {})
    {
        args.insert(args.begin(), trellin);
        options.env.insert(options.env.begin(), {"TRELLIN_MODULE", "TRELLIN_THREADS"});
        if (options.server == nullptr) options.server = &trellin_server();
        const RunResult r = testkit::run_program(args, options);
        EXPECT_FALSE(r.timed_out) << args[1];
        return r;
    }

    std::vector<std::string> stray_files(const std::vector<std::string>& keep)
    {
        std::vector<std::string> stray;
        for (const auto& e : fs::directory_iterator(dir))
            if (std::string name = e.path().filename(); std::ranges::find(keep, name) == keep.end())
                stray.push_back(name);
        std::sort(stray.begin(), stray.end());
        return stray;
    }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    // Runs ffmpeg (or ffprobe with `program`) in the test folder; its standard output.
    std::string ffmpeg(const std::string& args, const std::string& program = "ffmpeg -y -nostdin")
    {
        const RunResult r = testkit::run_program(
            {"bash", "-c", "cd '" + dir.string() + "' && " + program + " -hide_banner -loglevel error " + args});
        EXPECT_EQ(r.code, 0) << args << ": " << r.err;
        return r.out;
    }
    std::string probe(const std::string& args) { return ffmpeg(args, "ffprobe"); }

    // Runs `trellin render` with each case's arguments and expects it refused
    // (exit 2) with the case's words in its message.
    void expect_renders_refused(std::span<const std::pair<std::vector<std::string>, std::string>> cases)
    {
        for (const auto& [args, named] : cases) {
            std::vector<std::string> full = {"render"};
            full.insert(full.end(), args.begin(), args.end());
            const RunResult r = run(full);
            EXPECT_EQ(r.code, 2) << named << ": " << r.err;
            EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
        }
    }
};

}  // namespace trellin_test
