// Telling a video from a picture by its content, as the commands ask it more
// than once about the same input.
// test-labels: external
// test-links: trellin_video
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "apps/video/video_reader.h"
#include "support/subprocess.h"

namespace {

namespace fs = std::filesystem;

void make_clip(const std::string& path, int frames)
{
    const auto r =
        testkit::run_program({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25",
                              "-frames:v", std::to_string(frames), "-c:v", "ffv1", path});
    ASSERT_EQ(r.code, 0) << r.err;
}

// The answer follows the file: a picture put where a video was (and back) is
// judged again, also when both are written within the same second.
TEST(VideoFileProbe, AnswersForTheFileAsItIsNow)
{
    const fs::path dir = fs::temp_directory_path() / ("trellin-probe-" + std::to_string(::getpid()));
    fs::create_directories(dir);
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
    fs::remove_all(dir);
}

}  // namespace
