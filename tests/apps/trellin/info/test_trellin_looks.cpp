// test-builds: trellin_looks
// Named looks through the trellin program: --look with --set and --key on top
// renders as the same settings written out as a project; faults are refused
// before anything is written; demo writes its look and a labelled sheet of
// every look, gallery a strip per control.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/trellin_cli_support.h"

namespace {

using namespace trellin_test;
using nlohmann::json;

const fs::path look_folder = fs::path(TRELLIN_BIN_DIR) / ".." / "share" / "trellin" / "looks";

class TrellinLooks : public TrellinTest {
protected:
    void SetUp() override
    {
        TrellinTest::SetUp();
        write_file(dir / "in.png", 48, 32, 4, OIIO::TypeDesc::UINT16, pattern<std::uint16_t>(48, 32, 4, 31, 65535));
    }

    std::vector<std::uint16_t> frame_of(const std::string& frame, const std::vector<std::string>& args)
    {
        std::vector<std::string> all{"render", path("in.png"), path("out.png"), "--frames", frame};
        all.insert(all.end(), args.begin(), args.end());
        const RunResult r = run(all);
        EXPECT_EQ(r.code, 0) << r.err;
        return read_file(dir / "out.png").u16;
    }
};

TEST_F(TrellinLooks, LookWithSetAndKeyOnTopEqualsTheEquivalentProject)
{
    // The look's file with the same changes made in it.
    json lit = json::parse(slurp(look_folder / "lit-domes.json"));
    lit["controls"]["Index"] = 2.0;
    lit["controls"]["CellShape"] = "Square";
    spit(dir / "lit.json", lit.dump());
    EXPECT_EQ(frame_of("0", {"--look", "Lit-Domes", "--set", "Index=2", "--set", "cellshape=Square"}),
              frame_of("0", {"--project", path("lit.json")}));

    json turning = json::parse(slurp(look_folder / "turning-grid.json"));
    turning["controls"]["Cell Angle"]["keys"].push_back({480.0, 15.0});
    spit(dir / "turning.json", turning.dump());
    const auto keyed = frame_of("300", {"--look", "turning-grid", "--key", "Cell Angle@480=15"});
    EXPECT_EQ(keyed, frame_of("300", {"--project", path("turning.json")}));
    EXPECT_NE(keyed, frame_of("300", {"--look", "turning-grid"}));
}

TEST_F(TrellinLooks, FaultsAreRefusedBeforeAnythingIsWritten)
{
    spit(dir / "p.json", R"({"controls": {}})");
    const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
        {{"render", path("in.png"), path("out.png"), "--look", "sparkle"}, {"\"sparkle\"", "hexagon-glass"}},
        {{"render", path("in.png"), path("out.png"), "--look", "lit-domes", "--project", path("p.json")},
         {"--look", "--project"}},
        {{"demo", path("demo.png"), "--look", "sparkle"}, {"\"sparkle\"", "lit-domes"}},
        {{"demo", path("demo.png"), "--picture", path("missing.png")}, {"missing.png"}},
        {{"gallery", path("strips"), "--control", "Sparkle"}, {"Sparkle"}},
    };
    for (const auto& [args, named] : cases) {
        const RunResult r = run(args);
        EXPECT_EQ(r.code, 2) << args.back();
        for (const std::string& text : named) EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
        EXPECT_EQ(stray_files({"in.png", "p.json"}), std::vector<std::string>{}) << args.back();
    }
}

TEST_F(TrellinLooks, LooksListsEveryShippedLook)
{
    const RunResult r = run({"looks"});
    ASSERT_EQ(r.code, 0) << r.err;
    int count = 0;
    for (const auto& entry : fs::directory_iterator(look_folder)) {
        const std::string name = entry.path().stem().string();
        const std::string summary = json::parse(slurp(entry.path()))["summary"];
        EXPECT_NE(r.out.find(name + "  "), std::string::npos) << name << "\n" << r.out;
        EXPECT_NE(r.out.find(summary), std::string::npos) << summary;
        ++count;
    }
    EXPECT_GE(count, 8);
}

TEST_F(TrellinLooks, DemoWritesItsLookAndALabelledSheetOfEveryLook)
{
    const RunResult r = run({"demo", path("out/demo.png")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find(path("out/demo.png")), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("looks.png"), std::string::npos) << r.out;
    const FileImage demo = read_file(dir / "out" / "demo.png");
    EXPECT_EQ(demo.spec.width, 960);
    EXPECT_EQ(demo.spec.nchannels, 4);
    const FileImage sheet = read_file(dir / "out" / "looks.png");
    const int looks = static_cast<int>(std::distance(fs::directory_iterator(look_folder), fs::directory_iterator()));
    // Three 320x180 tiles a row, 6 pixels apart, each with a 24-pixel label band below.
    EXPECT_EQ(sheet.spec.width, 6 + 3 * 326);
    EXPECT_EQ(sheet.spec.height, 6 + (looks + 2) / 3 * (180 + 24 + 6));
    // Some ink in the first label band, on the dark ground.
    float brightest = 0.0f;
    for (int y = 6 + 180; y < 6 + 180 + 24; ++y)
        for (int x = 6; x < 6 + 320; ++x)
            brightest = std::max(brightest, sheet.f32[(std::size_t(y) * sheet.spec.width + x) * 3]);
    EXPECT_GT(brightest, 0.6f);

    // Another look makes another picture; --no-sheet writes none.
    ASSERT_EQ(run({"demo", path("fine.png"), "--look", "fine-tiles", "--no-sheet"}).code, 0);
    EXPECT_NE(read_file(dir / "fine.png").u16, demo.u16);
    EXPECT_FALSE(fs::exists(dir / "looks.png"));

    // --picture: the looks on the user's own picture, the sheet's tiles in its shape.
    write_file(dir / "mine.png", 200, 100, 3, OIIO::TypeDesc::UINT8, pattern<std::uint8_t>(200, 100, 3, 5, 255));
    ASSERT_EQ(run({"demo", path("mine/demo.png"), "--picture", path("mine.png")}).code, 0);
    EXPECT_EQ(read_file(dir / "mine" / "demo.png").spec.width, 200);
    EXPECT_LT(read_file(dir / "mine" / "looks.png").spec.height, sheet.spec.height) << "tiles of 2:1, not 16:9";
}

TEST_F(TrellinLooks, GalleryWritesAStripPerControlAskedFor)
{
    const RunResult r =
        run({"gallery", path("strips"), "--width", "48", "--control", "cellsize", "--control", "Light"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(dir / "strips")) files.push_back(entry.path().filename());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"cellsize.jpg", "light.jpg"}));
    const FileImage strip = read_file(dir / "strips" / "cellsize.jpg");
    EXPECT_EQ(strip.spec.width, 6 + 3 * (48 + 6));
    EXPECT_EQ(strip.spec.height, 6 + 27 + 24 + 6);
}

}  // namespace
