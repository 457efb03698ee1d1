// What the SDL2 window keeps, for the window's tests.
#pragma once

#include <SDL.h>

#include "app/input_state.h"

struct WindowState {
    // What create_window made, torn down by destroy_window in reverse.
    bool video_started;           // SDL's video subsystem is up (the window class)
    SDL_Window* window;           // null when there is none
    bool device_context;          // the window's native handles were obtained
    SDL_GLContext render_context; // null when there is none
    bool fullscreen;              // the 640x480 mode is (to be) set; cursor hidden
    InputState input;             // keys and `active`, written by window_proc
};

extern WindowState window_state;
