// Line smoothing in the viewer's current OpenGL context. The OpenGL library
// is looked up on the first call, which only a program drawing in a context
// makes (and that program has loaded it already): programs that never draw,
// such as trellin's commands that read no pictures, do not load it.
#include <GL/gl.h>
#include <dlfcn.h>

#include "contract/host_api.h"

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
    fn = reinterpret_cast<Fn>(::dlsym(library, name));
}

GlCalls load_gl_calls()
{
    GlCalls calls;
    // Both dispatch to the current context; never unloaded.
    void* library = ::dlopen("libOpenGL.so.0", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) library = ::dlopen("libGL.so.1", RTLD_NOW | RTLD_LOCAL);
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
