// Handles without a viewer: hit tests, drags and what they write to their
// host controls. With no OpenGL context current the drawing calls do nothing
// but the hit positions are still recorded.
#include <gtest/gtest.h>

#include "framework/overlay_vx.h"

namespace {

// A handle at the centre of a 1920 x 1080 view.
template <class Handle>
struct Rig {
    vx::OverlayVx overlay;
    Handle handle;
    bool taken = false;

    Rig(vx::ControlVx& control)
    {
        overlay.view_width = 1920;
        overlay.view_height = 1080;
        handle.control = &control;
        handle.overlay = &overlay;
        handle.event_taken = &taken;
        handle.x = handle.y = 0.5f;
    }
};

TEST(OverlayVx, AHandleIsCaughtOnlyInsideTheOpenFivePixelBox)
{
    CNumeric x{"x", 0.5, 0.0, 1.0, 0.001, true}, y{"y", 0.5, 0.0, 1.0, 0.001, true};
    vx::PositionControlVx position;
    position.host = &x;
    position.host_y = &y;
    Rig<vx::CrosshairOverlayVx> rig(position);
    rig.handle.host_x = &x;
    rig.handle.host_y = &y;
    // Before its first draw a handle cannot be caught anywhere.
    rig.handle.mouse(vx::mouse_press, 960.0f, 540.0f);
    EXPECT_EQ(rig.handle.dragging, 0);

    rig.overlay.draw_crosshair_handle(rig.handle);
    for (auto [dx, dy] : {std::pair{5.0f, 0.0f}, {-5.0f, 0.0f}, {0.0f, 5.0f}, {0.0f, -5.0f}}) {
        rig.handle.mouse(vx::mouse_press, 960.0f + dx, 540.0f + dy);
        EXPECT_EQ(rig.handle.dragging, 0) << dx << "," << dy;
    }
    EXPECT_EQ(rig.taken, 0);
    rig.handle.mouse(vx::mouse_press, 964.9f, 544.9f);
    EXPECT_EQ(rig.handle.dragging, 1);
    EXPECT_EQ(rig.taken, 1);
}

TEST(OverlayVx, AngleFollowsThePointerInAllFourQuadrants)
{
    CNumeric angle{"Cell Angle", 0.0, -360.0, 360.0, 0.5, true};
    vx::AngleControlVx control;
    control.host = &angle;
    Rig<vx::AngleOverlayVx> rig(control);
    rig.handle.host_angle = &angle;
    rig.handle.length = 0.1f;
    rig.overlay.draw_angle_handle(rig.handle);
    rig.handle.mouse(vx::mouse_press, 1152.0f, 540.0f);  // the arm's end, 0.1 of the width right
    ASSERT_EQ(rig.handle.dragging, 1);

    const struct {
        float x, y;
        double angle;
    } cases[] = {{1060, 540, 0.0},  {960, 640, 90.0},  {860, 540, 180.0}, {960, 440, 270.0},
                 {1060, 640, 45.0}, {860, 640, 135.0}, {860, 440, 225.0}, {1060, 440, 315.0}};
    for (const auto& c : cases) {
        rig.handle.mouse(vx::mouse_drag, c.x, c.y);
        EXPECT_EQ(angle.value, c.angle) << c.x << "," << c.y;
        EXPECT_EQ(control.value, c.angle);
    }
}

// A drag writes and refreshes on every move and once more on release; a
// cancel ends it without writing, and later drags move nothing until a press
// catches the handle again.
TEST(OverlayVx, ADragWritesUntilReleasedOrCancelled)
{
    CNumeric x{"x", 0.5, 0.0, 1.0, 0.001, true}, y{"y", 0.5, 0.0, 1.0, 0.001, true};
    vx::PositionControlVx position;
    position.host = &x;
    position.host_y = &y;
    Rig<vx::CrosshairOverlayVx> rig(position);
    rig.handle.host_x = &x;
    rig.handle.host_y = &y;
    rig.overlay.draw_crosshair_handle(rig.handle);

    rig.handle.mouse(vx::mouse_press, 960.0f, 540.0f);
    rig.handle.mouse(vx::mouse_drag, 480.0f, 270.0f);
    EXPECT_TRUE(x.value == 0.25 && y.value == 0.25 && position.x == 0.25 && position.y == 0.25);
    rig.handle.mouse(vx::mouse_move, 0.0f, 0.0f);  // a move without a button changes nothing
    rig.handle.mouse(vx::mouse_release, 0.0f, 0.0f);
    EXPECT_TRUE(x.value == 0.25 && y.value == 0.25 && !rig.handle.dragging);
    rig.handle.mouse(vx::mouse_drag, 960.0f, 540.0f);
    EXPECT_EQ(x.value, 0.25);

    rig.overlay.draw_crosshair_handle(rig.handle);
    rig.handle.mouse(vx::mouse_press, 480.0f, 270.0f);
    ASSERT_TRUE(rig.handle.dragging);
    rig.handle.cancel();
    for (auto code : {vx::mouse_drag, vx::mouse_release}) rig.handle.mouse(code, 1920.0f, 1080.0f);
    EXPECT_TRUE(x.value == 0.25 && y.value == 0.25 && position.x == 0.25);
}

}  // namespace
