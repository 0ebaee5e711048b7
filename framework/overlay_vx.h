// On-screen handles: the effect's overlay side, which draws its handles with
// OpenGL and routes the viewer's mouse events to them, and the two kinds of
// handle (a crosshair for a point, an arm about a pivot for an angle).
#pragma once

#include <cstdint>
#include <limits>

#include "framework/control_vx.h"
#include "contract/host_api.h"

namespace vx {

// Mouse event codes seen by the handles.
enum MouseCode : int { mouse_move = 0, mouse_press = 1, mouse_drag = 2, mouse_release = 3 };

class OverlayControlVx;
class CrosshairOverlayVx;
class AngleOverlayVx;

class OverlayVx {
public:
    virtual ~OverlayVx() = default;

    std::int32_t view_width = 0;
    std::int32_t view_height = 0;
    float scale_y = 1.0f;
    float scale_x = 1.0f;
    float zoom = 1.0f;

    virtual void draw() {}
    virtual void mouse(int /*code*/, float /*x*/, float /*y*/) {}

    // Drawing operations; points are in image pixels and are given to OpenGL
    // relative to the image centre.
    void set_colour(int r, int g, int b, int a);
    void draw_line(float x1, float y1, float x2, float y2);
    void draw_box(float x, float y);
    void draw_crosshair(float x, float y, int diagonal_arms);
    void draw_crosshair_handle(CrosshairOverlayVx& handle);
    void draw_angle_handle(AngleOverlayVx& handle);
};

// A position no pointer can hit: the hit tests compare with strict
// inequalities, which NaN never satisfies.
inline constexpr float never_hit = std::numeric_limits<float>::quiet_NaN();

class OverlayControlVx {
public:
    virtual ~OverlayControlVx() = default;

    ControlVx* control = nullptr;         // typed control refreshed after each write
    std::int32_t* event_taken = nullptr;  // the effect's overlay_event_taken
    int colour[4] = {65535, 65535, 65535, 65535};
    bool shown = true;
    std::int32_t dragging = 0;
    OverlayVx* overlay = nullptr;
    float x = 0.0f;
    float y = 0.0f;

    virtual void mouse(int code, float mx, float my) = 0;
    virtual void apply(int code, float mx, float my) = 0;
};

class CrosshairOverlayVx : public OverlayControlVx {
public:
    CNumeric* host_x = nullptr;
    CNumeric* host_y = nullptr;
    float pixel_x = never_hit;
    float pixel_y = never_hit;
    std::int32_t diagonal_arms = 0;

    void mouse(int code, float mx, float my) override;
    void apply(int code, float mx, float my) override;
};

class AngleOverlayVx : public OverlayControlVx {
public:
    CNumeric* host_angle = nullptr;
    float length = 0.0f;
    float angle = 0.0f;
    float end_x = never_hit;
    float end_y = never_hit;

    void mouse(int code, float mx, float my) override;
    void apply(int code, float mx, float my) override;
};

}  // namespace vx
