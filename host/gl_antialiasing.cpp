// Line smoothing in the viewer's current OpenGL context. The OpenGL library
// is looked up on the first call, which only a program drawing in a context
// makes (and that program has loaded it already): programs that never draw,
// such as trellin's commands that read no pictures, do not load it.
#ifdef _WIN32
#include <windows.h>
#endif
#include <GL/gl.h>

#include <string>

#include "contract/host_api.h"
#include "host/platform_library.h"

namespace {

struct GlCalls {
    void (*enable)(GLenum) = nullptr;
    void (*disable)(GLenum) = nullptr;
    void (*blend_func)(GLenum, GLenum) = nullptr;
    void (*hint)(GLenum, GLenum) = nullptr;

    bool complete() const
    {
        return enable != nullptr && disable != nullptr && blend_func != nullptr && hint != nullptr;
    }
};

template <class Fn>
void look_up(void* library, const char* name, Fn& fn)
{
    std::string error;
    fn = reinterpret_cast<Fn>(platform::library_symbol(library, name, error));
}

GlCalls load_gl_calls()
{
    GlCalls calls;
    // Both dispatch to the current context; never unloaded.
    std::string error;
#ifdef _WIN32
    void* library = platform::open_library("opengl32.dll", error);
#else
    void* library = platform::open_library("libOpenGL.so.0", error);
    if (library == nullptr) library = platform::open_library("libGL.so.1", error);
#endif
    if (library == nullptr) return calls;
    look_up(library, "glEnable", calls.enable);
    look_up(library, "glDisable", calls.disable);
    look_up(library, "glBlendFunc", calls.blend_func);
    look_up(library, "glHint", calls.hint);
    return calls;
}

}  // namespace

void gl_antialiasing(int on)
{
    static const GlCalls gl = load_gl_calls();
    // Without an OpenGL library there is no context to draw in either.
    if (!gl.complete()) return;
    if (on != 0) {
        gl.enable(GL_LINE_SMOOTH);
        gl.enable(GL_BLEND);
        gl.blend_func(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        gl.hint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    } else {
        gl.disable(GL_LINE_SMOOTH);
        gl.disable(GL_BLEND);
    }
}
