// The facts every host maps its parameters from, read off the loaded module:
// the table of titles and meanings names exactly the module's controls, and
// the forms, groups and positions come out as the panel shows them.
// test-links: trellin_app_core
#include <gtest/gtest.h>

#include <set>

#include "apps/common/core/control_facts.h"
#include "apps/common/core/module_loader.h"

namespace {

using namespace trellin_app;

class ControlFactsTest : public ::testing::Test {
protected:
    NodeModule module = NodeModule::find(TRELLIN_BIN_DIR);
    NodePtr node = module.create_node();
    ControlFacts facts = control_facts(*node);
};

TEST_F(ControlFactsTest, TheTableDescribesExactlyTheLoadedModulesControls)
{
    std::set<std::string> labels, titles;
    for (const ControlFact& f : facts.controls) {
        EXPECT_TRUE(labels.insert(f.label).second) << f.label;
        EXPECT_FALSE(f.meaning.empty()) << f.label << " has no meaning in the table";
        EXPECT_TRUE(titles.insert(f.title).second) << f.title << " is the title of two controls";
        EXPECT_GE(f.column, 0) << f.label << " is not on the panel";
        EXPECT_FALSE(f.group.empty()) << f.label;
    }
    for (const std::string& described : described_labels())
        EXPECT_EQ(labels.count(described), 1u) << described << " is in the table but the module has no such control";
    EXPECT_EQ(facts.controls.size(), described_labels().size());
}

TEST_F(ControlFactsTest, FormsGroupsAndPositionsAsThePanelHasThem)
{
    EXPECT_EQ(facts.groups, (std::vector<std::string>{"Trellin", "Surface"}));

    std::set<std::string> whole, positions_x;
    for (const ControlFact& f : facts.controls) {
        if (f.form == ControlForm::whole_number) whole.insert(f.label);
        if (f.is_position_x()) {
            positions_x.insert(f.label);
            const ControlFact& y = facts.controls[static_cast<std::size_t>(f.partner)];
            EXPECT_EQ(y.label, f.label.substr(0, f.label.size() - 2) + "_Y");
            EXPECT_EQ(facts.controls[static_cast<std::size_t>(y.partner)].label, f.label);
        }
    }
    EXPECT_EQ(whole, (std::set<std::string>{"Smoothing", "Cell Count X", "Cell Count Y"}));
    EXPECT_EQ(positions_x, (std::set<std::string>{"Light_X", "Angle Centre_X", "Tweak_X"}));

    // Found in any case; forms and groups read off the module.
    ASSERT_NE(facts.find("edge"), nullptr);
    EXPECT_EQ(facts.find("edge")->form, ControlForm::choice);
    EXPECT_EQ(facts.find("Light")->form, ControlForm::colour);
    EXPECT_EQ(facts.find("Light")->group, "Surface");
    EXPECT_EQ(control_meaning("Edge: %s"), control_meaning("EDGE"));
    EXPECT_EQ(control_title("no such control"), "no such control");
}

TEST_F(ControlFactsTest, ThePlacesAreThePanelsOwnInItsOrder)
{
    CPanel panel;
    node->layout_controls(&panel);

    std::vector<const CPanel::Placement*> placed;
    for (const CPanel::Placement& p : panel.placements())
        if (p.control != nullptr) placed.push_back(&p);
    ASSERT_EQ(facts.places.size(), placed.size());
    std::set<std::string> labels;
    for (std::size_t i = 0; i < placed.size(); ++i) {
        const PanelPlace& place = facts.places[i];
        EXPECT_EQ(node->control(place.control), placed[i]->control) << i;
        EXPECT_EQ(place.column, placed[i]->column);
        EXPECT_EQ(place.row, placed[i]->row);
        if (place.fact < 0) {
            EXPECT_EQ(placed[i]->control->kind(), ControlKind::label);
            labels.insert(placed[i]->control->label());
            continue;
        }
        // A value control's place is its fact's, its fact its control's.
        const ControlFact& f = facts.controls[static_cast<std::size_t>(place.fact)];
        EXPECT_EQ(f.control, place.control);
        EXPECT_EQ(f.column, place.column) << f.label;
        EXPECT_EQ(f.row, place.row) << f.label;
    }
    EXPECT_EQ(labels, (std::set<std::string>(facts.groups.begin(), facts.groups.end())));
}

}  // namespace
