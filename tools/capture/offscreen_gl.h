// A GL context without a display: EGL on Mesa's surfaceless platform, desktop
// OpenGL (compatibility profile, so the scenes' fixed-function calls work)
// through the vendor-neutral GL library the scenes already link, drawing into
// a framebuffer object with 8-bit RGB colour and a 16-bit depth buffer, the
// pixel format the demo asks for.
#pragma once

#include <cstdint>
#include <string>

struct OffscreenGl {
    void* display;          // EGLDisplay; null when not open
    void* context;          // EGLContext
    uint32_t framebuffer;   // GL names, 0 when none
    uint32_t colour_buffer;
    uint32_t depth_buffer;
    int32_t width;          // pixels
    int32_t height;
};

// Creates the context, makes it current and binds a framebuffer of this
// size. False with a one-line reason in `error`.
bool offscreen_open(OffscreenGl* gl, int32_t width, int32_t height, std::string* error);
void offscreen_close(OffscreenGl* gl);
// Viewport and the demo's 45-degree perspective for the framebuffer's size.
void offscreen_set_projection(const OffscreenGl* gl);
// Bottom-up rows of width * 3 bytes, R G B; waits for drawing to finish.
void offscreen_read_rgb(const OffscreenGl* gl, uint8_t* pixels);
