// What the end-to-end tests of the trellin program share: running the built
// program in a test folder of its own (standard input from a file, standard
// error on a terminal when asked), picture files in and out, and reference
// renders by a node of the same effect in this process, so that the checks
// hold whatever the effect does to a picture.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "node/trellin_node.h"
#include "support/host_image.h"

extern char** environ;

namespace trellin_test {

namespace fs = std::filesystem;

inline const std::string trellin = std::string(TRELLIN_BIN_DIR) + "/trellin";

struct RunResult {
    int code = -1;
    std::string out, err;
};

inline std::string slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void spit(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
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
    FileImage image;
    if (!in) return image;
    image.spec = in->spec();
    const std::size_t n = image.spec.image_pixels() * std::size_t(image.spec.nchannels);
    image.u16.resize(n);
    image.f32.resize(n);
    EXPECT_TRUE(in->read_image(0, 0, 0, image.spec.nchannels, OIIO::TypeDesc::UINT16, image.u16.data()));
    EXPECT_TRUE(in->read_image(0, 0, 0, image.spec.nchannels, OIIO::TypeDesc::FLOAT, image.f32.data()));
    return image;
}

// Writes samples of type T (stored as `type`), with extra attributes.
template <class T>
void write_file(const fs::path& path, int w, int h, int channels, OIIO::TypeDesc type, const std::vector<T>& data,
                const std::vector<std::pair<std::string, std::string>>& attributes = {})
{
    auto out = OIIO::ImageOutput::create(path.string());
    ASSERT_TRUE(out);
    OIIO::ImageSpec spec(w, h, channels, type);
    spec.attribute("oiio:UnassociatedAlpha", 1);
    for (const auto& [name, value] : attributes) spec.attribute(name, value);
    ASSERT_TRUE(out->open(path.string(), spec)) << out->geterror();
    ASSERT_TRUE(out->write_image(OIIO::TypeDescFromC<T>::value(), data.data())) << out->geterror();
    ASSERT_TRUE(out->close());
}

// A smooth pattern over the whole range of T (max: the largest value).
template <class T> std::vector<T> pattern(int w, int h, int channels, unsigned seed, unsigned max)
{
    testkit::HostImage image(w, h, channels);
    testkit::fill_pattern(image, seed);
    std::vector<T> data(image.samples.size());
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<T>(image.samples[i] * max / 65535u);
    return data;
}

// A node of the effect in this process, driven as the program drives its own.
class ReferenceNode {
public:
    ReferenceNode() : node_(vx::TrellinNode::make()) {}
    ~ReferenceNode() { node_->Destroy(); }
    ReferenceNode(const ReferenceNode&) = delete;
    ReferenceNode& operator=(const ReferenceNode&) = delete;

    CWidget& control(const std::string& label)
    {
        CWidget* c = node_->find_control(label);
        EXPECT_NE(c, nullptr) << label;
        if (c == nullptr) std::abort();
        return *c;
    }
    void set(const std::string& label, double v0, double v1 = 0.0, double v2 = 0.0, double v3 = 0.0)
    {
        const double v[4] = {v0, v1, v2, v3};
        control(label).set_values(v);
    }
    void key(const std::string& label, double time, double v0, double v1 = 0.0, double v2 = 0.0, double v3 = 0.0)
    {
        control(label).set_key({time, {v0, v1, v2, v3}});
    }

    // The frame at `time` of a `w` x `h` picture of `samples` per pixel,
    // rendered at out_w x out_h (0: the input's size) with the given aspect.
    std::vector<std::uint16_t> render(const std::vector<std::uint16_t>& input, int w, int h, int samples,
                                      double time = 0.0, int out_w = 0, int out_h = 0, double aspect = 1.0)
    {
        if (out_w == 0) out_w = w;
        if (out_h == 0) out_h = h;
        std::vector<std::uint16_t> in_samples = input;
        std::vector<std::uint16_t> out_samples =
            out_w == w && out_h == h ? input : std::vector<std::uint16_t>(std::size_t(out_w) * out_h * samples, 0);
        _image_str in{w, h, samples, 0, in_samples.data()};
        _image_str out{out_w, out_h, samples, 0, out_samples.data()};
        _image_str* inputs[2] = {&in, nullptr};
        node_->set_output_size(out_w, out_h);
        node_->set_input_length(1);
        node_->set_aspect(aspect);
        EXPECT_EQ(node_->process_image(time, inputs, &out), 1);
        return out_samples;
    }

