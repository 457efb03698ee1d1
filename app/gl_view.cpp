// The projection and the basic GL state of the window, the same on every
// platform.
#include <GL/gl.h>
#include <GL/glu.h>

#include "app/window.h"

void resize_viewport(int width, int height) {
    if (height == 0) height = 1;
    // Before a context is current (the size message that comes while the
    // window is being created) these calls do nothing; create_window sets
    // viewport and projection itself once the context stands.
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(width) / static_cast<double>(height),
                   static_cast<double>(0.1f), 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

bool init_gl_state() {
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    return true;
}

