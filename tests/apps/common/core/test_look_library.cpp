// test-links: trellin_pictures
// test-builds: trellin_looks
// The named looks as the programs find them: every shipped look restores and
// changes the demo scene in its own way; looks are listed by file name,
// found in any case, and a name that is no look is refused with the known
// ones listed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "apps/common/core/frame_render.h"
#include "apps/common/core/look_library.h"
#include "apps/common/core/project_file.h"
#include "apps/trellin/pictures/scene_picture.h"

namespace {

namespace fs = std::filesystem;
using namespace trellin_app;

// The demo scene reads as an evening photograph (a blue sky over warm light near the horizon, dark
// land, lit windows). Every shipped look restores and changes it in its own way, and none turns any
// part of it into flat white: a run of pure white pixels wider than a highlight means the glass shows
// nothing of the picture there.
TEST(LookLibrary, EveryShippedLookRendersTheDemoSceneItsOwnWayWithoutWashingPartOfItOut)
{
    const HostPicture scene = make_scene_picture(480, 270);
    EXPECT_EQ(make_scene_picture(480, 270).data, scene.data);
    const auto at = [&](const HostPicture& p, double fx, double fy, int c) {
        return p.at(int(fx * p.width), int(fy * p.height), c);
    };
    EXPECT_GT(at(scene, 0.1, 0.05, 2), at(scene, 0.1, 0.05, 0));  // the sky overhead is blue
    EXPECT_GT(at(scene, 0.3, 0.55, 0), at(scene, 0.3, 0.55, 2));  // warm near the horizon
    EXPECT_LT(at(scene, 0.1, 0.9, 1), 20000);                     // the land is dark
    int warm_windows = 0;
    for (int y = 0; y < scene.height * 62 / 100; ++y)
        for (int x = 0; x < scene.width; ++x)
            warm_windows += scene.at(x, y, 0) > 60000 && scene.at(x, y, 2) < 40000 && y > scene.height / 3;
    EXPECT_GT(warm_windows, 50);

    // A flat white area: pure white pixels whose whole 5x5 neighbourhood is pure white (a highlight's
    // small core is allowed).
    const HostPicture full = make_scene_picture(960, 540);
    const NodeModule module = NodeModule::find(TRELLIN_BIN_DIR);
    const std::vector<LookEntry> looks = list_looks(TRELLIN_BIN_DIR);
    ASSERT_GE(looks.size(), 8u) << look_folder(TRELLIN_BIN_DIR);
    std::set<std::vector<std::uint16_t>> pictures;
    for (const LookEntry& look : looks) {
        SCOPED_TRACE(look.name);
        EXPECT_FALSE(look.summary.empty());
        NodePtr node = load_project_file(module, look.path);
        HostPicture out;
        ASSERT_EQ(render_frame(*node, full, out), 1);
        EXPECT_NE(out.data, full.data);
        pictures.insert(out.data);
        const auto white = [&](int x, int y) {
            return out.at(x, y, 0) == 65535 && out.at(x, y, 1) == 65535 && out.at(x, y, 2) == 65535;
        };
        long flat = 0;
        for (int y = 2; y + 2 < out.height; ++y)
            for (int x = 2; x + 2 < out.width; ++x) {
                bool all = true;
                for (int dy = -2; dy <= 2 && all; ++dy)
                    for (int dx = -2; dx <= 2 && all; ++dx) all = white(x + dx, y + dy);
                flat += all;
            }
        EXPECT_LT(double(flat) / double(out.width * out.height), 0.003) << flat << " pixels of flat white";
    }
    EXPECT_EQ(pictures.size(), looks.size()) << "two looks render the same picture";
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
    EXPECT_EQ(find_look("Hexagon-GLASS", TRELLIN_BIN_DIR).name, "hexagon-glass");

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
