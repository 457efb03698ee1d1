// What the window's events do to the shell: the key-down table, the activity
// flag, resizes and quit requests. No display is needed to run this.
#pragma once

#include <SDL_events.h>

#include <cstdint>

#include "app/input_state.h"

enum class WindowAction { NONE, QUIT, RESIZE };

struct WindowEventResult {
    WindowAction action;
    int32_t width;      // RESIZE: new client width in pixels
    int32_t height;     // RESIZE: new client height in pixels, may be 0
    int32_t parameter;  // the message parameter: the virtual key of key events, else 0
};

// Virtual-key code (0x01..0xFE) of an SDL key, 0 for keys without one.
uint8_t virtual_key_from_sdl(SDL_Keycode key);

// Applies one event to `input` and says what else it asks for. Minimise
// clears `active`, restore sets it, focus changes leave it; the close button
// and SDL's own quit event (also raised by SIGINT/SIGTERM) ask to quit.
WindowEventResult window_proc(InputState* input, const SDL_Event* event);
