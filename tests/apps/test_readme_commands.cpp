// test-labels: external
// test-builds: trellin_frei0r trellin_looks
// The command lines of the README and of the pages in docs/ as written: every
// shell block marked "<!-- runnable -->" runs with bash (stopping at the first
// failing command, pipelines included) in a folder of generated media, where
// `build` stands for this build tree. The media are what the blocks name: a
// photo, pictures, numbered sequences, a 1080p video with PCM sound and a
// small MP4. The README's blocks run first, then each page's in the order of
// the pages' names, all in the one folder: a page may use a file a block of an
// earlier one made (video.md pipes with the project command-line.md saves).
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "support/trellin_cli_support.h"

namespace {

using namespace trellin_test;

struct Block {
    std::string page;  // the page's path from the source tree, e.g. docs/video.md
    int line = 0;      // of the opening fence, from 1
    std::string text;
};

// The runnable blocks of one page. A marker must stand right above a shell
// block's fence: one that does not marks nothing, and is reported.
std::vector<Block> runnable_blocks(const std::string& page, const std::string& markdown)
{
    std::vector<Block> blocks;
    std::istringstream lines(markdown);
    std::string line;
    int marked = 0;  // the marker's line on the line before, or 0
    Block* open = nullptr;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (open != nullptr) {
            if (line.rfind("```", 0) == 0)
                open = nullptr;
            else
                open->text += line + "\n";
        } else if (marked != 0) {
            if (line.rfind("```sh", 0) == 0) {
                blocks.push_back({page, number, ""});
                open = &blocks.back();
            } else {
                ADD_FAILURE() << page << ":" << marked << ": a runnable marker not right above a ```sh block";
            }
        }
        marked = open == nullptr && line == "<!-- runnable -->" ? number : 0;
    }
    EXPECT_EQ(open, nullptr) << page << ": an unclosed block";
    EXPECT_EQ(marked, 0) << page << ":" << marked << ": a runnable marker at the end of the page";
    return blocks;
}

// The runnable blocks of the README, then of every page in docs/ by name.
std::vector<Block> all_runnable_blocks()
{
    const fs::path source(TRELLIN_SOURCE_DIR);
    std::vector<std::string> pages{"README.md"};
    std::vector<std::string> docs;
    for (const fs::directory_entry& entry : fs::directory_iterator(source / "docs"))
        if (entry.is_regular_file() && entry.path().extension() == ".md")
            docs.push_back("docs/" + entry.path().filename().string());
    std::sort(docs.begin(), docs.end());
    pages.insert(pages.end(), docs.begin(), docs.end());
    std::vector<Block> blocks;
    for (const std::string& page : pages) {
        std::vector<Block> own = runnable_blocks(page, slurp(source / page));
        blocks.insert(blocks.end(), own.begin(), own.end());
    }
    return blocks;
}

class ReadmeCommands : public TrellinTest {
protected:
    void sh(const std::string& command)
    {
        const RunResult r = testkit::run_program({"bash", "-c", "set -eo pipefail\n" + command},
                                                 testkit::RunOptions().in(dir.string()).within(120));
        ASSERT_EQ(r.code, 0) << command << "\n" << r.err;
    }

    template <class T>
    void picture(const std::string& name, int w, int h, int channels, OIIO::TypeDesc type, unsigned max, unsigned seed)
    {
        write_file(dir / name, w, h, channels, type, pattern<T>(w, h, channels, seed, max));
    }

    void make_media()
    {
        fs::create_directory(dir / "shot");
        picture<std::uint8_t>("photo.jpg", 640, 360, 3, OIIO::TypeDesc::UINT8, 255, 1);
        picture<std::uint16_t>("in.png", 320, 180, 4, OIIO::TypeDesc::UINT16, 65535, 2);
        picture<float>("in.exr", 320, 180, 4, OIIO::TypeDesc::HALF, 1, 3);
        picture<std::uint8_t>("pic.png", 1920, 1080, 3, OIIO::TypeDesc::UINT8, 255, 4);
        char name[64];
        for (int f = 0; f <= 240; ++f) {
            std::snprintf(name, sizeof name, "shot/in.%04d", f);
            // A shot of frames 1 to 48, as a camera numbers them: a block that asks for frame 0 fails.
            if (f >= 1 && f <= 48)
                picture<std::uint8_t>(name + std::string(".png"), 96, 54, 3, OIIO::TypeDesc::UINT8, 255, 10 + f);
            if (f >= 1) {
                picture<std::uint16_t>(name + std::string(".dpx"), 96, 54, 3, OIIO::TypeDesc::UINT16, 65535, 300 + f);
                picture<float>(name + std::string(".exr"), 96, 54, 3, OIIO::TypeDesc::HALF, 1, 600 + f);
            }
        }
        const std::string ffmpeg = "ffmpeg -hide_banner -loglevel error -nostdin -y ";
        // Two frames of 1080p at 25 frames a second, ProRes with PCM sound, as cameras write them.
        sh(ffmpeg +
           "-f lavfi -i testsrc2=size=1920x1080:rate=25 -f lavfi -i sine=frequency=440 -t 0.08 "
           "-c:v prores_ks -profile:v 3 -pix_fmt yuv422p10le -c:a pcm_s16le in.mov");
        sh(ffmpeg +
           "-f lavfi -i testsrc2=size=640x360:rate=25 -f lavfi -i sine=frequency=440 -t 0.2 "
           "-c:v libx264 -pix_fmt yuv420p -c:a aac in.mp4");
        fs::create_directory_symlink(fs::path(TRELLIN_BIN_DIR).parent_path(), dir / "build");
    }
};

TEST_F(ReadmeCommands, RunnableBlocksRunAsWritten)
{
    const std::vector<Block> blocks = all_runnable_blocks();
    ASSERT_GE(blocks.size(), 9u);
    EXPECT_EQ(blocks.front().page, "README.md");
    make_media();
    for (const Block& block : blocks) {
        const RunResult r = testkit::run_program(
            {"bash", "-c", "set -eo pipefail\n" + block.text},
            testkit::RunOptions().with_env({"TRELLIN_MODULE", "TRELLIN_THREADS"}).in(dir.string()).within(200));
        EXPECT_EQ(r.code, 0) << block.page << ":" << block.line << ":\n" << block.text << r.out << r.err;
    }
    // What the blocks promise to make.
    for (const char* made : {"glass.png", "renders/turn.0048.png", "glass.mp4", "turning.mp4", "frosted.mkv",
                             "out/demo.png", "out/looks.png", "strips/cellsize.jpg", "renders/glass.0240.png",
                             "spin.json", "look.json", "glass-ffmpeg.mp4", "glass-melt.mp4", "frame000.png",
                             "renders/spin.0048.png", "glass0000.png", "glass-gst.mkv"})
        EXPECT_TRUE(fs::exists(dir / made)) << made;
}

}  // namespace
