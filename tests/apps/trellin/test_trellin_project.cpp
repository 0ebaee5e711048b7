// Project files and keys through the trellin program: saved and restored, interpolated,
// overridden by --set, and every fault refused with the file or key and the place named.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/trellin_cli_support.h"

namespace {

using namespace trellin_test;
using nlohmann::json;

class TrellinProject : public TrellinTest {
protected:
    void SetUp() override
    {
        TrellinTest::SetUp();
        write_file(dir / "in.png", 40, 30, 4, OIIO::TypeDesc::UINT16, pattern<std::uint16_t>(40, 30, 4, 23, 65535));
    }

    // Renders in.png as frame `frame` with `args` (frame 0 without keys: a still); the result's samples.
    std::vector<std::uint16_t> frame_of(long long frame, const std::vector<std::string>& args)
    {
        std::vector<std::string> all{"render", path("in.png"), path("frame.png"), "--frames", std::to_string(frame)};
        all.insert(all.end(), args.begin(), args.end());
        EXPECT_EQ(run(all).code, 0);
        return read_file(dir / "frame.png").u16;
    }
};

TEST_F(TrellinProject, SavedProjectRestoresTheSameControlsAndKeys)
{
    const auto first = frame_of(0, {"--set", "CellShape=Pentagon", "--set", "Light=0.25,0.5,0.75,1", "--set",
                                    "Light Active=on", "--set", "Index=2.35", "--key", "Cell Angle@0=0", "--key",
                                    "Cell Angle@24=90", "--key", "ShowMap@3=on", "--save-project", path("p.json")});
    const json saved = json::parse(slurp(dir / "p.json"));
    EXPECT_EQ(saved["controls"]["CellShape"], "Pentagon");
    EXPECT_EQ(saved["controls"]["Cell Angle"]["keys"], json::parse("[[0.0, 0.0], [24.0, 90.0]]"));

    // Restored and saved again: the same document, and the same picture.
    EXPECT_EQ(frame_of(0, {"--project", path("p.json"), "--save-project", path("q.json")}), first);
    EXPECT_EQ(json::parse(slurp(dir / "q.json")), saved);
}

TEST_F(TrellinProject, FramesBetweenKeysEqualRendersAtTheInterpolatedValueUnlessSetHoldsTheControl)
{
    spit(dir / "keys.json", R"({"controls": {
        "Cell Angle": {"keys": [[0, 0], [10, 90]]},
        "Light_X": {"keys": [[0, 0.1], [10, 0.9]]},
        "Light Active": {"value": true, "keys": [[0, false], [4, true]]},
        "CellShape": {"keys": [[0, "Square"], [6, "Hexagon"]]}
    }})");
    // At frame 5: halfway for the numbers, the earlier key for switch and option.
    const std::vector<std::string> halfway{"--set",           "Light_X=0.5", "--set",
                                           "Light Active=on", "--set",       "CellShape=Square"};
    std::vector<std::string> at_45 = halfway, at_30 = halfway;
    at_45.insert(at_45.end(), {"--set", "Cell Angle=45"});
    at_30.insert(at_30.end(), {"--set", "Cell Angle=30"});
    EXPECT_EQ(frame_of(5, {"--project", path("keys.json")}), frame_of(0, at_45));
    // --set holds a control for the whole run, and the saved project holds the value, not the dropped keys.
    EXPECT_EQ(
        frame_of(5, {"--project", path("keys.json"), "--set", "Cell Angle=30", "--save-project", path("saved.json")}),
        frame_of(0, at_30));
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
    // Deep nesting (a value, a key's value), numbers beyond doubles, the colour and key times out of range,
    // and a huge bad value: refused at the place, the value quoted in short.
    const std::string deep(70000, '[');
    spit(dir / "deep.json", "{\"controls\": {\"Index\": " + deep + "}}");
    spit(dir / "deepkey.json", "{\"controls\":\n {\"Index\": {\"keys\": [[0, " + deep + "]]}}}");
    spit(dir / "huge.json", "{\"controls\": {\"Index\": 1.5,\n  \"Gloss\": -1e400}}");
    spit(dir / "colour.json", R"({"controls": {"Light": [1, 0.5, 1.5, 1]}})");
    spit(dir / "time.json", R"({"controls": {"Index": {"keys": [[0, 2], [1e308, 3]]}}})");
    spit(dir / "long.json", "{\"controls\": {\"Index\": \"" + std::string(1 << 20, 'x') + "\"}}");
    const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
        {{"--project", path("deep.json")}, {"deep.json", "line 1, column 42", "nested more than"}},
        {{"--project", path("deepkey.json")}, {"deepkey.json", "line 2, column 41", "nested more than"}},
        {{"--project", path("huge.json")}, {"huge.json", "line 2, column 12", "-1e400"}},
        {{"--project", path("colour.json")}, {"colour.json", "Light", "blue 1.5", "0 to 1"}},
        {{"--project", path("time.json")}, {"time.json", "key 2", "time"}},
        {{"--project", path("long.json")}, {"long.json", "Index", "xxx..."}},
        {{"--key", "Index@1e300=2"}, {"Index@1e300=2", "-1e9 to 1e9"}},
        {{"--project", path("syntax.json")}, {"syntax.json", "line 3, column 11"}},
        {{"--project", path("unknown.json")}, {"unknown.json", "Sparkle"}},
        {{"--project", path("range.json")}, {"range.json", "Index", "1.0 to 10.0"}},
        {{"--project", path("key.json")}, {"key.json", "Cell Angle", "key 2"}},
        {{"--project", path("missing.json")}, {"missing.json"}},
        {{"--key", "Index@x=2"}, {"Index@x=2"}},
        {{"--key", "Index=2"}, {"LABEL@TIME=VALUE"}},
        {{"--save-project", path("nowhere/p.json")}, {"nowhere"}},  // refused before the run
    };
    for (const auto& [args, named] : cases) {
        std::vector<std::string> all{"render", path("in.png"), path("out.png")};
        all.insert(all.end(), args.begin(), args.end());
        const RunResult r = run(all);
        EXPECT_EQ(r.code, 2) << args[1];
        EXPECT_LT(r.err.size(), 400u) << args[1];
        for (const std::string& n : named) EXPECT_NE(r.err.find(n), std::string::npos) << r.err;
    }
    // The other commands that read projects refuse the deep one as safely.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"pipe", "--size", "4x4", "--project", path("deep.json")},
          std::vector<std::string>{"farm", "submit", path("in.%04d.png"), path("o.%04d.png"), "--frames", "0",
                                   "--chunk", "1", "--dry-run", "--project", path("deep.json")}}) {
        fs::copy_file(dir / "in.png", dir / "in.0000.png", fs::copy_options::overwrite_existing);
        const RunResult r = run(args);
        EXPECT_EQ(r.code, 2) << args[0];
        EXPECT_NE(r.err.find("nested more than"), std::string::npos) << r.err;
    }
    EXPECT_EQ(stray_files({"in.png", "in.0000.png", "syntax.json", "unknown.json", "range.json", "key.json",
                           "deep.json", "deepkey.json", "huge.json", "colour.json", "time.json", "long.json"}),
              std::vector<std::string>{});
}

}  // namespace
