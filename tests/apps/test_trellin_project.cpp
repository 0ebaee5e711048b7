// Project files and animation keys through the trellin program: saved and
// restored, interpolated, overridden by --set, and every fault refused with
// the file or key and the place named.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "trellin_cli_support.h"

namespace {

using namespace trellin_test;
using nlohmann::json;

class TrellinProject : public TrellinTest {
protected:
    void SetUp() override
    {
        TrellinTest::SetUp();
        input = pattern<std::uint16_t>(w, h, 4, 23, 65535);
        write_file(dir / "in.png", w, h, 4, OIIO::TypeDesc::UINT16, input);
    }

    // Renders in.png as frame `frame` with `args` (frame 0 without keys: a still); the result's samples.
    std::vector<std::uint16_t> frame_of(long long frame, const std::vector<std::string>& args)
    {
        std::vector<std::string> all{"render", path("in.png"), path("frame.png"), "--frames", std::to_string(frame)};
        all.insert(all.end(), args.begin(), args.end());
        const RunResult r = run(all);
        EXPECT_EQ(r.code, 0) << r.err;
        return read_file(dir / "frame.png").u16;
    }

    std::vector<std::uint16_t> still(const std::vector<std::string>& args) { return frame_of(0, args); }

    static constexpr int w = 40, h = 30;
    std::vector<std::uint16_t> input;
};

TEST_F(TrellinProject, SavedProjectRestoresTheSameControlsAndKeys)
{
    const RunResult first = run({"render", path("in.png"), path("a.png"), "--set", "CellShape=Pentagon", "--set",
                                 "Light=0.25,0.5,0.75,1", "--set", "Light Active=on", "--set", "Index=2.35",
                                 "--key", "Cell Angle@0=0", "--key", "Cell Angle@24=90", "--key",
                                 "ShowMap@3=on", "--save-project", path("p.json")});
    ASSERT_EQ(first.code, 0) << first.err;
    const json saved = json::parse(slurp(dir / "p.json"));
    EXPECT_EQ(saved["controls"]["CellShape"], "Pentagon");
    EXPECT_EQ(saved["controls"]["Light"], json::array({0.25, 0.5, 0.75, 1.0}));
    EXPECT_EQ(saved["controls"]["Cell Angle"]["keys"], json::parse("[[0.0, 0.0], [24.0, 90.0]]"));
    EXPECT_EQ(saved["controls"]["ShowMap"]["keys"], json::parse("[[3.0, true]]"));

    // Restored and saved again: the same document, and the same picture.
    const RunResult second = run({"render", path("in.png"), path("b.png"), "--project", path("p.json"),
                                  "--save-project", path("q.json")});
    ASSERT_EQ(second.code, 0) << second.err;
    EXPECT_EQ(json::parse(slurp(dir / "q.json")), saved);
    EXPECT_EQ(read_file(dir / "a.png").u16, read_file(dir / "b.png").u16);
}

TEST_F(TrellinProject, FramesBetweenKeysEqualRendersAtTheInterpolatedValue)
{
    // Keys in a project file and keys from the command line animate alike.
    spit(dir / "keys.json", R"({"controls": {
        "Cell Angle": {"keys": [[0, 0], [10, 90]]},
        "Light_X": {"keys": [[0, 0.1], [10, 0.9]]},
        "Light Active": {"value": true, "keys": [[0, false], [4, true]]},
        "CellShape": {"keys": [[0, "Square"], [6, "Hexagon"]]}
    }})");
    const auto from_project = frame_of(5, {"--project", path("keys.json")});
    const auto from_keys = frame_of(5, {"--key", "Cell Angle@0=0", "--key", "Cell Angle@10=90", "--key",
                                        "Light_X@0=0.1", "--key", "Light_X@10=0.9", "--key", "Light Active@0=off",
                                        "--key", "Light Active@4=on", "--key", "CellShape@0=Square", "--key",
                                        "CellShape@6=Hexagon"});
    // At frame 5: halfway for the numbers, the earlier key for switch and option.
    const auto expected = still({"--set", "Cell Angle=45", "--set", "Light_X=0.5", "--set", "Light Active=on",
                                 "--set", "CellShape=Square"});
    EXPECT_EQ(from_project, expected);
    EXPECT_EQ(from_keys, expected);
}

TEST_F(TrellinProject, SetHoldsAControlForTheWholeRun)
{
    spit(dir / "keys.json", R"({"controls": {"Cell Angle": {"keys": [[0, 0], [10, 90]]}}})");
    EXPECT_EQ(frame_of(5, {"--project", path("keys.json"), "--set", "Cell Angle=30", "--save-project",
                           path("saved.json")}),
              still({"--set", "Cell Angle=30"}));
    // The saved project holds the value, not the dropped keys.
    EXPECT_EQ(json::parse(slurp(dir / "saved.json"))["controls"]["Cell Angle"], 30.0);

    const RunResult both = run({"render", path("in.png"), path("x.png"), "--key", "Index@0=2", "--set", "index=3"});
    EXPECT_EQ(both.code, 2);
    EXPECT_NE(both.err.find("--key"), std::string::npos) << both.err;
}

TEST_F(TrellinProject, FaultsNameTheFileAndThePlace)
{
    spit(dir / "syntax.json", "{\"controls\": {\n  \"Index\": 1.6,\n  \"Edge\": }\n}\n");
    spit(dir / "unknown.json", R"({"controls": {"Index": 1.6, "Sparkle": 3}})");
    spit(dir / "range.json", R"({"controls": {"Index": 11}})");
    spit(dir / "key.json", R"({"controls": {"Cell Angle": {"keys": [[0, 0], [5, "ninety"]]}}})");
    struct Case {
        std::string file;
        std::vector<std::string> named;
    };
    const Case cases[] = {
        {"syntax.json", {"syntax.json", "line 3, column 11"}},
        {"unknown.json", {"unknown.json", "Sparkle"}},
        {"range.json", {"range.json", "Index", "1.0 to 10.0"}},
        {"key.json", {"key.json", "Cell Angle", "key 2"}},
        {"missing.json", {"missing.json"}},
    };
    for (const Case& c : cases) {
        const RunResult r = run({"render", path("in.png"), path("out.png"), "--project", path(c.file)});
        EXPECT_EQ(r.code, 2) << c.file << "\n" << r.err;
        for (const std::string& n : c.named) EXPECT_NE(r.err.find(n), std::string::npos) << c.file << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir / "out.png"));

    const std::pair<std::string, std::string> bad_keys[] = {
        {"Index@x=2", "Index@x=2"}, {"Index=2", "LABEL@TIME=VALUE"}, {"Index@3=11", "1 to 10"}};
    for (const auto& [key, named] : bad_keys) {
        const RunResult r = run({"render", path("in.png"), path("out.png"), "--key", key});
        EXPECT_EQ(r.code, 2) << key;
        EXPECT_NE(r.err.find(named), std::string::npos) << key << ": " << r.err;
    }
    // A project that could not be written is refused before the run.
    const RunResult unwritable = run({"render", path("in.png"), path("out.png"), "--save-project",
                                      path("nowhere/p.json")});
    EXPECT_EQ(unwritable.code, 2);
    EXPECT_NE(unwritable.err.find("nowhere"), std::string::npos) << unwritable.err;
    EXPECT_EQ(stray_files({"in.png", "syntax.json", "unknown.json", "range.json", "key.json"}),
              std::vector<std::string>{});
}

}  // namespace
