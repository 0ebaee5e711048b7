// Nodes made from what a host was told (a look or a project, keys, settings)
// in one place for every host, and the effect module held once per process
// by the plug-ins.
// test-labels: threaded
// test-links: trellin_app_core
// test-builds: trellin_looks
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <stdexcept>
#include <thread>
#include <vector>

#include "apps/common/core/control_text.h"
#include "apps/common/core/module_holder.h"
#include "apps/common/core/node_recipe.h"
#include "apps/common/core/project_file.h"

namespace {

namespace fs = std::filesystem;
using namespace trellin_app;

class NodeRecipeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() / ("trellin-recipe-" + std::to_string(::getpid()));
        fs::create_directories(folder_);
        // A project whose Index is keyed at frames 0 and 10, rendered in log.
        NodePtr node = module_.create_node();
        apply_key(*node, parse_key("Index@0=1.2"));
        apply_key(*node, parse_key("Index@10=1.8"));
        RenderOptions render;
        render.hdr = HdrMode::log;
        project_ = (folder_ / "spin.json").string();
        save_project(*node, project_, &render);
    }
    void TearDown() override { fs::remove_all(folder_); }

    static CWidget& control(FXNode& node, const std::string& label)
    {
        return setting_control(node, Setting{label, "0"});
    }

    // The step a recipe fails at, and whether it named an unknown control.
    RecipeError failure(const NodeRecipe& recipe)
    {
        try {
            prepare_node(module_, recipe);
        } catch (const RecipeError& e) {
            return e;
        }
        ADD_FAILURE() << "the recipe was taken";
        return RecipeError(RecipeError::Step::look, "");
    }

    NodeModule module_ = NodeModule::find(TRELLIN_BIN_DIR);
    fs::path folder_;
    std::string project_;
};

TEST_F(NodeRecipeTest, ProjectThenKeysThenSettingsThatHoldAControlAtOneValue)
{
    NodeRecipe recipe;
    recipe.project = project_;
    recipe.keys.push_back(parse_key("Cell Angle@24=90"));
    recipe.settings.push_back(parse_setting("Index=1.55"));
    PreparedNode prepared = prepare_node(module_, recipe);
    ASSERT_TRUE(prepared.render);
    EXPECT_EQ(prepared.render->hdr, HdrMode::log);
    EXPECT_TRUE(prepared.look_name.empty());
    CWidget& index = control(*prepared.node, "Index");
    EXPECT_TRUE(index.keys().empty()) << "a setting drops the project's keys";
    EXPECT_EQ(value_text(index), "1.55");
    EXPECT_EQ(control(*prepared.node, "Cell Angle").keys().size(), 1u);

    // Without a look or project: a new node, no render options.
    PreparedNode fresh = prepare_node(module_, NodeRecipe{});
    EXPECT_FALSE(fresh.render);
    EXPECT_TRUE(control(*fresh.node, "Index").keys().empty());

    // A host that reads pictures as projects passes its reader.
    static int reads = 0;
    recipe.read_project = [](const std::string& path) {
        ++reads;
        return read_project_file(path);
    };
    prepare_node(module_, recipe);
    EXPECT_EQ(reads, 1);
}

TEST_F(NodeRecipeTest, LooksAreFoundInAnyCaseAndEveryFailureNamesItsStep)
{
    NodeRecipe look;
    look.look = "HEXAGON-glass";
    look.look_base_dir = TRELLIN_BIN_DIR;
    const PreparedNode prepared = prepare_node(module_, look);
    EXPECT_EQ(prepared.look_name, "hexagon-glass");
    EXPECT_FALSE(prepared.render) << "a look brings controls only";

    look.look = "no-such-look";
    EXPECT_EQ(failure(look).step, RecipeError::Step::look);

    NodeRecipe missing;
    missing.project = (folder_ / "missing.json").string();
    const RecipeError project = failure(missing);
    EXPECT_EQ(project.step, RecipeError::Step::project);
    EXPECT_NE(std::string(project.what()).find("missing.json"), std::string::npos);

    NodeRecipe bad_key;
    bad_key.keys.push_back(parse_key("Index@5=99"));
    EXPECT_EQ(failure(bad_key).step, RecipeError::Step::key);

    NodeRecipe unknown;
    unknown.settings.push_back(parse_setting("Indx=1.5"));
    const RecipeError setting = failure(unknown);
    EXPECT_EQ(setting.step, RecipeError::Step::setting);
    EXPECT_TRUE(setting.unknown_label);

    // A control both keyed and set: refused, naming the control.
    NodeRecipe both;
    both.keys.push_back(parse_key("Index@5=1.3"));
    both.settings.push_back(parse_setting("index=1.5"));
    const RecipeError keyed = failure(both);
    EXPECT_EQ(keyed.step, RecipeError::Step::keyed_setting);
    EXPECT_EQ(keyed.subject, "index=1.5");
    EXPECT_EQ(keyed.control, "Index");
}

struct Counted {
    int value = 0;
};

std::atomic<int> loads{0};
std::atomic<int> reports{0};

TEST(ModuleHolder, LoadsOnceForEveryThreadAndKeepsWhatItLoaded)
{
    loads = 0;
    // Static, as a plug-in's holder is: what it loads is kept for the process.
    static ModuleHolder<Counted> holder([] {
        ++loads;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return Counted{7};
    });
    std::vector<const Counted*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i) threads.emplace_back([&, i] { seen[i] = holder.get(); });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(loads.load(), 1);
    ASSERT_NE(seen[0], nullptr);
    EXPECT_EQ(seen[0]->value, 7);
    for (const Counted* c : seen) EXPECT_EQ(c, seen[0]);
    EXPECT_EQ(holder.error(), "");
}

TEST(ModuleHolder, AFailureIsKeptAndReportedOnce)
{
    loads = 0;
    reports = 0;
    ModuleHolder<Counted> holder(
        []() -> Counted {
            ++loads;
            throw std::runtime_error("TrellinVx.node: not found");
        },
        [](const std::string& message) {
            ++reports;
            EXPECT_EQ(message, "TrellinVx.node: not found");
        });
    for (int i = 0; i < 3; ++i) EXPECT_EQ(holder.get(), nullptr);
    EXPECT_EQ(holder.error(), "TrellinVx.node: not found");
    EXPECT_EQ(loads.load(), 1);
    EXPECT_EQ(reports.load(), 1);
}

}  // namespace
