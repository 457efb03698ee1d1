// SDL in place of the Win32 window calls: SDL_Init stands for registering the
// window class, SDL_GetClosestDisplayMode for asking whether the display can
// take the mode, the full-screen window's display mode for the temporary mode
// change, the native window handles for the device context, the GL
// attributes set before the window for the pixel format.
#include "app/window.h"

#include <SDL_syswm.h>

#include "app/window_common.h"
#include "app/window_events_sdl.h"
#include "app/window_sdl.h"
#include "platform/platform.h"

WindowState window_state = {false, nullptr, false, nullptr, true, {{}, true, false}};

namespace {

// The full-screen mode of exactly this size, with 4 bytes a pixel for 32 bits.
bool find_display_mode(int width, int height, int bits_per_pixel, SDL_DisplayMode* mode) {
    SDL_DisplayMode wanted = {SDL_PIXELFORMAT_RGB888, width, height, 0, nullptr};
    if (SDL_GetClosestDisplayMode(0, &wanted, mode) == nullptr) return false;
    return mode->w == width && mode->h == height &&
           static_cast<int>(SDL_BYTESPERPIXEL(mode->format)) * 8 == bits_per_pixel;
}

// Double-buffered RGB, 8 bits a colour, no alpha, 16-bit depth, nothing else.
bool set_pixel_format() {
    const SDL_GLattr zero_attributes[] = {
        SDL_GL_ALPHA_SIZE,      SDL_GL_STENCIL_SIZE,    SDL_GL_ACCUM_RED_SIZE,
        SDL_GL_ACCUM_GREEN_SIZE, SDL_GL_ACCUM_BLUE_SIZE, SDL_GL_ACCUM_ALPHA_SIZE,
    };
    bool ok = SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1) == 0 &&
              SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8) == 0 &&
              SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8) == 0 &&
              SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8) == 0 &&
              SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16) == 0;
    for (SDL_GLattr attribute : zero_attributes) {
        ok = ok && SDL_GL_SetAttribute(attribute, 0) == 0;
    }
    return ok;
}

// What the current context really has: the closest match may fall short.
bool pixel_format_suitable() {
    int double_buffer = 0, depth = 0, red = 0, green = 0, blue = 0;
    SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &double_buffer);
    SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depth);
    SDL_GL_GetAttribute(SDL_GL_RED_SIZE, &red);
    SDL_GL_GetAttribute(SDL_GL_GREEN_SIZE, &green);
    SDL_GL_GetAttribute(SDL_GL_BLUE_SIZE, &blue);
    return double_buffer == 1 && depth >= 16 && red >= 8 && green >= 8 && blue >= 8;
}

// Window, native handles, context: steps 6 to 9 of the creation.
bool create_window_and_context(const char* title, int width, int height,
                               const SDL_DisplayMode* mode) {
    WindowState& state = window_state;
    if (!set_pixel_format()) return creation_failed("Can't Set The PixelFormat.");
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    flags |= state.fullscreen ? SDL_WINDOW_FULLSCREEN : SDL_WINDOW_RESIZABLE;
    state.window = SDL_CreateWindow(title, 0, 0, width, height, flags);
    if (state.window == nullptr ||
        (state.fullscreen && SDL_SetWindowDisplayMode(state.window, mode) != 0)) {
        return creation_failed("Window Creation Error.");
    }
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(state.window, &info) != SDL_TRUE) {
        return creation_failed("Can't Create A GL Device Context.");
    }
    state.device_context = true;
    state.render_context = SDL_GL_CreateContext(state.window);
    if (state.render_context == nullptr) {
        return creation_failed("Can't Create A GL Rendering Context.");
    }
    if (SDL_GL_MakeCurrent(state.window, state.render_context) != 0) {
        return creation_failed("Can't Activate The GL Rendering Context.");
    }
    if (!pixel_format_suitable()) return creation_failed("Can't Find A Suitable PixelFormat.");
    // The loop paces frames to 28 ms itself; a swap that waited for the
    // display's refresh would stretch them to two refreshes (33 ms at 60 Hz)
    // and slow every per-frame animation. A driver that refuses keeps its way.
    SDL_GL_SetSwapInterval(0);
    return true;
}

}  // namespace

bool create_window(const char* title, int width, int height, int bits_per_pixel,
                   bool fullscreen_wanted) {
    WindowState& state = window_state;
    state.fullscreen = fullscreen_wanted;
    // Still up after a refused mode: SDL counts its starts, so start it once.
    if (!state.video_started) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            creation_error("Failed To Register The Window Class.");
            return false;
        }
        state.video_started = true;
    }
    SDL_DisableScreenSaver();
    SDL_DisplayMode mode = {};
    if (state.fullscreen) {
        if (find_display_mode(width, height, bits_per_pixel, &mode)) {
            SDL_ShowCursor(SDL_DISABLE);
        } else if (accept_windowed_mode()) {
            state.fullscreen = false;
        } else {
            return false;  // video stays up, as the class stays registered
        }
    }
    if (!create_window_and_context(title, width, height, &mode)) return false;
    SDL_ShowWindow(state.window);
    SDL_RaiseWindow(state.window);  // foreground and keyboard focus
    resize_viewport(width, height);
    if (!init_gl_state()) return creation_failed("Initialization Failed.");
    return true;
}

void destroy_window() {
    WindowState& state = window_state;
    if (state.fullscreen && state.video_started) {
        // Leaving full screen gives the desktop its own mode back.
        if (state.window != nullptr) SDL_SetWindowFullscreen(state.window, 0);
        SDL_ShowCursor(SDL_ENABLE);
    }
    if (state.render_context != nullptr) {
        if (SDL_GL_MakeCurrent(state.window, nullptr) != 0) {
            shutdown_error("Release Of DC And RC Failed.");
        }
        SDL_GL_DeleteContext(state.render_context);
        state.render_context = nullptr;
    }
    // The native handles need no release under SDL.
    state.device_context = false;
    if (state.window != nullptr) {
        SDL_DestroyWindow(state.window);
        state.window = nullptr;
    }
    if (state.video_started) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        state.video_started = false;
    }
}

bool poll_window_message(ShellMessage* message) {
    SDL_Event event;
    if (SDL_PollEvent(&event) == 0) return false;
    WindowEventResult result = window_proc(&window_state.input, &event);
    if (result.action == WindowAction::RESIZE) resize_viewport(result.width, result.height);
    message->quit = result.action == WindowAction::QUIT;
    message->parameter = result.parameter;
    return true;
}

void swap_window_buffers() { SDL_GL_SwapWindow(window_state.window); }

void set_window_caption(const char* caption) { SDL_SetWindowTitle(window_state.window, caption); }

InputState* window_input() { return &window_state.input; }

// Standard output and standard error carry it here.
void report_music_failure(const char*) {}
