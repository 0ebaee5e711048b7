// The node's host controls: the panel, and how change notifications and
// evaluations keep the effect's typed controls in step with them.
// test-labels: threaded
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "node/control_table.h"
#include "node/trellin_node.h"
#include "support/host_image.h"

namespace {

using vx::TrellinNode;
using Ranges = std::vector<std::pair<double, double>>;

std::unique_ptr<TrellinNode> make_node()
{
    return std::unique_ptr<TrellinNode>(TrellinNode::make());
}

template <class T = CWidget>
T* control(TrellinNode& n, const char* label)
{
    return static_cast<T*>(n.controls[vx::control_row(label)].control);
}

// The host's control factory and list, reached through explicit instantiations (exempt
// from access checks): to add a control the node does not know, and to report none.
struct ExtraControl : FXNode {
    static void add(FXNode& node) { (node.*&ExtraControl::Numeric)("Extra", 0.0, 0.0, 1.0, 0.1, true); }
};
using ControlList = std::vector<std::unique_ptr<CWidget>> FXNode::*;
ControlList host_control_list();
template <ControlList member>
struct ControlListAccess {
    friend ControlList host_control_list() { return member; }
};
template struct ControlListAccess<&FXNode::controls_>;

TEST(ControlTable, LayoutPlacesOnlyTheTablesIncludedControls)
{
    auto node = make_node();
    CPanel panel;
    ASSERT_TRUE(node->layout_controls(&panel));
    ASSERT_EQ(panel.placements().size(), 28u);

    // Excluded controls and controls beyond the table are not placed.
    control<CNumeric>(*node, "Gloss")->panel_excluded = true;
    ExtraControl::add(*node);
    panel.clear();
    EXPECT_TRUE(node->layout_controls(&panel));
    EXPECT_EQ(panel.placements().size(), 27u);
    for (const auto& p : panel.placements())
        EXPECT_TRUE(p.control->label() != "Gloss" && p.control->label() != "Extra");

    // With no controls reported the panel stays empty.
    std::vector<std::unique_ptr<CWidget>> kept;
    std::swap(kept, (*node).*host_control_list());
    panel.clear();
    EXPECT_FALSE(node->layout_controls(&panel));
    EXPECT_TRUE(panel.placements().empty());
    std::swap(kept, (*node).*host_control_list());
}

TEST(ControlTable, ChangesAndEvaluationsRefreshTheEffectAndChangesReachTheHostExceptForOptions)
{
    auto node = make_node();
    auto& p = node->effect->param;
    vx::pull_typed_controls(p);

    // (control changes passed to the host, invalidated ranges, overlay updates)
    auto records = [&] {
        return std::tuple(node->control_change_count(), node->invalidated_ranges().size(), node->ovl_update_requests());
    };
    auto* edge = control<COption>(*node, "Edge: %s");
    edge->index = 2;
    EXPECT_TRUE(node->notify_control_changed(edge, change_reason::finished, 0.0));
    EXPECT_EQ(p.edge.value, 3);
    EXPECT_EQ(records(), std::tuple(0, 1u, 1));  // an option is not passed on
    EXPECT_EQ(node->invalidated_ranges(), (Ranges{{-1.0, -1.0}}));

    auto* light_y = control<CNumeric>(*node, "Light_Y");
    control<CNumeric>(*node, "Light_X")->value = -3.0;
    light_y->value = 4.0;
    EXPECT_TRUE(node->notify_control_changed(light_y, change_reason::under_way, 0.0));
    EXPECT_TRUE(p.light_position.x == -3.0 && p.light_position.y == 4.0);  // the whole position is pulled
    EXPECT_EQ(records(), std::tuple(1, 1u, 2));                            // reason 0 does not invalidate

    // Labels and strangers go to the host unchanged.
    CNumeric stranger("Stranger", 0.0, 0.0, 1.0, 0.1, true);
    node->notify_control_changed(control<CLabel>(*node, "Surface"), change_reason::finished, 0.0);
    node->notify_control_changed(&stranger, change_reason::finished, 0.0);
    EXPECT_EQ(records(), std::tuple(3, 1u, 2));

    // An evaluation pulls the values from before the host evaluates.
    auto* index = control<CNumeric>(*node, "Index");
    index->value = 2.0;
    index->set_key(ControlKey{5.0, {3.0}});
    EXPECT_TRUE(node->evaluate_controls(5.0, false));
    EXPECT_EQ(p.index.value, 2.0);
    EXPECT_EQ(index->value, 3.0);
}

TEST(ControlTable, LightActiveSwitchesTheSixLightingControlsTogether)
{
    auto node = make_node();
    testkit::HostImage in(4, 4), out(4, 4);
    node->set_output_size(4, 4);
    _image_str* inputs[] = {in.get(), nullptr};
    ASSERT_EQ(node->process_image(0.0, inputs, out.get()), 1);  // the first frame sets them

    auto* active = control<CBoolean>(*node, "Light Active");
    for (bool on : {false, true, false}) {
        if (on != active->state) active->state = on, node->notify_control_changed(active, change_reason::finished, 0.0);
        for (const char* label : {"Brightness", "Gloss", "Back Bright", "Light", "Light_X", "Light_Y", "LightZ"})
            EXPECT_EQ(control(*node, label)->is_disabled(), !on) << label;
        EXPECT_FALSE(active->is_disabled());
        EXPECT_EQ(node->effect->param.light_active.value, on);
    }
}

// The control reference is written by hand; it must name every control of the
// table, in its index and under a heading of its own section.
TEST(ControlTable, TheControlReferenceNamesEveryValueControl)
{
    std::ifstream file(std::filesystem::path(TRELLIN_SOURCE_DIR) / "docs" / "controls.md");
    ASSERT_TRUE(file.good());
    std::stringstream text;
    text << file.rdbuf();
    const std::string doc = text.str();
    const std::string index = doc.substr(0, doc.find("\n## "));
    for (int i = 0; i < vx::value_control_count; ++i) {
        std::string label = vx::control_table[i].label;
        label = label.substr(0, label.find(':'));
        EXPECT_NE(index.find(label), std::string::npos) << label << " is missing from the index";
        bool headed = false;
        for (std::size_t at = doc.find("\n### "); at != std::string::npos; at = doc.find("\n### ", at + 1)) {
            const std::string heading = doc.substr(at + 5, doc.find('\n', at + 1) - at - 5);
            std::stringstream names(heading);
            for (std::string name; std::getline(names, name, ',');)
                headed |= name.substr(name.find_first_not_of(' ')) == label;
        }
        EXPECT_TRUE(headed) << label << " has no heading";
    }
}

}  // namespace

// Each value row feeds a typed control of its own, a position's x and y rows
// the same one; labels feed none.
TEST(ControlTable, EachTypedControlIsFedByOneRowOrOnePositionPair)
{
    for (int i = 0; i < vx::control_table_size; ++i) {
        const vx::ControlRow& row = vx::control_table[i];
        SCOPED_TRACE(row.label);
        EXPECT_EQ(row.kind == ControlKind::label, row.typed == nullptr);
        if (i >= vx::value_control_count) continue;
        const bool x = row.binding == vx::ControlBinding::position_x;
        const bool y = row.binding == vx::ControlBinding::position_y;
        if (x) {
            EXPECT_EQ(vx::control_table[i + 1].typed, row.typed);
        }
        for (int j = 0; j < vx::value_control_count; ++j) {
            if (j == i || (x && j == i + 1) || (y && j == i - 1)) continue;
            EXPECT_NE(vx::control_table[j].typed, row.typed) << vx::control_table[j].label;
        }
    }
}
