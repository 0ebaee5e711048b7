#define GL_GLEXT_PROTOTYPES 1
#include "apps/gl/headless_view.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>
#include <mutex>

namespace trellin_gl {

namespace {

// Views share one surfaceless display, made on first use and kept until the
// process ends: terminating it unloads the driver, which leaves the driver's
// own allocations behind as leaks.
std::mutex display_mutex;
EGLDisplay shared_display = EGL_NO_DISPLAY;

EGLDisplay surfaceless_display(std::string& error)
{
    std::lock_guard lock(display_mutex);
    if (shared_display != EGL_NO_DISPLAY) return shared_display;
    auto get_platform_display =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!get_platform_display) {
        error = "EGL offers no eglGetPlatformDisplayEXT";
        return EGL_NO_DISPLAY;
    }
    EGLDisplay display = get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY) {
        error = "no surfaceless EGL display (Mesa's surfaceless platform is missing)";
        return EGL_NO_DISPLAY;
    }
    EGLint major = 0, minor = 0;
    if (!eglInitialize(display, &major, &minor)) {
        error = "eglInitialize failed on the surfaceless display";
        return EGL_NO_DISPLAY;
    }
    shared_display = display;
    return display;
}

}  // namespace

std::unique_ptr<HeadlessView> HeadlessView::create(int width, int height, std::string& error)
{
    if (width < 1 || height < 1) {
        error = "a view needs a width and height of at least 1";
        return nullptr;
    }
    std::unique_ptr<HeadlessView> view(new HeadlessView());
    view->width_ = width;
    view->height_ = height;

    EGLDisplay display = surfaceless_display(error);
    if (display == EGL_NO_DISPLAY) return nullptr;
    view->display_ = display;

    if (!eglBindAPI(EGL_OPENGL_API)) {
        error = "EGL cannot bind desktop OpenGL";
        return nullptr;
    }
    // The surfaceless platform has no window configurations; pbuffer ones
    // serve a context that draws into its own framebuffer.
    const EGLint config_attribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint config_count = 0;
    if (!eglChooseConfig(display, config_attribs, &config, 1, &config_count) || config_count < 1) {
        error = "no EGL configuration renders desktop OpenGL";
        return nullptr;
    }
    const EGLint context_attribs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                                      EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, context_attribs);
    if (context == EGL_NO_CONTEXT) {
        error = "no compatibility-profile OpenGL context could be made";
        return nullptr;
    }
    view->context_ = context;
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        error = "the OpenGL context cannot be made current without a surface";
        return nullptr;
    }

    glGenFramebuffers(1, &view->framebuffer_);
    glGenRenderbuffers(1, &view->colour_buffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, view->colour_buffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glBindFramebuffer(GL_FRAMEBUFFER, view->framebuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, view->colour_buffer_);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        error = "the " + std::to_string(width) + "x" + std::to_string(height) + " framebuffer is not complete";
        return nullptr;
    }
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);

    // One unit per pixel, the picture's centre at the origin, y downwards.
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-width / 2.0, width / 2.0, height / 2.0, -height / 2.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_LINE_SMOOTH);
    view->clear(0.0f, 0.0f, 0.0f, 1.0f);
    return view;
}

HeadlessView::~HeadlessView()
{
    if (!context_) return;
    // Another view's context that is current stays current.
    const EGLContext previous = eglGetCurrentContext();
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_);
    if (framebuffer_) glDeleteFramebuffers(1, &framebuffer_);
    if (colour_buffer_) glDeleteRenderbuffers(1, &colour_buffer_);
    if (previous != EGL_NO_CONTEXT && previous != context_)
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, previous);
    else
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display_, context_);
}

void HeadlessView::make_current()
{
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
}

void HeadlessView::clear(float r, float g, float b, float a)
{
    glClearColor(r, g, b, a);
    glClear(GL_COLOR_BUFFER_BIT);
}

void HeadlessView::draw_pixels(const void* samples, int channels, unsigned type)
{
    const GLenum format = channels == 3 ? GL_RGB : GL_RGBA;
    GLboolean blend = glIsEnabled(GL_BLEND);
    glDisable(GL_BLEND);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    // From the top-left corner downwards: the first row of the picture is the
    // top row of the view.
    glWindowPos2i(0, height_);
    glPixelZoom(1.0f, -1.0f);
    glDrawPixels(width_, height_, format, type, samples);
    glPixelZoom(1.0f, 1.0f);
    if (blend) glEnable(GL_BLEND);
}

void HeadlessView::draw_picture(const std::uint8_t* samples, int channels)
{
    draw_pixels(samples, channels, GL_UNSIGNED_BYTE);
}

void HeadlessView::draw_picture(const std::uint16_t* samples, int channels)
{
    draw_pixels(samples, channels, GL_UNSIGNED_SHORT);
}

std::vector<std::uint8_t> HeadlessView::read_rgba8()
{
    const std::size_t row_bytes = std::size_t(width_) * 4;
    std::vector<std::uint8_t> bottom_up(row_bytes * height_);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, bottom_up.data());
    std::vector<std::uint8_t> top_down(bottom_up.size());
    for (int y = 0; y < height_; ++y)
        std::memcpy(&top_down[std::size_t(y) * row_bytes], &bottom_up[std::size_t(height_ - 1 - y) * row_bytes],
                    row_bytes);
    return top_down;
}

}  // namespace trellin_gl
