// Line smoothing in the viewer's current OpenGL context.
#include <GL/gl.h>

#include "contract/host_api.h"

void gl_antialiasing(int on)
{
    if (on != 0) {
        glEnable(GL_LINE_SMOOTH);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    } else {
        glDisable(GL_LINE_SMOOTH);
        glDisable(GL_BLEND);
    }
}
