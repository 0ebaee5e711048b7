// test-links: trellin_pictures
// test-builds: trellin_looks
// The named looks as the programs find them: every shipped look restores and
// changes a small picture in its own way; looks are listed by file name,
// found in any case, and a name that is no look is refused with the known
// ones listed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "apps/trellin/demo_picture.h"
#include "apps/common/core/frame_render.h"
#include "apps/common/core/look_library.h"
#include "apps/common/core/project_file.h"

namespace {

namespace fs = std::filesystem;
using namespace trellin_app;

TEST(LookLibrary, EveryShippedLookRestoresAndRendersSmall)
{
    const NodeModule module = NodeModule::find(TRELLIN_BIN_DIR);
    const std::vector<LookEntry> looks = list_looks(TRELLIN_BIN_DIR);
    ASSERT_GE(looks.size(), 8u) << look_folder(TRELLIN_BIN_DIR);
    const HostPicture picture = make_demo_picture(64, 36);
    std::set<std::vector<std::uint16_t>> pictures;
    for (const LookEntry& look : looks) {
        SCOPED_TRACE(look.name);
        EXPECT_FALSE(look.summary.empty());
        NodePtr node = load_project_file(module, look.path);
        HostPicture out;
        ASSERT_EQ(render_frame(*node, picture, out), 1);
        EXPECT_NE(out.data, picture.data);
        pictures.insert(out.data);
    }
    EXPECT_EQ(pictures.size(), looks.size()) << "two looks render the same picture";
    EXPECT_EQ(find_look("Hexagon-GLASS", TRELLIN_BIN_DIR).name, "hexagon-glass");
}

TEST(LookLibrary, LooksAreListedByNameAndAnUnknownNameListsTheKnownOnes)
{
    const fs::path root = fs::temp_directory_path() / ("trellin-looks-" + std::to_string(::getpid()));
    const fs::path folder = root / "share" / "trellin" / "looks";
    fs::create_directories(folder);
    fs::create_directories(root / "bin");
    std::ofstream(folder / "zebra.json") << R"({"summary": "Stripes", "controls": {"Index": 2}})";
    std::ofstream(folder / "Amber.json") << "{ not json";  // listed; restoring it names the fault
    std::ofstream(folder / "notes.txt") << "not a look";
    const std::string bin = (root / "bin").string();

    const std::vector<LookEntry> looks = list_looks(bin);
    ASSERT_EQ(looks.size(), 2u);
    EXPECT_EQ(looks[0].name, "Amber");
    EXPECT_EQ(looks[0].summary, "");
    EXPECT_EQ(looks[1].name, "zebra");
    EXPECT_EQ(looks[1].summary, "Stripes");
    EXPECT_EQ(fs::path(find_look("ZEBRA", bin).path), folder / "zebra.json");

    const std::pair<std::string, std::vector<std::string>> faults[] = {
        {bin, {"\"sparkle\"", "Amber, zebra"}},
        {(root / "nowhere" / "bin").string(), {"\"sparkle\"", "no looks found in"}},
    };
    for (const auto& [base, named] : faults) {
        try {
            find_look("sparkle", base);
            ADD_FAILURE() << base;
        } catch (const ProjectError& e) {
            for (const std::string& text : named)
                EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
        }
    }
    fs::remove_all(root);
}

}  // namespace
