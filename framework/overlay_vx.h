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
    virtual void mouse(MouseCode /*code*/, float /*x*/, float /*y*/) {}

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

// A handle the pointer drags. A press that catches it starts a drag and
// tells the effect the press is taken; each drag moves the handle's value to
// the pointer, writes it to the host controls and refreshes the typed
// control; the release writes it once more and tells the node of each host
// control it wrote; a cancel ends the drag and writes nothing. Without a drag
// nothing is written. Each kind of handle supplies only its hit test and how
// the pointer maps to its value.
class OverlayControlVx {
public:
    virtual ~OverlayControlVx() = default;

    ControlVx* control = nullptr;  // typed control refreshed after each write
    bool* event_taken = nullptr;   // the effect's overlay_event_taken
    int colour[4] = {65535, 65535, 65535, 65535};
    bool shown = true;
    bool dragging = false;
    OverlayVx* overlay = nullptr;
    float x = 0.0f;
    float y = 0.0f;

    // Takes one pointer event, at (mx, my) in view pixels.
    void mouse(MouseCode code, float mx, float my);
    // Ends a drag without writing anything.
    void cancel() { dragging = false; }

protected:
    // The pointer at (mx, my) catches the handle.
    virtual bool hit(float mx, float my) const = 0;
    // Sets the handle's value from the pointer at (mx, my).
    virtual void follow(float mx, float my) = 0;
    // Writes the handle's value to its host controls.
    virtual void write() = 0;
    // Tells the node that each host control the handle writes has changed.
    virtual void announce() = 0;
};

class CrosshairOverlayVx : public OverlayControlVx {
public:
    CNumeric* host_x = nullptr;
    CNumeric* host_y = nullptr;
    float pixel_x = never_hit;
    float pixel_y = never_hit;
    std::int32_t diagonal_arms = 0;

protected:
    bool hit(float mx, float my) const override;
    void follow(float mx, float my) override;
    void write() override;
    void announce() override;
};

class AngleOverlayVx : public OverlayControlVx {
public:
    CNumeric* host_angle = nullptr;
    float length = 0.0f;
    float angle = 0.0f;
    float end_x = never_hit;
    float end_y = never_hit;

protected:
    bool hit(float mx, float my) const override;
    void follow(float mx, float my) override;
    void write() override;
    void announce() override;
};

}  // namespace vx
