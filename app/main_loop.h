// The main loop: drains window messages, paces frames to at least 28 ms,
// rewrites the caption with the frame rate once a second and ends on Escape,
// on a quit request or when the demo reports its end. Everything it needs
// from the outside comes through ShellOps, so the loop runs without a display
// under a scripted clock and event source.
#pragma once

#include <cstdint>

#include "app/input_state.h"

// Shortest frame, from just before drawing to just after the swap.
constexpr int32_t FRAME_MILLISECONDS = 28;

// One message taken from the window's queue.
struct ShellMessage {
    bool quit;          // the quit message: the loop ends with `parameter` as exit code
    int32_t parameter;  // the message's parameter (virtual key of key messages, else 0)
};

// The loop's view of the platform and of the rest of the demo.
struct ShellOps {
    // Takes the next pending message, if any, without waiting; anything but
    // the quit message is dispatched to the window before it returns.
    bool (*next_message)(ShellMessage* message);
    uint32_t (*tick_count)();  // milliseconds, wrapping at 2^32
    void (*sleep)(uint32_t milliseconds);
    int (*draw_frame)();  // 0 once the music has reached its end order
    void (*swap_buffers)();
    void (*set_caption)(const char* caption);
    void (*shut_down)();  // window torn down, then music stopped and released
};

struct MainLoop {
    // Frame pacing: both stamps 0 before the first frame.
    uint32_t frame_start_tick;  // ms, just before the current frame was drawn
    uint32_t frame_end_tick;    // ms, just after the frame's buffers were swapped
    // Frame-rate caption.
    uint32_t fps_last_tick;    // ms, start of the measurement window
    uint32_t fps_frame_count;  // frames counted in the current window
    bool fps_started;          // fps_last_tick has been set
    const char* title;         // the production's title, short enough for `caption`
    char caption[256];         // the last caption set, "title [12.3 FPS]"
};

void mark_frame_start(MainLoop* loop, const ShellOps* ops);
void mark_frame_end(MainLoop* loop, const ShellOps* ops);

// Milliseconds of the 28 that the previous frame left unused; 0 or less
// means no sleep. Signed 32-bit, so a wrapped counter gives a small result.
int32_t frame_time_left(const MainLoop* loop);
// Sleeps for frame_time_left when it is positive.
void pace_frame(const MainLoop* loop, const ShellOps* ops);

// Counts one frame and, at most once a second, rewrites the caption.
void update_fps_caption(MainLoop* loop, const ShellOps* ops);

// True when Escape is to end the loop: held now or pressed since the last
// look, while the window is not minimised. While it is, a press is dropped.
bool escape_requested(InputState* input);

// Runs until the end and returns the exit code: the quit message's parameter,
// or after Escape the parameter of the last message taken, or 0 when the demo
// ended by itself. Every way out runs ops->shut_down first.
int32_t run_main_loop(MainLoop* loop, const ShellOps* ops, InputState* input);
