// The viewer's side of the node: drawing sets up the view the handles use,
// and presses, drags and releases reach the handles and the host.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <vector>

#include "node/control_table.h"
#include "node/trellin_node.h"

namespace {

using vx::TrellinNode;

CNumeric* numeric(TrellinNode& node, const char* label)
{
    return static_cast<CNumeric*>(node.controls[vx::control_row(label)].control);
}

// A node viewing a 1920 x 1080 picture, its typed controls pulled and its
// handles drawn (with no OpenGL context the drawing itself does nothing).
std::unique_ptr<TrellinNode> viewed_node()
{
    std::unique_ptr<TrellinNode> node(TrellinNode::make());
    node->set_output_size(1920, 1080);
    node->effect->param.pull_all();
    node->draw_overlay(nullptr);
    node->clear_host_records();
    return node;
}

bool event(TrellinNode& node, int kind, float x, float y, float button = 0.0f)
{
    FXMouseEvent e;
    std::tie(e.x, e.y, e.button) = std::tuple(x, y, button);
    return node.overlay_event(nullptr, kind, &e);
}

TEST(OverlayBridge, AChangedOutputAsksForAnOverlayUpdate)
{
    std::unique_ptr<TrellinNode> node(TrellinNode::make());
    EXPECT_TRUE(node->has_overlay());
    node->notify_output_changed();
    EXPECT_EQ(node->output_change_count(), 1);
    EXPECT_EQ(node->ovl_update_requests(), 1);
}

TEST(OverlayBridge, AMissedPressIsNotTakenAndAReleaseAlwaysInvalidates)
{
    auto node = viewed_node();
    EXPECT_FALSE(event(*node, 0, 100.0f, 100.0f));
    EXPECT_EQ(node->ovl_update_requests(), 0);
    EXPECT_FALSE(event(*node, 2, 100.0f, 100.0f));
    EXPECT_EQ(node->invalidated_ranges(), (std::vector<std::pair<double, double>>{{-1.0, -1.0}}));
    EXPECT_EQ(node->ovl_update_requests(), 1);
    EXPECT_EQ(node->control_change_count(), 0);
}

TEST(OverlayBridge, OneDragMovesBothHandlesLyingAtTheCentre)
{
    auto node = viewed_node();
    EXPECT_TRUE(event(*node, 0, 960.0f, 540.0f));
    EXPECT_EQ(node->ovl_update_requests(), 1);

    // Without a button the pointer only hovers.
    EXPECT_FALSE(event(*node, 1, 192.0f, 108.0f, 0.0f));
    EXPECT_EQ(numeric(*node, "Tweak_X")->value, 0.5);
    EXPECT_EQ(node->ovl_update_requests(), 1);

    EXPECT_FALSE(event(*node, 1, 192.0f, 108.0f, 0.5f));
    EXPECT_EQ(node->ovl_update_requests(), 2);
    EXPECT_FALSE(event(*node, 2, 192.0f, 108.0f));
    const double tenth = static_cast<double>(0.1f);
    for (const char* label : {"Angle Centre_X", "Angle Centre_Y", "Tweak_X", "Tweak_Y"})
        EXPECT_EQ(numeric(*node, label)->value, tenth) << label;
    EXPECT_EQ(node->effect->param.tweak.x, tenth);
    EXPECT_EQ(numeric(*node, "Cell Angle")->value, 0.0);  // its arm end was not under the press
    // Each crosshair notifies its x and y control on release.
    EXPECT_EQ(node->control_change_count(), 4);

    // Dragged out of the picture, the host keeps each control at the end of
    // its range; once released, drags move nothing.
    node->draw_overlay(nullptr);
    EXPECT_TRUE(event(*node, 0, 192.0f, 108.0f));
    event(*node, 1, -50.0f, 5000.0f, 1.0f);
    event(*node, 2, -50.0f, 5000.0f);
    EXPECT_EQ(numeric(*node, "Tweak_X")->value, 0.0);
    EXPECT_EQ(numeric(*node, "Tweak_Y")->value, 1.0);
    event(*node, 1, 960.0f, 540.0f, 1.0f);
    EXPECT_EQ(numeric(*node, "Tweak_X")->value, 0.0);
}

TEST(OverlayBridge, TheLightHandleLivesOnlyWhileTheLightIsOnAndBright)
{
    auto node = viewed_node();
    auto& p = node->effect->param;
    const float lx = 0.2f * 1920, ly = 0.8f * 1080;
    EXPECT_FALSE(event(*node, 0, lx, ly));  // Light Active off: never drawn, never hit

    static_cast<CBoolean*>(node->controls[vx::control_row("Light Active")].control)->state = true;
    p.pull_all();
    node->draw_overlay(nullptr);
    EXPECT_TRUE(event(*node, 0, lx, ly));
    event(*node, 2, lx, ly);

    numeric(*node, "Brightness")->value = 0.0;
    p.pull_all();
    node->draw_overlay(nullptr);
    EXPECT_FALSE(event(*node, 0, lx, ly));
}

}  // namespace
