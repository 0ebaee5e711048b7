// test-labels: external
// trellin farm on a real, one-node Slurm cluster: a 12-frame shot in chunks of
// 5 (three array tasks) renders exactly what a local `trellin render` of the
// same frames gives, sample for sample. The job is held in the queue while
// the user's project file is changed (the job must render the settings
// frozen at submission) and one frame is put in place beforehand (the tasks
// must leave an existing frame alone).
#include <gtest/gtest.h>
#include <unistd.h>

#include <OpenImageIO/imageio.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "support/host_image.h"
#include "support/slurm_cluster.h"
#include "support/subprocess.h"

namespace {

namespace fs = std::filesystem;

const std::string trellin = std::string(TRELLIN_BIN_DIR) + "/trellin";
constexpr int width = 32, height = 24, frames = 12;

std::string frame_name(const fs::path& dir, const std::string& prefix, int frame)
{
    char name[64];
    std::snprintf(name, sizeof name, "%s.%04d.png", prefix.c_str(), frame);
    return (dir / name).string();
}

void write_png(const std::string& path, const std::vector<std::uint16_t>& samples)
{
    auto out = OIIO::ImageOutput::create(path);
    ASSERT_TRUE(out);
    OIIO::ImageSpec spec(width, height, 4, OIIO::TypeDesc::UINT16);
    spec.attribute("oiio:UnassociatedAlpha", 1);
    ASSERT_TRUE(out->open(path, spec)) << out->geterror();
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::UINT16, samples.data())) << out->geterror();
    ASSERT_TRUE(out->close());
}

std::vector<std::uint16_t> read_png(const std::string& path)
{
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path, &config);
    EXPECT_TRUE(in) << path << ": " << OIIO::geterror();
    if (!in) return {};
    std::vector<std::uint16_t> samples(in->spec().image_pixels() * std::size_t(in->spec().nchannels));
    EXPECT_TRUE(in->read_image(0, 0, 0, in->spec().nchannels, OIIO::TypeDesc::UINT16, samples.data()));
    return samples;
}

std::string slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_text(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }

// A project with keys on two controls and the light on; `angle_end` is the
// last key of "Cell Angle".
std::string project_text(int angle_end)
{
    return R"({ "node": "Kelvoids.Trellin", "controls": {
      "Light Active": true,
      "Cell Angle": { "value": 0, "keys": [[0, 0], [11, )" +
           std::to_string(angle_end) + R"(]] },
      "Light_X": { "value": 0.5, "keys": [[0, 0.1], [11, 0.9]] } } })";
}

class Farm : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string missing = testkit::SlurmCluster::missing_programs();
        if (!missing.empty()) GTEST_SKIP() << "Slurm is not installed (tools/install-deps.sh): " << missing;
        dir = fs::temp_directory_path() / ("trellin-farm-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "in");
        fs::create_directories(dir / "out");
        fs::create_directories(dir / "ref");
        cluster = std::make_unique<testkit::SlurmCluster>();
    }
    void TearDown() override
    {
        cluster.reset();
        if (!dir.empty()) fs::remove_all(dir);
    }

    testkit::ProgramResult run(std::vector<std::string> args, double timeout_s = 60)
    {
        args.insert(args.begin(), trellin);
        return testkit::run_program(args, timeout_s, cluster->env());
    }

    fs::path dir;
    std::unique_ptr<testkit::SlurmCluster> cluster;
};

TEST_F(Farm, ShotInThreeChunksRendersTheFrozenSettingsLikeALocalRender)
{
    for (int f = 0; f < frames; ++f) {
        testkit::HostImage picture(width, height, 4);
        testkit::fill_pattern(picture, unsigned(f % 3 + 1));
        write_png(frame_name(dir / "in", "in", f), picture.samples);
    }
    const std::string in = (dir / "in" / "in.%04d.png").string();
    const std::string out = (dir / "out" / "glass.####.png").string();
    const std::string ref = (dir / "ref" / "ref.%04d.png").string();
    write_text(dir / "look.json", project_text(90));
    fs::copy_file(dir / "look.json", dir / "look-at-submission.json");
    const std::vector<std::string> settings = {"--set", "CellShape=Hexagon", "--key", "Index@0=1.2",
                                               "--key", "Index@11=1.8"};

    // A frame already there before the job runs; the tasks must keep it.
    const std::string kept = frame_name(dir / "out", "glass", 7);
    write_text(kept, "not a picture, but already there");

    std::vector<std::string> submit = {"farm", "submit", in, out, "--frames", "0-11", "--chunk", "5",
                                       "--project", (dir / "look.json").string(), "--sbatch=--hold"};
    submit.insert(submit.end(), settings.begin(), settings.end());
    const testkit::ProgramResult submitted = run(submit);
    ASSERT_EQ(submitted.code, 0) << submitted.err << cluster->log_tails();
    std::string job = submitted.out;
    while (!job.empty() && job.back() == '\n') job.pop_back();
    ASSERT_FALSE(job.empty());
    ASSERT_EQ(job.find_first_not_of("0123456789"), std::string::npos) << "stdout holds only the job id: " << job;

    // The script beside the outputs asks for three array tasks.
    std::string script;
    for (const auto& entry : fs::directory_iterator(dir / "out"))
        if (entry.path().extension() == ".sh") script = slurp(entry.path());
    EXPECT_NE(script.find("#SBATCH --array=0-2\n"), std::string::npos) << script;

    // While the job is held: nothing rendered yet, and the user edits the project.
    const testkit::ProgramResult before = run({"farm", "status", out, "--frames", "0-11"});
    EXPECT_EQ(before.code, 1);
    EXPECT_EQ(before.out, "frames 0-11: 1 of 12 done, 11 missing: 0-6, 8-11\n");
    write_text(dir / "look.json", project_text(-45));
    const testkit::ProgramResult released = cluster->client({"scontrol", "release", job});
    ASSERT_EQ(released.code, 0) << released.err;

    const testkit::ProgramResult waited = run({"farm", "wait", job, out, "--frames", "0-11", "--timeout", "60"}, 90);
    ASSERT_EQ(waited.code, 0) << waited.out << waited.err << cluster->log_tails();
    EXPECT_EQ(waited.out, "frames 0-11: all 12 done\n");
    EXPECT_EQ(slurp(kept), "not a picture, but already there");

    // The same frames rendered here, in one run, with the settings as they were.
    std::vector<std::string> local = {"render", in, ref, "--frames", "0-11", "--project",
                                      (dir / "look-at-submission.json").string()};
    local.insert(local.end(), settings.begin(), settings.end());
    const testkit::ProgramResult rendered = run(local);
    ASSERT_EQ(rendered.code, 0) << rendered.err;

    std::vector<std::uint16_t> first;
    for (int f = 0; f < frames; ++f) {
        if (f == 7) continue;
        const std::vector<std::uint16_t> farm = read_png(frame_name(dir / "out", "glass", f));
        const std::vector<std::uint16_t> here = read_png(frame_name(dir / "ref", "ref", f));
        ASSERT_EQ(farm.size(), std::size_t(width) * height * 4) << "frame " << f;
        EXPECT_TRUE(farm == here) << "frame " << f << " differs from the local render";
        if (f == 0) first = farm;
        if (f == 11) {
            EXPECT_NE(farm, first) << "the keys should make the frames differ";
        }
    }
}

}  // namespace
