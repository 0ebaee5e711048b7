// The node's host controls: what a new node shows, the panel grid, and how
// change notifications and evaluations keep the effect's typed controls in
// step with them.
// test-labels: threaded
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "node/control_table.h"
#include "node/trellin_node.h"
#include "support/host_image.h"

namespace {

using vx::TrellinNode;

std::unique_ptr<TrellinNode> make_node()
{
    return std::unique_ptr<TrellinNode>(TrellinNode::make());
}

template <class T> T* control(TrellinNode& node, const char* label)
{
    const int row = vx::control_row(label);
    EXPECT_GE(row, 0) << label;
    return static_cast<T*>(node.controls[row].control);
}

// A host that creates a control more than the node knows about: the base's
// factory reached through the node's own base.
struct ExtraControl : FXNode {
    static CNumeric* add(FXNode& node)
    {
        return (node.*&ExtraControl::Numeric)("Extra", 0.0, 0.0, 1.0, 0.1, true);
    }
};

// A host that reports no controls at all: the base's control list, reached
// through an explicit instantiation (which is exempt from access checks).
using ControlList = std::vector<std::unique_ptr<CWidget>> FXNode::*;
ControlList host_control_list();
template <ControlList member> struct ControlListAccess {
    friend ControlList host_control_list() { return member; }
};
template struct ControlListAccess<&FXNode::controls_>;

TEST(ControlTable, ANewNodeShowsItsDefaults)
{
    auto node = make_node();
    ASSERT_TRUE(node);
    EXPECT_EQ(node->num_controls(), 28);

    auto* edge = control<COption>(*node, "Edge: %s");
    EXPECT_EQ(edge->items()[edge->index], "Duplicate");
    auto* shape = control<COption>(*node, "CellShape: %s");
    EXPECT_EQ(shape->items()[shape->index], "Triangle");
    EXPECT_EQ(shape->items().size(), 6u);
    auto* light = control<CColor>(*node, "Light");
    for (double c : light->rgba)
        EXPECT_EQ(c, 1.0);

    // What the effect sees of them.
    auto& p = node->effect->param;
    p.pull_all();
    EXPECT_EQ(p.edge.value, 1);
    EXPECT_EQ(p.cell_shape.value, 1);
    EXPECT_EQ(p.light_colour.a, 32767);
    EXPECT_EQ(p.light_position.x, 0.2);
    EXPECT_EQ(p.light_position.y, 0.8);
    EXPECT_EQ(p.cell_count_y.value, 10);
}

TEST(ControlTable, LayoutPlacesEveryControlOnItsGridCell)
{
    auto node = make_node();
    CPanel panel;
    ASSERT_TRUE(node->layout_controls(&panel));

    // The panel as the user sees it, row by row.
    const std::vector<std::pair<std::pair<int, int>, std::string>> grid = {
        {{0, 0}, "CellShape: %s"}, {{0, 1}, "Cell Count X"}, {{0, 2}, "Cell Count Y"},
        {{0, 3}, "CellSize"},      {{0, 4}, "CellCurve"},    {{0, 5}, "Tweak_X"},
        {{0, 6}, "Tweak_Y"},       {{0, 7}, "Black Height"}, {{0, 8}, "White Height"},
        {{0, 9}, "Index"},         {{0, 10}, "Edge: %s"},    {{0, 11}, "Smoothing"},
        {{0, 12}, "ChromaticAb"},  {{1, 0}, "Cell Angle"},   {{1, 1}, "Angle Centre_X"},
        {{1, 2}, "Angle Centre_Y"}, {{1, 7}, "Light Active"}, {{1, 8}, "Brightness"},
        {{1, 9}, "Light_X"},       {{1, 10}, "Light_Y"},     {{1, 11}, "LightZ"},
        {{1, 12}, "Gloss"},        {{1, 13}, "Back Bright"}, {{2, 0}, "ShowMap"},
        {{2, 1}, "Invert map"},    {{2, 7}, "Light"},        {{4, 0}, "Trellin"},
        {{4, 7}, "Surface"}};
    ASSERT_EQ(panel.placements().size(), grid.size());
    for (const auto& [cell, label] : grid) {
        bool found = false;
        for (const auto& p : panel.placements())
            if (p.control->label() == label) {
                found = true;
                EXPECT_EQ(std::make_pair(p.row, p.column), cell) << label;
                EXPECT_EQ(p.span_a, 0);
                EXPECT_EQ(p.span_b, 1);
            }
        EXPECT_TRUE(found) << label;
    }
}

TEST(ControlTable, LayoutSkipsExcludedControlsAndStaysInsideItsTable)
{
    auto node = make_node();
    control<CNumeric>(*node, "Gloss")->panel_excluded = true;
    ExtraControl::add(*node);
    ASSERT_EQ(node->num_controls(), 29);
    CPanel panel;
    EXPECT_TRUE(node->layout_controls(&panel));
    EXPECT_EQ(panel.placements().size(), 27u);
    for (const auto& p : panel.placements()) {
        EXPECT_NE(p.control->label(), "Gloss");
        EXPECT_NE(p.control->label(), "Extra");
    }

    // With no controls reported the panel stays empty.
    std::vector<std::unique_ptr<CWidget>> kept;
    std::swap(kept, (*node).*host_control_list());
    panel.clear();
    EXPECT_FALSE(node->layout_controls(&panel));
    EXPECT_TRUE(panel.placements().empty());
    std::swap(kept, (*node).*host_control_list());
}

TEST(ControlTable, ChangesRefreshTheEffectAndReachTheHostExceptForOptions)
{
    auto node = make_node();
    auto& p = node->effect->param;
    p.pull_all();

    auto* edge = control<COption>(*node, "Edge: %s");
    edge->index = 2;
    EXPECT_TRUE(node->notify_control_changed(edge, 2, 0.0));
    EXPECT_EQ(p.edge.value, 3);
    EXPECT_EQ(node->control_change_count(), 0);
    EXPECT_EQ(node->invalidated_ranges(), (std::vector<std::pair<double, double>>{{-1.0, -1.0}}));
    EXPECT_EQ(node->ovl_update_requests(), 1);

    auto* light_y = control<CNumeric>(*node, "Light_Y");
    control<CNumeric>(*node, "Light_X")->value = -3.0;
    light_y->value = 4.0;
    EXPECT_TRUE(node->notify_control_changed(light_y, 0, 0.0));
    EXPECT_EQ(p.light_position.x, -3.0);  // the whole position is pulled
    EXPECT_EQ(p.light_position.y, 4.0);
    EXPECT_EQ(node->control_change_count(), 1);
    EXPECT_EQ(node->invalidated_ranges().size(), 1u);  // reason 0 does not invalidate
    EXPECT_EQ(node->ovl_update_requests(), 2);

    // Labels and strangers go to the host unchanged.
    CNumeric stranger("Stranger", 0.0, 0.0, 1.0, 0.1, true);
    node->notify_control_changed(control<CLabel>(*node, "Surface"), 2, 0.0);
    node->notify_control_changed(&stranger, 2, 0.0);
    EXPECT_EQ(node->control_change_count(), 3);
    EXPECT_EQ(node->ovl_update_requests(), 2);
    EXPECT_EQ(node->invalidated_ranges().size(), 1u);
}

TEST(ControlTable, EvaluationPullsTheValuesFromBeforeTheHostEvaluates)
{
    auto node = make_node();
    auto* index = control<CNumeric>(*node, "Index");
    index->value = 2.0;
    ControlKey key;
    key.time = 5.0;
    key.v[0] = 3.0;
    index->set_key(key);
    EXPECT_TRUE(node->evaluate_controls(5.0, false));
    EXPECT_EQ(node->effect->param.index.value, 2.0);
    EXPECT_EQ(index->value, 3.0);
}

TEST(ControlTable, LightActiveSwitchesTheSixLightingControlsTogether)
{
    auto node = make_node();
    testkit::HostImage in(4, 4), out(4, 4);
    node->set_output_size(4, 4);
    _image_str* inputs[] = {in.get(), nullptr};
    ASSERT_EQ(node->process_image(0.0, inputs, out.get()), 1);

    const char* lighting[] = {"Brightness", "Gloss", "Back Bright", "Light",
                              "Light_X",    "Light_Y", "LightZ"};
    for (const char* label : lighting)
        EXPECT_TRUE(control<CWidget>(*node, label)->is_disabled()) << label;
    EXPECT_FALSE(control<CWidget>(*node, "Index")->is_disabled());
    EXPECT_FALSE(control<CWidget>(*node, "Light Active")->is_disabled());

    auto* active = control<CBoolean>(*node, "Light Active");
    active->state = true;
    node->notify_control_changed(active, 2, 0.0);
    for (const char* label : lighting)
        EXPECT_FALSE(control<CWidget>(*node, label)->is_disabled()) << label;
    EXPECT_TRUE(node->effect->param.light_active.value);

    active->state = false;
    node->notify_control_changed(active, 2, 0.0);
    for (const char* label : lighting)
        EXPECT_TRUE(control<CWidget>(*node, label)->is_disabled()) << label;
}

}  // namespace
