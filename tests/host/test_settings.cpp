// Settings documents: save/load round trip with keys, file faults with
// their positions, and the strict check against a node.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "host/regv.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

class SampleNode : public FXNode {
public:
    SampleNode()
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

class TempDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("trellin-settings-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string write(const std::string& name, const std::string& text)
    {
        std::string path = (dir / name).string();
        std::ofstream(path) << text;
        return path;
    }
    std::string read_error(const std::string& path)
    {
        try {
            RegV::read_file(path);
        } catch (const RegVError& e) {
            return e.what();
        }
        return "(no error)";
    }
    fs::path dir;
};

TEST_F(TempDir, SaveAndLoadRoundTripWithKeys)
{
    SampleNode a;
    a.index->value = 2.718281828459045;
    a.active->state = true;
    a.edge->index = 2;
    a.light->rgba[1] = 0.25;
    a.index->set_key(ControlKey{0.0, {1.5}});
    a.index->set_key(ControlKey{24.0, {9.0}});
    a.edge->set_key(ControlKey{12.0, {1.0}});

    RegV saved;
    ASSERT_TRUE(a.reg_save(saved));
    EXPECT_EQ(saved.doc["node"], "Sample.Node");
    EXPECT_EQ(saved.doc["controls"]["Edge"]["value"], "Wrap");
    EXPECT_FALSE(saved.doc["controls"].contains("Surface"));
    const std::string path = (dir / "a.json").string();
    saved.write_file(path);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);  // no temp left

    SampleNode b;
    b.light->set_key(ControlKey{3.0, {0, 0, 0, 0}});  // replaced by the saved (unkeyed) colour
    ASSERT_TRUE(b.reg_load(RegV::read_file(path)));
    EXPECT_EQ(b.index->value, 2.718281828459045);
    EXPECT_TRUE(b.active->state);
    EXPECT_EQ(b.edge->index, 2);
    EXPECT_EQ(b.light->rgba[1], 0.25);
    EXPECT_TRUE(b.light->keys().empty());
    ASSERT_EQ(b.index->keys().size(), 2u);
    EXPECT_EQ(b.index->keys()[1].time, 24.0);
    EXPECT_EQ(b.index->keys()[1].v[0], 9.0);
    ASSERT_EQ(b.edge->keys().size(), 1u);
    EXPECT_EQ(b.edge->keys()[0].v[0], 1.0);

    RegV again;
    b.save_controls(again);
    EXPECT_EQ(again.doc, saved.doc);
}

TEST_F(TempDir, LoadIgnoresUnknownEntriesAndClampsNumbers)
{
    SampleNode node;
    RegV reg(json{{"controls", {{"Nonesuch", 3}, {"index", 50.0}, {"Edge: %s", "black"}, {"Light", "red"}}}});
    EXPECT_TRUE(node.load_controls(reg));
    EXPECT_EQ(node.index->value, 10.0);
    EXPECT_EQ(node.edge->index, 1);
    EXPECT_EQ(node.light->rgba[0], 1.0);
    EXPECT_FALSE(node.load_controls(RegV(json{{"node", "x"}})));
}

TEST_F(TempDir, MalformedFilesNameTheirPlace)
{
    const std::string bad = write("bad.json", "{\n  \"controls\": {\n    \"Index\": 1.5,\n    \"Edge\" \"Wrap\"\n");
    const std::string msg = read_error(bad);
    // The place is where the parser stopped: the end of the unexpected token.
    EXPECT_EQ(msg.rfind(bad + ": line 4, column 17: syntax error", 0), 0u) << msg;
    const std::string wide = write("wide.json", "{\"controls\": {\"\u00c9clat\": tru}}");
    EXPECT_EQ(read_error(wide).rfind(wide + ": line 1, column 27: ", 0), 0u) << read_error(wide);

    const std::string cut = write("cut.json", "{\n  \"controls\": {}\n");
    EXPECT_EQ(read_error(cut).rfind(cut + ": line 3, column 1: ", 0), 0u) << read_error(cut);

    const std::string missing = (dir / "missing.json").string();
    EXPECT_EQ(read_error(missing), missing + ": cannot read: No such file or directory");

    const std::string other = write("other.json", "{\"controls\": [1, 2]}");
    EXPECT_EQ(read_error(other), other + ": not a settings document (\"controls\" is not an object)");
    const std::string none = write("none.json", "{\"node\": \"x\"}");
    EXPECT_EQ(read_error(none).rfind(none + ": not a settings document (", 0), 0u);
}

TEST_F(TempDir, FailedWriteThrowsAndKeepsTheOldFile)
{
    const std::string target = write("keep.json", "old");
    fs::create_directory(dir / "blocker");
    std::ofstream(dir / "blocker" / "content") << "x";
    RegV reg(json{{"controls", json::object()}});
    // Renaming onto a non-empty directory fails after the temporary is written.
    EXPECT_THROW(reg.write_file((dir / "blocker").string()), RegVError);
    EXPECT_THROW(reg.write_file((dir / "no-such-dir" / "x.json").string()), RegVError);
    std::ifstream in(target);
    std::string text;
    in >> text;
    EXPECT_EQ(text, "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);  // no temp left
}

TEST(RegvCheck, NamesTheFirstFault)
{
    SampleNode node;
    auto check = [&](json controls) { return regv_check(RegV(json{{"controls", controls}}), node); };
    EXPECT_EQ(check({{"Index", 2.0}, {"edge", "Wrap"}, {"Light", {1, 0, 0, 1}}}), "");
    EXPECT_EQ(check({{"Index", 2.0}, {"Zoom", 1}}), "unknown control \"Zoom\"");
    EXPECT_EQ(check({{"Index", 10.5}}), "control \"Index\": value 10.5 is outside the range 1.0 to 10.0");
    EXPECT_EQ(check({{"Index", {{"value", 2.0}, {"keys", {{0, 2.0}, {5, 0.5}}}}}}),
              "control \"Index\": key 2: value 0.5 is outside the range 1.0 to 10.0");
    EXPECT_EQ(check({{"Index", "2"}}), "control \"Index\": expected a number, found \"2\"");
    EXPECT_EQ(check({{"Light Active", 1}}), "control \"Light Active\": expected true or false, found 1");
    EXPECT_EQ(check({{"Edge", "Mirror"}}),
              "control \"Edge\": unknown item \"Mirror\" (items: Duplicate, Black, Wrap)");
    EXPECT_EQ(check({{"Light", {1, 0, 0}}}),
              "control \"Light\": expected [red, green, blue, alpha], found [1,0,0]");
    EXPECT_EQ(check({{"Surface", 1}}), "control \"Surface\": is a label and holds no value");
    EXPECT_EQ(check({{"Edge", "Wrap"}, {"Edge: %s", "Black"}}),
              "control \"Edge: %s\" is named twice (\"Edge\" and \"Edge: %s\")");
    EXPECT_EQ(regv_check(RegV(json{{"node", "x"}}), node), "not a settings document (no \"controls\" member)");
}

}  // namespace
