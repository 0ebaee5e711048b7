// Reading video files: telling a video from a picture by its content (the
// commands ask more than once about the same input), and decoding the same
// pictures beside a render as alone.
// test-labels: external
// test-links: trellin_video
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "apps/video/video_reader.h"
#include "support/scratch_dir.h"
#include "support/subprocess.h"

namespace {

namespace fs = std::filesystem;

void make_clip(const std::string& path, int frames, const std::vector<std::string>& codec = {"-c:v", "ffv1"})
{
    std::vector<std::string> argv = {"ffmpeg",    "-v",
                                     "error",     "-y",
                                     "-f",        "lavfi",
                                     "-i",        "testsrc2=size=64x48:rate=25",
                                     "-frames:v", std::to_string(frames)};
    argv.insert(argv.end(), codec.begin(), codec.end());
    argv.push_back(path);
    const auto r = testkit::run_program(argv);
    ASSERT_EQ(r.code, 0) << r.err;
}

class VideoFiles : public testkit::ScratchDirTest {};

// The answer follows the file: a picture put where a video was (and back) is
// judged again, also when both are written within the same second.
TEST_F(VideoFiles, ProbeAnswersForTheFileAsItIsNow)
{
    const std::string path = (dir / "input.mkv").string();
    make_clip(path, 3);
    EXPECT_TRUE(trellin_video::is_video_file(path));
    EXPECT_TRUE(trellin_video::is_video_file(path));

    std::ofstream(path, std::ios::binary | std::ios::trunc) << "not a video at all";
    EXPECT_FALSE(trellin_video::is_video_file(path));
    make_clip(path, 3);
    EXPECT_TRUE(trellin_video::is_video_file(path));
    fs::remove(path);
    EXPECT_FALSE(trellin_video::is_video_file(path));
    EXPECT_FALSE(trellin_video::is_video_file(dir.string()));
}

// Frames decoded one at a time (beside a render) and side by side (alone)
// are the same pictures, in order and after a jump back: an H.264 clip with
// B-frames, whose frame threads hold frames back.
TEST_F(VideoFiles, DecodeTheSamePicturesBesideARenderAsAlone)
{
    const std::string path = (dir / "clip.mp4").string();
    make_clip(path, 30, {"-c:v", "libx264", "-g", "12", "-bf", "3", "-pix_fmt", "yuv420p"});
    trellin_video::VideoReader beside(path), alone(path, trellin_video::Decoding::alone);
    ASSERT_EQ(beside.frame_count(), 30);
    for (long long n : {0LL, 1LL, 2LL, 17LL, 29LL, 5LL}) {
        trellin_app::HostPicture a, b;
        beside.read(n, a);
        alone.read(n, b);
        ASSERT_EQ(a.data.size(), std::size_t(64) * 48 * 3) << n;
        EXPECT_TRUE(a.data == b.data) << "frame " << n;
    }
}

}  // namespace
