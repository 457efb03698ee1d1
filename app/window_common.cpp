// The parts of the window that are the same on every platform.
#include "app/window_common.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "app/window.h"
#include "platform/platform.h"

void creation_error(const char* text) {
    show_message_box(text, "ERROR", MessageBoxIcon::WARNING, MessageBoxButtons::OK);
}

bool creation_failed(const char* text) {
    destroy_window();
    creation_error(text);
    return false;
}

void shutdown_error(const char* text) {
    show_message_box(text, "SHUTDOWN ERROR", MessageBoxIcon::INFORMATION, MessageBoxButtons::OK);
}

bool accept_windowed_mode() {
    MessageBoxAnswer answer = show_message_box(
        "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode "
        "Instead?",
        "Zelv GL", MessageBoxIcon::WARNING, MessageBoxButtons::YES_NO);
    if (answer == MessageBoxAnswer::YES) return true;
    show_message_box("Program Will Now Close.", "ERROR", MessageBoxIcon::STOP,
                     MessageBoxButtons::OK);
    return false;
}

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

