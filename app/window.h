// The demo's one window and its OpenGL context: a 640x480 full-screen mode
// (or a framed window after the user accepts the fallback), a double-buffered
// RGBA context with a 16-bit depth buffer, the projection and the basic GL
// state, and the tear-down that gives the display mode back. One
// implementation per platform: window_win32.cpp (the Win32 and WGL calls
// themselves) and window_sdl.cpp (SDL2 in their place).
#pragma once

#include "app/input_state.h"
#include "app/main_loop.h"

// True when the window is shown and its context is current; false after a
// failure, already reported in a message box and torn down (except after the
// fallback question was answered No).
bool create_window(const char* title, int width, int height, int bits_per_pixel,
                   bool fullscreen_wanted);
// Releases what create_window made, reporting and skipping any failed step.
// Safe with nothing made.
void destroy_window();
// Viewport and 45-degree projection for a client area of that size.
void resize_viewport(int width, int height);
// Smooth shading, black clear colour, depth test; always true.
bool init_gl_state();

// ShellOps for the real window.
bool poll_window_message(ShellMessage* message);
void swap_window_buffers();
void set_window_caption(const char* caption);
// The keys and the activity flag that the window's messages keep; the loop
// takes the Escape presses it has seen.
InputState* window_input();

// What went wrong with the music, for a person ("" when nothing did). A
// Windows program has no standard output to show it on, so it comes up in a
// box there; elsewhere the lines on standard output and error say it.
void report_music_failure(const char* text);
