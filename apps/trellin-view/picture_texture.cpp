#include "apps/trellin-view/picture_texture.h"

#include <GL/gl.h>

namespace trellin_view {

PictureTexture::~PictureTexture()
{
    if (texture_ != 0) {
        GLuint t = texture_;
        glDeleteTextures(1, &t);
    }
}

void PictureTexture::upload(const trellin_app::HostPicture& picture)
{
    if (picture.width <= 0 || picture.height <= 0) return;
    if (texture_ == 0) {
        GLuint t = 0;
        glGenTextures(1, &t);
        texture_ = t;
    }
    glBindTexture(GL_TEXTURE_2D, texture_);
    // Reduced levels, so that a picture shown smaller than it is (the input
    // at the fitted size) is averaged rather than picked at every few pixels.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    // Rows of 16-bit samples are packed: 2-byte alignment holds for any width.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    const GLenum format = picture.samples == 4 ? GL_RGBA : GL_RGB;
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, picture.width, picture.height, 0, format, GL_UNSIGNED_SHORT,
                 picture.data.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    width_ = picture.width;
    height_ = picture.height;
}

void PictureTexture::draw(const Rect& where, const Rect& clip, double window_width, double window_height, int fb_width,
                          int fb_height) const
{
    glViewport(0, 0, fb_width, fb_height);
    const double scale = window_width > 0.0 ? double(fb_width) / window_width : 1.0;
    const Viewport box = picture_viewport(clip, window_height, scale);
    if (box.width <= 0 || box.height <= 0) return;
    glEnable(GL_SCISSOR_TEST);
    glScissor(box.x, box.y, box.width, box.height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // Window units, origin top-left, y down.
    glOrtho(0.0, window_width, window_height, 0.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    const double x0 = where.x, y0 = where.y, x1 = where.x + where.width, y1 = where.y + where.height;
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glColor4f(0.18f, 0.18f, 0.18f, 1.0f);
    glBegin(GL_QUADS);
    glVertex2d(x0, y0);
    glVertex2d(x1, y0);
    glVertex2d(x1, y1);
    glVertex2d(x0, y1);
    glEnd();
    if (texture_ == 0) {
        glDisable(GL_SCISSOR_TEST);
        return;
    }

    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture_);
    const bool enlarged = where.width * scale >= 2.0 * double(width_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, enlarged ? GL_NEAREST : GL_LINEAR);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2d(x0, y0);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2d(x1, y0);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2d(x1, y1);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2d(x0, y1);
    glEnd();
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDisable(GL_SCISSOR_TEST);
}

}  // namespace trellin_view