    FXNode& node() { return *node_; }

private:
    FXNode* node_;
};

// A test folder of its own, removed afterwards, and the program run in it.
class TrellinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() /
              ("trellin-" + std::string(info->test_suite_name()) + "-" + std::to_string(::getpid()) + "-" + info->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    struct RunOptions {
        std::vector<std::string> env;  // added to the environment
        fs::path stdin_file;           // standard input (default: empty)
        bool stderr_terminal = false;  // standard error on a pseudo-terminal
    };
    static RunOptions with_env(std::vector<std::string> env)
    {
        RunOptions o;
        o.env = std::move(env);
        return o;
    }
    static RunOptions with_stdin(fs::path file)
    {
        RunOptions o;
        o.stdin_file = std::move(file);
        return o;
    }
    static RunOptions on_terminal()
    {
        RunOptions o;
        o.stderr_terminal = true;
        return o;
    }

    // Runs trellin with `args`, without TRELLIN_MODULE or TRELLIN_THREADS from
    // the caller's environment.
    RunResult run(const std::vector<std::string>& args, const RunOptions& options)
    {
        std::vector<std::string> envs;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            if (entry.rfind("TRELLIN_MODULE=", 0) != 0 && entry.rfind("TRELLIN_THREADS=", 0) != 0)
                envs.push_back(entry);
        }
        envs.insert(envs.end(), options.env.begin(), options.env.end());
        std::vector<std::string> argv_s{trellin};
        argv_s.insert(argv_s.end(), args.begin(), args.end());
        std::vector<char*> argv, envp;
        for (auto& a : argv_s) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : envs) envp.push_back(e.data());
        envp.push_back(nullptr);

        const fs::path out_file = dir / ".stdout", err_file = dir / ".stderr";
        const std::string in_file = options.stdin_file.empty() ? "/dev/null" : options.stdin_file.string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, in_file.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int terminal = -1;
        if (options.stderr_terminal) {
            terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
            EXPECT_GE(terminal, 0);
            ::grantpt(terminal);
            ::unlockpt(terminal);
            posix_spawn_file_actions_addopen(&actions, 2, ::ptsname(terminal), O_RDWR | O_NOCTTY, 0);
        } else {
            posix_spawn_file_actions_addopen(&actions, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        }
        pid_t pid = 0;
        RunResult r;
        const int spawned = posix_spawn(&pid, trellin.c_str(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(spawned, 0) << trellin;
        if (spawned == 0) {
            if (terminal >= 0) r.err = drain_terminal(terminal, pid);
            int status = 0;
            waitpid(pid, &status, 0);
            r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        }
        if (terminal >= 0) ::close(terminal);
        r.out = slurp(out_file);
        if (!options.stderr_terminal) r.err = slurp(err_file);
        fs::remove(out_file);
        fs::remove(err_file);
        return r;
    }
    RunResult run(const std::vector<std::string>& args) { return run(args, RunOptions{}); }

    // Files in the test folder other than `keep`.
    std::vector<std::string> stray_files(const std::vector<std::string>& keep)
    {
        std::vector<std::string> stray;
        for (const auto& e : fs::directory_iterator(dir)) {
            const std::string name = e.path().filename().string();
            if (std::find(keep.begin(), keep.end(), name) == keep.end()) stray.push_back(name);
        }
        std::sort(stray.begin(), stray.end());
        return stray;
    }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    fs::path dir;

private:
    // Everything the child writes to the terminal until it exits.
    static std::string drain_terminal(int terminal, pid_t pid)
    {
        std::string text;
        char buffer[4096];
        for (;;) {
            pollfd p{terminal, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                const ssize_t n = ::read(terminal, buffer, sizeof buffer);
                if (n > 0) {
                    text.append(buffer, std::size_t(n));
                    continue;
                }
            }
            siginfo_t info{};
            if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                info.si_pid == pid) {
                // Gone: take what is left, then stop.
                pollfd q{terminal, POLLIN, 0};
                while (::poll(&q, 1, 0) > 0) {
                    const ssize_t n = ::read(terminal, buffer, sizeof buffer);
                    if (n <= 0) break;
                    text.append(buffer, std::size_t(n));
                }
                return text;
            }
        }
    }
};

}  // namespace trellin_test
