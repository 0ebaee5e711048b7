// Settings documents: round trip with keys, file faults with their places, the strict check.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <filesystem>
#include <fstream>

#include "host/regv.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

struct SettingsNode : FXNode {
    SettingsNode()
    {
        set_name("Sample.Node");
        const double white[4] = {1.0, 1.0, 1.0, 1.0};
        index = Numeric("Index", 1.4, 1.0, 10.0, 0.01, true);
        active = Boolean("Light Active", false, false);
        edge = Option("Edge: %s", "Duplicate,Black,Wrap", 0);
        light = Color("Light", white, true);
        Label("Surface");
    }
    CNumeric* index;
    CBoolean* active;
    COption* edge;
    CColor* light;
};

struct TempDir : ::testing::Test {
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("trellin-settings-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string write(const std::string& name, const std::string& text)
    {
        std::ofstream(dir / name) << text;
        return (dir / name).string();
    }
    static std::string read_error(const std::string& path)
    {
        try {
            RegV::read_file(path);
        } catch (const RegVError& e) {
            return e.what();
        }
        return "(no error)";
    }
    std::size_t files() const { return std::size_t(std::distance(fs::directory_iterator(dir), {})); }
    fs::path dir;
};

TEST_F(TempDir, SaveAndLoadRoundTripWithKeysAndLoadSkipsWhatItCannotUse)
{
    SettingsNode a, b;
    a.index->value = 2.718281828459045, a.active->state = true;
    a.edge->index = 2, a.light->rgba[1] = 0.25;
    a.index->set_key(ControlKey{24.0, {9.0}});
    a.edge->set_key(ControlKey{12.0, {1.0}});
    b.light->set_key(ControlKey{3.0, {0, 0, 0, 0}});  // replaced by the saved (unkeyed) colour

    RegV saved, again;
    ASSERT_TRUE(a.reg_save(saved));
    EXPECT_EQ(saved.doc["controls"]["Edge"]["value"], "Wrap");
    EXPECT_FALSE(saved.doc["controls"].contains("Surface"));
    const std::string path = (dir / "a.json").string();
    saved.write_file(path);
    EXPECT_EQ(files(), 1u);  // no temporary left
    ASSERT_TRUE(b.reg_load(RegV::read_file(path)));
    EXPECT_TRUE(b.light->keys().empty());
    b.save_controls(again);
    EXPECT_EQ(again.doc, saved.doc);

    // Loading skips unknown entries and wrong types, matches names loosely and clamps numbers.
    EXPECT_TRUE(b.load_controls(
        RegV(json{{"controls", {{"Nonesuch", 3}, {"index", 50.0}, {"Edge: %s", "black"}, {"Light", "red"}}}})));
    EXPECT_TRUE(b.index->value == 10.0 && b.edge->index == 1 && b.light->rgba[1] == 0.25);
    EXPECT_FALSE(b.load_controls(RegV(json{{"node", "x"}})));
}

TEST_F(TempDir, ReadFaultsNameTheFileAndThePlace)
{
    // Where the parser stopped: the end of the bad token in characters, or past the last line.
    for (auto [text, message] : {std::pair{"{\"controls\": {\"\u00c9clat\": tru}}", ": line 1, column 27: "},
                                 std::pair{"{\n  \"controls\": {}\n", ": line 3, column 1: "}}) {
        const std::string path = write("bad.json", text);
        EXPECT_EQ(read_error(path).rfind(path + message, 0), 0u) << read_error(path);
    }
    const std::string missing = (dir / "missing.json").string();
    EXPECT_EQ(read_error(missing), missing + ": cannot read: No such file or directory");
}

TEST_F(TempDir, FailedWriteThrowsAndKeepsTheOldFile)
{
    const std::string target = write("keep.json", "old");
    fs::create_directories(dir / "blocker" / "content");
    RegV reg(json{{"controls", json::object()}});
    // Renaming onto a non-empty directory fails after the temporary is written.
    EXPECT_THROW(reg.write_file((dir / "blocker").string()), RegVError);
    EXPECT_EQ((std::ostringstream() << std::ifstream(target).rdbuf()).str(), "old");
    EXPECT_EQ(files(), 2u);  // no temporary left
}

TEST(RegvCheck, NamesTheFirstFault)
{
    SettingsNode node;
    auto check = [&](json controls) { return regv_check(RegV(json{{"controls", controls}}), node); };
    EXPECT_EQ(check({{"Index", 2.0}, {"edge", "Wrap"}, {"Light", {1, 0, 0, 1}}}), "");
    EXPECT_EQ(check({{"Index", "2"}}), "control \"Index\": expected a number, found \"2\"");
    EXPECT_EQ(check({{"Surface", 1}}), "control \"Surface\": is a label and holds no value");
    EXPECT_EQ(check({{"Edge", "Wrap"}, {"Edge: %s", "Black"}}),
              "control \"Edge: %s\" is named twice (\"Edge\" and \"Edge: %s\")");
    EXPECT_EQ(regv_check(RegV(json{{"node", "x"}}), node), "not a settings document (no \"controls\" member)");
}

TEST(RegvCheck, ValuesOfAnyDepthAreQuotedInShortAndTheColourIsKeptInRange)
{
    SettingsNode node;
    // Built here, not parsed: a host may hand the node any document.
    json deep = 1;
    for (int i = 0; i < 100000; ++i) deep = json::array({std::move(deep)});
    const RegV reg(json{{"controls", {{"Index", std::move(deep)}, {"Light", {2, 0.5, -1, 1}}}}});
    EXPECT_EQ(regv_check(reg, node), "control \"Index\": expected a number, found [[[[...]]]]");
    EXPECT_TRUE(node.load_controls(reg));  // the node's own restore takes what it can, in range
    EXPECT_EQ(std::vector<double>(node.light->rgba, node.light->rgba + 4), (std::vector<double>{1, 0.5, 0, 1}));
    EXPECT_EQ(regv_check(RegV(json{{"controls", {{"Light", {1, 0.5, 1.5, 1}}}}}), node),
              "control \"Light\": blue 1.5 is outside the range 0 to 1");

    RegVNameFault unknown;
    regv_check(RegV(json{{"controls", {{"Indx", 2}}}}), node, &unknown);
    EXPECT_EQ(unknown.given, "Indx");
    EXPECT_NE(std::find(unknown.known.begin(), unknown.known.end(), "Index"), unknown.known.end());
}

}  // namespace
