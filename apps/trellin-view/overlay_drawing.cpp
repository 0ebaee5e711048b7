#include "apps/trellin-view/overlay_drawing.h"

#include <GL/gl.h>

#include <algorithm>

namespace trellin_view {

namespace {

// Line widths in framebuffer pixels: the node's own, and the outline's.
constexpr float line_width = 1.0f;
constexpr float outline_width = 3.0f;

// Every vertex drawn while this is set comes out in one dark colour,
// whatever colour the node asks for: lighting without lights gives each
// vertex the material's emission, and the material's diffuse alpha.
void force_outline_colour(bool on)
{
    if (!on) {
        glDisable(GL_LIGHTING);
        return;
    }
    const GLfloat none[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    const GLfloat emission[4] = {0.02f, 0.02f, 0.03f, 1.0f};
    const GLfloat diffuse[4] = {0.0f, 0.0f, 0.0f, 0.7f};
    glDisable(GL_COLOR_MATERIAL);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, none);
    for (int i = 0; i < 8; ++i) glDisable(GLenum(GL_LIGHT0 + i));
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, none);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, none);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, emission);
    glEnable(GL_LIGHTING);
}

}  // namespace

void draw_node_overlay(FXNode& node, const OverlayPlace& place, bool outline)
{
    const Rect& area = place.area;
    const Viewport v = picture_viewport(area, place.window_height, place.framebuffer_scale);
    if (v.width <= 0 || v.height <= 0 || place.picture.width <= 0.0 || place.picture.height <= 0.0) return;

    // The image pixels at the area's edges, about the picture's centre.
    const double w = place.image_width;
    const double h = place.image_height;
    const double left = (area.x - place.picture.x) * w / place.picture.width - w / 2.0;
    const double right = (area.x + area.width - place.picture.x) * w / place.picture.width - w / 2.0;
    const double top = (area.y - place.picture.y) * h / place.picture.height - h / 2.0;
    const double bottom = (area.y + area.height - place.picture.y) * h / place.picture.height - h / 2.0;

    glViewport(v.x, v.y, v.width, v.height);
    glEnable(GL_SCISSOR_TEST);
    glScissor(v.x, v.y, v.width, v.height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(left, right, bottom, top, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_TEXTURE_2D);

    const float scale = static_cast<float>(std::max(1.0, place.framebuffer_scale));
    if (outline) {
        force_outline_colour(true);
        glLineWidth(outline_width * scale);
        node.draw_overlay(nullptr);
        force_outline_colour(false);
    }
    glLineWidth(line_width * scale);
    node.draw_overlay(nullptr);
    glLineWidth(1.0f);
    glDisable(GL_SCISSOR_TEST);
}

}  // namespace trellin_view
