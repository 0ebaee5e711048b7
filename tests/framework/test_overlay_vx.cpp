// Handles without a viewer: hit tests, drags and what they write to their
// host controls. Drawing happens with no OpenGL context current, where the
// drawing calls do nothing but the hit positions are still recorded.
#include <gtest/gtest.h>

#include "framework/overlay_vx.h"

namespace {

struct CrosshairRig {
    CNumeric x{"x", 0.5, 0.0, 1.0, 0.001, true};
    CNumeric y{"y", 0.5, 0.0, 1.0, 0.001, true};
    vx::PositionControlVx position;
    vx::OverlayVx overlay;
    vx::CrosshairOverlayVx handle;
    std::int32_t taken = 0;

    CrosshairRig()
    {
        position.host = &x;
        position.host_y = &y;
        overlay.view_width = 1920;
        overlay.view_height = 1080;
        handle.host_x = &x;
        handle.host_y = &y;
        handle.control = &position;
        handle.overlay = &overlay;
        handle.event_taken = &taken;
        handle.x = 0.5f;
        handle.y = 0.5f;
    }
};

struct AngleRig {
    CNumeric angle{"Cell Angle", 0.0, -360.0, 360.0, 0.5, true};
    vx::AngleControlVx control;
    vx::OverlayVx overlay;
    vx::AngleOverlayVx handle;
    std::int32_t taken = 0;

    AngleRig()
    {
        control.host = &angle;
        overlay.view_width = 1920;
        overlay.view_height = 1080;
        handle.host_angle = &angle;
        handle.control = &control;
        handle.overlay = &overlay;
        handle.event_taken = &taken;
        handle.x = 0.5f;
        handle.y = 0.5f;
        handle.length = 0.1f;
    }
};

TEST(OverlayVx, AHandleIsCaughtOnlyInsideTheOpenFivePixelBox)
{
    CrosshairRig rig;
    // Before its first draw a handle cannot be caught anywhere.
    rig.handle.mouse(vx::mouse_press, 960.0f, 540.0f);
    EXPECT_EQ(rig.handle.dragging, 0);
    EXPECT_EQ(rig.taken, 0);

    rig.overlay.draw_crosshair_handle(rig.handle);
    EXPECT_EQ(rig.handle.pixel_x, 960.0f);
    EXPECT_EQ(rig.handle.pixel_y, 540.0f);

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
    AngleRig rig;
    rig.overlay.draw_angle_handle(rig.handle);
    EXPECT_EQ(rig.handle.end_x, 1152.0f);
    EXPECT_EQ(rig.handle.end_y, 540.0f);
    rig.handle.mouse(vx::mouse_press, 1152.0f, 540.0f);
    ASSERT_EQ(rig.handle.dragging, 1);

    const struct {
        float x, y;
        double angle;
    } cases[] = {{1060, 540, 0.0}, {960, 640, 90.0}, {860, 540, 180.0}, {960, 440, 270.0},
                 {1060, 640, 45.0}, {860, 640, 135.0}, {860, 440, 225.0}, {1060, 440, 315.0}};
    for (const auto& c : cases) {
        rig.handle.mouse(vx::mouse_drag, c.x, c.y);
        EXPECT_EQ(rig.angle.value, c.angle) << c.x << "," << c.y;
        EXPECT_EQ(rig.control.value, c.angle);
    }
}

}  // namespace
