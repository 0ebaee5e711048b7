// test-labels: external
// trellin farm on a real, one-node Slurm cluster: a 12-frame shot in chunks of
// 5 (three array tasks) renders exactly what a local `trellin render` of the
// same frames gives. The job is held while the user's project file is changed
// (the job must render the settings frozen at submission), and a frame put in
// place beforehand must be left alone. A video (H.264 with sound, keyframes
// every 10 frames, chunks that start between them) renders into pictures
// and into a lossless video exactly as a local render of the same frames
// does, sound and timestamps included; a failed task leaves no video and
// `farm wait` says so.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "support/slurm_cluster.h"
#include "support/trellin_cli_support.h"

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

    // The job id on the line "trellin: farm: job ID: ..." of submit's messages.
    static std::string array_job(const std::string& messages)
    {
        const std::string lead = "trellin: farm: job ";
        const std::size_t at = messages.find(lead);
        if (at == std::string::npos) return "";
        const std::size_t from = at + lead.size();
        return messages.substr(from, messages.find(':', from) - from);
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

TEST_F(Farm, VideoRendersIntoPicturesAndIntoAVideoAsALocalRenderOfTheSameFrames)
{
    ffmpeg(
        "-f lavfi -i testsrc2=size=48x32:rate=25:duration=1 -f lavfi -i sine=frequency=440:duration=1 "
        "-c:v libx264 -g 10 -bf 2 -pix_fmt yuv420p -c:a aac clip.mp4");
    const std::vector<std::string> keys = {"--key", "Cell Angle@3=0", "--key", "Cell Angle@17=80"};
    auto with_keys = [&](std::vector<std::string> args) {
        args.insert(args.end(), keys.begin(), keys.end());
        return args;
    };
    const std::string clip = path("clip.mp4");

    // A codec the container refuses is refused before anything is queued or written.
    const RunResult refused =
        run_on_cluster({"farm", "submit", clip, path("bad.webm"), "--chunk", "4", "--codec", "prores_ks"});
    EXPECT_EQ(refused.code, 2);
    EXPECT_NE(refused.err.find("--codec prores_ks"), std::string::npos) << refused.err;
    EXPECT_EQ(stray_files({}), std::vector<std::string>{"clip.mp4"});

    // Frames 3-17 in chunks of 4: the chunks start at 3, 7, 11 and 15, the keyframes at 0 and 10.
    const RunResult pictures =
        run_on_cluster(with_keys({"farm", "submit", clip, path("glass.%04d.png"), "--frames", "3-17", "--chunk", "4"}));
    ASSERT_EQ(pictures.code, 0) << pictures.err << cluster->log_tails();
    const RunResult video =
        run_on_cluster(with_keys({"farm", "submit", clip, path("glass.mkv"), "--frames", "3-17", "--chunk", "4"}));
    ASSERT_EQ(video.code, 0) << video.err << cluster->log_tails();
    const std::string video_job = video.out.substr(0, video.out.find('\n'));
    EXPECT_NE(video_job, array_job(video.err)) << "the id printed is the join job's";

    const RunResult waited_pictures = run_on_cluster(
        {"farm", "wait", pictures.out.substr(0, pictures.out.find('\n')), path("glass.%04d.png"), "--frames", "3-17"},
        150);
    ASSERT_EQ(waited_pictures.code, 0) << waited_pictures.err << cluster->log_tails();
    const RunResult waited_video = run_on_cluster({"farm", "wait", video_job, path("glass.mkv")}, 150);
    ASSERT_EQ(waited_video.code, 0) << waited_video.out << waited_video.err << cluster->log_tails();
    EXPECT_EQ(waited_video.out, path("glass.mkv") + ": written\n");
    // The join's log, named by its id, ends saying so (wait reads it once Slurm forgets the job).
    const std::string join_log = slurp(dir / ("glass.farm-join-" + video_job + ".log"));
    EXPECT_NE(join_log.find("15 frames from 4 parts joined into " + path("glass.mkv")), std::string::npos) << join_log;

    // The same frames rendered here, in one run each.
    ASSERT_EQ(run(with_keys({"render", clip, path("ref.%04d.png"), "--frames", "3-17", "-q"})).code, 0);
    ASSERT_EQ(run(with_keys({"render", clip, path("ref.mkv"), "--frames", "3-17", "-q"})).code, 0);
    for (int f = 3; f <= 17; ++f) {
        const std::vector<std::uint16_t> farm = read_file(frame_name(dir, "glass", f)).u16;
        ASSERT_EQ(farm.size(), std::size_t(48) * 32 * 3) << "frame " << f;
        EXPECT_TRUE(farm == read_file(frame_name(dir, "ref", f)).u16) << "frame " << f << " differs";
    }
    EXPECT_NE(read_file(frame_name(dir, "glass", 3)).u16, read_file(frame_name(dir, "glass", 17)).u16);
    // Every packet of every stream (pictures decoded, sound as stored), and the timestamps.
    const std::string hashes = "-f framemd5 -", times = "-show_entries packet=stream_index,pts,duration -of csv ";
    const std::string farm_hashes = ffmpeg("-i glass.mkv -map 0 -c:a copy " + hashes);
    EXPECT_EQ(farm_hashes, ffmpeg("-i ref.mkv -map 0 -c:a copy " + hashes));
    EXPECT_NE(farm_hashes.find("\n1,"), std::string::npos) << "the sound is kept:\n" << farm_hashes;
    EXPECT_EQ(ffmpeg(times + "glass.mkv", "ffprobe"), ffmpeg(times + "ref.mkv", "ffprobe"));
    // The parts are gone once the video is in place.
    for (const auto& e : fs::directory_iterator(dir)) EXPECT_NE(e.path().extension(), ".parts") << e.path();

    // A task that fails (its input gone when it runs) leaves no video, and wait says so.
    const RunResult held = run_on_cluster(
        with_keys({"farm", "submit", clip, path("lost.mkv"), "--frames", "3-17", "--chunk", "8", "--sbatch=--hold"}));
    ASSERT_EQ(held.code, 0) << held.err;
    const std::string join_job = held.out.substr(0, held.out.find('\n'));
    fs::rename(clip, path("moved.mp4"));
    for (const std::string& job : {join_job, array_job(held.err)})
        ASSERT_EQ(cluster->client({"scontrol", "release", job}).code, 0) << job;
    const RunResult lost = run_on_cluster({"farm", "wait", join_job, path("lost.mkv"), "--timeout", "90"}, 120);
    EXPECT_EQ(lost.code, 1) << lost.out << lost.err;
    EXPECT_EQ(lost.out, path("lost.mkv") + ": not written yet\n");
    EXPECT_NE(lost.err.find("not written"), std::string::npos) << lost.err;
    EXPECT_FALSE(fs::exists(path("lost.mkv")));
}

}  // namespace
