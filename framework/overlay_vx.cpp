#include "framework/overlay_vx.h"

#include <GL/gl.h>

#include <cmath>

namespace vx {

namespace {

constexpr double degrees_to_radians = 0.017453292519943295;
constexpr double radians_to_degrees = 57.29577951308232;

// The pointer lies within `r` of the point (hx, hy) on both axes. The tests
// are strict, so a pointer exactly `r` away misses, and a point that has never
// been drawn (NaN) is never hit.
bool hits(float mx, float my, float hx, float hy, float r)
{
    return mx + r > hx && hx > mx - r && my + r > hy && hy > my - r;
}

// The view's hit radius: 5 pixels at zoom 1.
float hit_radius(const OverlayVx* overlay)
{
    return static_cast<float>(5.0 / overlay->zoom);
}

}  // namespace

// ---------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------

void OverlayVx::set_colour(int r, int g, int b, int a)
{
    const float k = static_cast<float>(1.0 / 65535.0);
    glColor4f(static_cast<float>(r) * k, static_cast<float>(g) * k, static_cast<float>(b) * k,
              static_cast<float>(a) * k);
}

void OverlayVx::draw_line(float x1, float y1, float x2, float y2)
{
    const float cx = static_cast<float>(view_width) * 0.5f;
    const float cy = static_cast<float>(view_height) * 0.5f;
    gl_antialiasing(1);
    glBegin(GL_LINES);
    glVertex2f(x1 - cx, y1 - cy);
    glVertex2f(x2 - cx, y2 - cy);
    glEnd();
    gl_antialiasing(0);
}

void OverlayVx::draw_box(float x, float y)
{
    const float bx = x - static_cast<float>(view_width) * 0.5f;
    const float by = y - static_cast<float>(view_height) * 0.5f;
    gl_antialiasing(1);
    glBegin(GL_LINE_LOOP);
    glVertex2f(bx - 4.0f, by - 4.0f);
    glVertex2f(bx + 4.0f, by - 4.0f);
    glVertex2f(bx + 4.0f, by + 4.0f);
    glVertex2f(bx - 4.0f, by + 4.0f);
    glEnd();
    gl_antialiasing(0);
}

void OverlayVx::draw_crosshair(float x, float y, int diagonal_arms)
{
    const double s = 1.0 / zoom;
    const float inner = static_cast<float>(10.0 * s);
    const float outer = static_cast<float>(25.0 * s);
    draw_line(x + inner, y, x + outer, y);
    draw_line(x - inner, y, x - outer, y);
    draw_line(x, y + inner, x, y + outer);
    draw_line(x, y - inner, x, y - outer);
    if (diagonal_arms) {
        const float hi = inner * 0.5f;
        const float ho = outer * 0.5f;
        draw_line(x + hi, y + hi, x + ho, y + ho);
        draw_line(x - hi, y + hi, x - ho, y + ho);
        draw_line(x + hi, y - hi, x + ho, y - ho);
        draw_line(x - hi, y - hi, x - ho, y - ho);
    }
}

void OverlayVx::draw_crosshair_handle(CrosshairOverlayVx& handle)
{
    set_colour(handle.colour[0], handle.colour[1], handle.colour[2], handle.colour[3]);
    const float px = static_cast<float>(view_width) * handle.x;
    const float py = static_cast<float>(view_height) * handle.y;
    draw_crosshair(px, py, handle.diagonal_arms);
    draw_box(px, py);
    handle.pixel_x = px;
    handle.pixel_y = py;
}

void OverlayVx::draw_angle_handle(AngleOverlayVx& handle)
{
    const double theta = handle.angle * degrees_to_radians;
    const float length = handle.length * static_cast<float>(view_width);
    set_colour(handle.colour[0], handle.colour[1], handle.colour[2], handle.colour[3]);
    const float cx = static_cast<float>(view_width) * handle.x;
    const float cy = static_cast<float>(view_height) * handle.y;
    const float ex = static_cast<float>(cx + length * std::cos(theta));
    const float ey = static_cast<float>(cy + length * std::sin(theta) * (scale_y / scale_x));
    draw_line(cx, cy, ex, ey);
    draw_box(ex, ey);
    handle.end_x = ex;
    handle.end_y = ey;
}

// ---------------------------------------------------------------------------
// Dragging
// ---------------------------------------------------------------------------

void OverlayControlVx::mouse(MouseCode code, float mx, float my)
{
    switch (code) {
    case mouse_press:
        dragging = hit(mx, my);
        if (dragging) *event_taken = true;
        break;
    case mouse_drag:
        if (!dragging) break;
        follow(mx, my);
        write();
        control->pull();
        break;
    case mouse_release:
        if (dragging) {
            write();
            control->pull();
            announce();
        }
        dragging = false;
        break;
    case mouse_move:
        break;
    }
}

// ---------------------------------------------------------------------------
// Crosshair handle
// ---------------------------------------------------------------------------

bool CrosshairOverlayVx::hit(float mx, float my) const
{
    return hits(mx, my, pixel_x, pixel_y, hit_radius(overlay));
}

void CrosshairOverlayVx::follow(float mx, float my)
{
    x = mx / static_cast<float>(overlay->view_width);
    y = my / static_cast<float>(overlay->view_height);
}

void CrosshairOverlayVx::write()
{
    *host_x = x;
    *host_y = y;
}

void CrosshairOverlayVx::announce()
{
    if (!control->node) return;
    control->node->notify_control_changed(host_x, change_reason::finished, -1.0);
    control->node->notify_control_changed(host_y, change_reason::finished, -1.0);
}

// ---------------------------------------------------------------------------
// Angle handle
// ---------------------------------------------------------------------------

bool AngleOverlayVx::hit(float mx, float my) const
{
    return hits(mx, my, end_x, end_y, hit_radius(overlay));
}

void AngleOverlayVx::follow(float mx, float my)
{
    // The inverse of the arm's end point: the angle of the pointer about the
    // pivot, from +x towards +y, in 0..360 degrees.
    const float cx = static_cast<float>(overlay->view_width) * x;
    const float cy = static_cast<float>(overlay->view_height) * y;
    const float dx = std::fabs(mx - cx);
    const float dy = std::fabs(my - cy);
    const double a =
        std::atan2(static_cast<double>(dy * (overlay->scale_x / overlay->scale_y)), static_cast<double>(dx)) *
        radians_to_degrees;
    if (cx > mx && my >= cy)
        angle = static_cast<float>(180.0 - a);
    else if (cx >= mx && cy > my)
        angle = static_cast<float>(a + 180.0);
    else if (mx > cx && cy > my)
        angle = static_cast<float>(360.0 - a);
    else
        angle = static_cast<float>(a);
}

void AngleOverlayVx::write()
{
    *host_angle = angle;
}

void AngleOverlayVx::announce()
{
    if (control->node) control->node->notify_control_changed(host_angle, change_reason::finished, -1.0);
}

}  // namespace vx
