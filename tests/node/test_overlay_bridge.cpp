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
constexpr OverlayEventKind press = OverlayEventKind::press;
constexpr OverlayEventKind move = OverlayEventKind::move;
constexpr OverlayEventKind release = OverlayEventKind::release;

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
    vx::pull_typed_controls(node->effect->param);
    node->draw_overlay(nullptr);
    node->clear_host_records();
    return node;
}

bool event(TrellinNode& node, OverlayEventKind kind, float x, float y, float button = 0.0f)
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
    EXPECT_FALSE(event(*node, press, 100.0f, 100.0f));
    EXPECT_EQ(node->ovl_update_requests(), 0);
    EXPECT_FALSE(event(*node, release, 100.0f, 100.0f));
    EXPECT_EQ(node->invalidated_ranges(), (std::vector<std::pair<double, double>>{{-1.0, -1.0}}));
    EXPECT_EQ(node->ovl_update_requests(), 1);
    EXPECT_EQ(node->control_change_count(), 0);
}

// Where the handles land and how out-of-picture drags clamp is checked
// through the overlay program; here, the host records a drag leaves.
TEST(OverlayBridge, DragsNeedAButtonAndNotifyEachControlOnRelease)
{
    auto node = viewed_node();
    EXPECT_TRUE(event(*node, press, 960.0f, 540.0f));
    EXPECT_FALSE(event(*node, move, 192.0f, 108.0f, 0.0f));  // without a button the pointer only hovers
    EXPECT_EQ(numeric(*node, "Tweak_X")->value, 0.5);
    EXPECT_EQ(node->ovl_update_requests(), 1);
    EXPECT_FALSE(event(*node, move, 192.0f, 108.0f, 0.5f));
    EXPECT_EQ(node->ovl_update_requests(), 2);
    EXPECT_FALSE(event(*node, release, 192.0f, 108.0f));
    EXPECT_EQ(node->effect->param.tweak.x, static_cast<double>(0.1f));
    EXPECT_EQ(node->control_change_count(), 4);  // x and y of both crosshairs
    event(*node, move, 960.0f, 540.0f, 1.0f);    // once released, drags move nothing
    EXPECT_EQ(numeric(*node, "Tweak_X")->value, static_cast<double>(0.1f));
}

TEST(OverlayBridge, TheLightHandleIsNotHitWithoutBrightness)
{
    auto node = viewed_node();
    const float lx = 0.2f * 1920, ly = 0.8f * 1080;
    static_cast<CBoolean*>(node->controls[vx::control_row("Light Active")].control)->state = true;
    for (double brightness : {1.0, 0.0}) {
        numeric(*node, "Brightness")->value = brightness;
        vx::pull_typed_controls(node->effect->param);
        node->draw_overlay(nullptr);
        EXPECT_EQ(event(*node, press, lx, ly), brightness > 0.0) << brightness;
        event(*node, release, lx, ly);
    }
}

// Kinds other than the three are a hover: they drag nothing.
TEST(OverlayBridge, AnUnknownEventKindOnlyHovers)
{
    auto node = viewed_node();
    EXPECT_TRUE(event(*node, press, 960.0f, 540.0f));
    EXPECT_FALSE(event(*node, static_cast<OverlayEventKind>(7), 192.0f, 108.0f, 1.0f));
    EXPECT_EQ(node->effect->param.tweak.x, 0.5);
    EXPECT_EQ(node->ovl_update_requests(), 1);
}

// A drag of the light handle ends when the light goes off: once it is back,
// moves without a new press leave it where it was.
TEST(OverlayBridge, ALightHandleDragEndsWhenTheLightGoesOff)
{
    auto node = viewed_node();
    const float lx = 0.2f * 1920, ly = 0.8f * 1080;
    static_cast<CBoolean*>(node->controls[vx::control_row("Light Active")].control)->state = true;
    vx::pull_typed_controls(node->effect->param);
    node->draw_overlay(nullptr);
    ASSERT_TRUE(event(*node, press, lx, ly));
    for (double brightness : {0.0, 100.0}) {
        numeric(*node, "Brightness")->value = brightness;
        vx::pull_typed_controls(node->effect->param);
        event(*node, move, 960.0f, 540.0f, 1.0f);
    }
    EXPECT_EQ(numeric(*node, "Light_X")->value, 0.2);
    EXPECT_EQ(node->effect->param.light_position.x, 0.2);
}

}  // namespace
