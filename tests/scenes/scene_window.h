// A 640x480 SDL window with a GL context set up as the demo's shell sets it
// (double buffer, 8/8/8 colour, 16-bit depth, 45 degree projection), for the
// picture tests and the frame benchmark; plus read-back and PNG output.
#pragma once

#include <cstdint>
#include <string>

struct SDL_Window;

constexpr int32_t SCENE_WIDTH = 640;
constexpr int32_t SCENE_HEIGHT = 480;

struct SceneWindow {
    SDL_Window* window;
    void* context;  // SDL_GLContext
};

struct Rgb {
    uint8_t r, g, b;
};

// A frame read back from GL, row 0 at the top (as seen on screen).
struct Frame {
    Rgb pixels[SCENE_HEIGHT][SCENE_WIDTH];
};

// False (with the reason in *error) when no display or context can be had.
bool open_scene_window(SceneWindow* out, std::string* error);
void close_scene_window(SceneWindow* window);
// Viewport and projection as the shell sets them for a 640x480 client area.
void set_scene_projection();
// Reads the back buffer (what the next swap would show).
void read_frame(Frame* frame);
// Window coordinates (origin bottom-left, as gluProject gives them) of an
// eye-space point under the current projection.
bool project_eye_point(double x, double y, double z, double* window_x, double* window_y);
// Writes the frame as a 24-bit PNG (stored deflate blocks); false on I/O error.
bool write_png(const Frame& frame, const std::string& path);
