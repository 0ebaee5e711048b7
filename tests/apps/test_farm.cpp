// test-labels: external
// trellin farm on a real, one-node Slurm cluster: a 12-frame shot in chunks of
// 5 (three array tasks) renders exactly what a local `trellin render` of the
// same frames gives. The job is held while the user's project file is changed
// (the job must render the settings frozen at submission), and a frame put in
// place beforehand must be left alone.
#include <gtest/gtest.h>

#include <memory>

#include "support/slurm_cluster.h"
#include "trellin_cli_support.h"

namespace {

using namespace trellin_test;

constexpr int width = 32, height = 24;

std::string frame_name(const fs::path& dir, const std::string& prefix, int frame)
{
    char name[64];
    std::snprintf(name, sizeof name, "%s.%04d.png", prefix.c_str(), frame);
    return (dir / name).string();
}

// A project with keys on two controls and the light on; `angle_end` is the
// last key of "Cell Angle".
std::string project_text(int angle_end)
{
    return R"({ "node": "Kelvoids.Trellin", "controls": { "Light Active": true,
      "Cell Angle": { "value": 0, "keys": [[0, 0], [11, )" +
           std::to_string(angle_end) + R"(]] },
      "Light_X": { "value": 0.5, "keys": [[0, 0.1], [11, 0.9]] } } })";
}

class Farm : public TrellinTest {
protected:
    void SetUp() override
    {
        const std::string missing = testkit::SlurmCluster::missing_programs();
        if (!missing.empty()) GTEST_SKIP() << "Slurm is not installed (tools/install-deps.sh):" << missing;
        TrellinTest::SetUp();
        cluster = std::make_unique<testkit::SlurmCluster>();
    }
    void TearDown() override
    {
        cluster.reset();
        TrellinTest::TearDown();
    }
    RunResult run_on_cluster(const std::vector<std::string>& args, double timeout_s = 60)
    {
        return run(args, testkit::RunOptions().with_env(cluster->env()).within(timeout_s));
    }

    std::unique_ptr<testkit::SlurmCluster> cluster;
};

TEST_F(Farm, ShotInThreeChunksRendersTheFrozenSettingsLikeALocalRender)
{
    for (int f = 0; f < 12; ++f)
        write_file(frame_name(dir, "in", f), width, height, 4, OIIO::TypeDesc::UINT16,
                   pattern<std::uint16_t>(width, height, 4, unsigned(f % 3 + 1), 65535));
    const std::string in = path("in.%04d.png"), out = path("glass.####.png"), ref = path("ref.%04d.png");
    spit(dir / "look.json", project_text(90));
    fs::copy_file(dir / "look.json", dir / "look-at-submission.json");
    const std::vector<std::string> settings = {"--set", "CellShape=Hexagon", "--key", "Index@0=1.2",
                                               "--key", "Index@11=1.8"};
    // A complete output already there is kept (a task skips it).
    const std::string kept = frame_name(dir, "glass", 7);
    write_file(kept, 3, 2, 3, OIIO::TypeDesc::UINT8, std::vector<std::uint8_t>(18, 9));
    const std::string kept_bytes = slurp(kept);

    std::vector<std::string> submit = {"farm",           "submit",  in,  out,         "--frames",
                                       "0-11",           "--chunk", "5", "--project", path("look.json"),
                                       "--sbatch=--hold"};
    submit.insert(submit.end(), settings.begin(), settings.end());
    const RunResult submitted = run_on_cluster(submit);
    ASSERT_EQ(submitted.code, 0) << submitted.err << cluster->log_tails();
    const std::string job = submitted.out.substr(0, submitted.out.find('\n'));
    ASSERT_FALSE(job.empty());
    ASSERT_EQ(submitted.out, job + "\n");
    ASSERT_EQ(job.find_first_not_of("0123456789"), std::string::npos) << "stdout holds only the job id: " << job;

    std::string script;  // beside the outputs: three array tasks
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".sh") script += slurp(e.path());
    EXPECT_NE(script.find("#SBATCH --array=0-2\n"), std::string::npos) << script;

    // While the job is held: nothing rendered yet, and the user edits the project.
    const RunResult before = run_on_cluster({"farm", "status", out, "--frames", "0-11"});
    EXPECT_EQ(before.code, 1);
    EXPECT_EQ(before.out, "frames 0-11: 1 of 12 done, 11 missing: 0-6, 8-11\n");
    spit(dir / "look.json", project_text(-45));
    const testkit::ProgramResult released = cluster->client({"scontrol", "release", job});
    ASSERT_EQ(released.code, 0) << released.err;

    const RunResult waited = run_on_cluster({"farm", "wait", job, out, "--frames", "0-11", "--timeout", "60"}, 90);
    ASSERT_EQ(waited.code, 0) << waited.out << waited.err << cluster->log_tails();
    EXPECT_EQ(waited.out, "frames 0-11: all 12 done\n");
    EXPECT_EQ(slurp(kept), kept_bytes);

    // The same frames rendered here, in one run, with the settings as they were.
    std::vector<std::string> local = {
        "render", in, ref, "--frames", "0-11", "--project", path("look-at-submission.json")};
    local.insert(local.end(), settings.begin(), settings.end());
    const RunResult rendered = run(local);
    ASSERT_EQ(rendered.code, 0) << rendered.err;
    for (int f = 0; f < 12; ++f) {
        if (f == 7) continue;
        const std::vector<std::uint16_t> farm = read_file(frame_name(dir, "glass", f)).u16;
        ASSERT_EQ(farm.size(), std::size_t(width) * height * 4) << "frame " << f;
        EXPECT_TRUE(farm == read_file(frame_name(dir, "ref", f)).u16)
            << "frame " << f << " differs from the local render";
    }
    EXPECT_NE(read_file(frame_name(dir, "glass", 0)).u16, read_file(frame_name(dir, "glass", 11)).u16)
        << "the keys should make the frames differ";
}

}  // namespace
