// EGL surfaceless context and framebuffer object. No window system is
// touched, so the capture runs with no X server or DISPLAY at all. OSMesa
// would serve too, but it brings a second set of gl* entry points beside the
// GL library the scenes link, and which one a call reaches would depend on
// link order.
#include "tools/capture/offscreen_gl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <cstdio>

namespace {

struct FramebufferCalls {
    PFNGLGENFRAMEBUFFERSPROC gen_framebuffers;
    PFNGLBINDFRAMEBUFFERPROC bind_framebuffer;
    PFNGLDELETEFRAMEBUFFERSPROC delete_framebuffers;
    PFNGLGENRENDERBUFFERSPROC gen_renderbuffers;
    PFNGLBINDRENDERBUFFERPROC bind_renderbuffer;
    PFNGLDELETERENDERBUFFERSPROC delete_renderbuffers;
    PFNGLRENDERBUFFERSTORAGEPROC renderbuffer_storage;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebuffer_renderbuffer;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC check_framebuffer_status;
};

FramebufferCalls framebuffer_calls = {};

template <typename Function>
bool look_up(Function* function, const char* name) {
    *function = reinterpret_cast<Function>(eglGetProcAddress(name));
    return *function != nullptr;
}

bool look_up_framebuffer_calls(FramebufferCalls* calls) {
    return look_up(&calls->gen_framebuffers, "glGenFramebuffers") &&
           look_up(&calls->bind_framebuffer, "glBindFramebuffer") &&
           look_up(&calls->delete_framebuffers, "glDeleteFramebuffers") &&
           look_up(&calls->gen_renderbuffers, "glGenRenderbuffers") &&
           look_up(&calls->bind_renderbuffer, "glBindRenderbuffer") &&
           look_up(&calls->delete_renderbuffers, "glDeleteRenderbuffers") &&
           look_up(&calls->renderbuffer_storage, "glRenderbufferStorage") &&
           look_up(&calls->framebuffer_renderbuffer, "glFramebufferRenderbuffer") &&
           look_up(&calls->check_framebuffer_status, "glCheckFramebufferStatus");
}

bool fail(OffscreenGl* gl, std::string* error, const std::string& text) {
    offscreen_close(gl);
    *error = text;
    return false;
}

std::string egl_error_text(const char* what) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(eglGetError()));
    return std::string(what) + " failed (EGL error " + code + ")";
}

EGLDisplay surfaceless_display() {
    auto get_platform_display =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (get_platform_display == nullptr) return EGL_NO_DISPLAY;
    return get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
}

bool create_context(OffscreenGl* gl, std::string* error) {
    EGLDisplay display = surfaceless_display();
    if (display == EGL_NO_DISPLAY) return fail(gl, error, "no surfaceless EGL display (Mesa's EGL is needed)");
    EGLint major = 0;
    EGLint minor = 0;
    if (!eglInitialize(display, &major, &minor)) return fail(gl, error, egl_error_text("eglInitialize"));
    gl->display = display;
    if (!eglBindAPI(EGL_OPENGL_API)) return fail(gl, error, egl_error_text("eglBindAPI(OpenGL)"));
    // No surface: the framebuffer object is the only drawable, so no config is needed.
    EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT) return fail(gl, error, egl_error_text("eglCreateContext"));
    gl->context = context;
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        return fail(gl, error, egl_error_text("eglMakeCurrent"));
    }
    return true;
}

bool create_framebuffer(OffscreenGl* gl, std::string* error) {
    if (!look_up_framebuffer_calls(&framebuffer_calls)) {
        return fail(gl, error, "the GL context has no framebuffer objects");
    }
    GLint largest = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
    if (gl->width > largest || gl->height > largest) {
        return fail(gl, error, "GL cannot draw " + std::to_string(gl->width) + "x" + std::to_string(gl->height) +
                                   " pixels (at most " + std::to_string(largest) + " a side)");
    }
    const FramebufferCalls& calls = framebuffer_calls;
    calls.gen_framebuffers(1, &gl->framebuffer);
    calls.bind_framebuffer(GL_FRAMEBUFFER, gl->framebuffer);
    calls.gen_renderbuffers(1, &gl->colour_buffer);
    calls.bind_renderbuffer(GL_RENDERBUFFER, gl->colour_buffer);
    calls.renderbuffer_storage(GL_RENDERBUFFER, GL_RGB8, gl->width, gl->height);
    calls.framebuffer_renderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, gl->colour_buffer);
    calls.gen_renderbuffers(1, &gl->depth_buffer);
    calls.bind_renderbuffer(GL_RENDERBUFFER, gl->depth_buffer);
    calls.renderbuffer_storage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, gl->width, gl->height);
    calls.framebuffer_renderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, gl->depth_buffer);
    if (calls.check_framebuffer_status(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        return fail(gl, error, "the GL framebuffer for drawing is incomplete");
    }
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    return true;
}

}  // namespace

bool offscreen_open(OffscreenGl* gl, int32_t width, int32_t height, std::string* error) {
    *gl = OffscreenGl{};
    gl->width = width;
    gl->height = height;
    return create_context(gl, error) && create_framebuffer(gl, error);
}

void offscreen_close(OffscreenGl* gl) {
    if (gl->context != nullptr && gl->framebuffer != 0) {
        framebuffer_calls.bind_framebuffer(GL_FRAMEBUFFER, 0);
        framebuffer_calls.delete_framebuffers(1, &gl->framebuffer);
    }
    if (gl->context != nullptr && gl->colour_buffer != 0) framebuffer_calls.delete_renderbuffers(1, &gl->colour_buffer);
    if (gl->context != nullptr && gl->depth_buffer != 0) framebuffer_calls.delete_renderbuffers(1, &gl->depth_buffer);
    if (gl->display != nullptr) {
        eglMakeCurrent(gl->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (gl->context != nullptr) eglDestroyContext(gl->display, gl->context);
        eglTerminate(gl->display);
        eglReleaseThread();
    }
    *gl = OffscreenGl{};
}

void offscreen_set_projection(const OffscreenGl* gl) {
    glViewport(0, 0, gl->width, gl->height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(gl->width) / static_cast<double>(gl->height),
                   static_cast<double>(0.1f), 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void offscreen_read_rgb(const OffscreenGl* gl, uint8_t* pixels) {
    GLint alignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, gl->width, gl->height, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
}
