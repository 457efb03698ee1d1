#include "app/main_loop.h"

#include <cstdio>

void mark_frame_start(MainLoop* loop, const ShellOps* ops) {
    loop->frame_start_tick = ops->tick_count();
}

void mark_frame_end(MainLoop* loop, const ShellOps* ops) {
    loop->frame_end_tick = ops->tick_count();
}

int32_t frame_time_left(const MainLoop* loop) {
    uint32_t left = loop->frame_start_tick - loop->frame_end_tick + uint32_t{FRAME_MILLISECONDS};
    return static_cast<int32_t>(left);
}

void pace_frame(const MainLoop* loop, const ShellOps* ops) {
    int32_t left = frame_time_left(loop);
    if (left > 0) ops->sleep(static_cast<uint32_t>(left));
}

void update_fps_caption(MainLoop* loop, const ShellOps* ops) {
    if (!loop->fps_started) {
        loop->fps_last_tick = ops->tick_count();
        loop->fps_started = true;
    }
    uint32_t now = ops->tick_count();
    uint32_t elapsed = now - loop->fps_last_tick;  // unsigned: the wrap is harmless
    if (elapsed < 1000) {
        ++loop->fps_frame_count;
        return;
    }
    loop->fps_last_tick = now;
    double rate = loop->fps_frame_count * 1000.0 / elapsed;
    loop->fps_frame_count = 0;
    snprintf(loop->caption, sizeof loop->caption, "%s [%.1f FPS]", loop->title, rate);
    ops->set_caption(loop->caption);
    // The frame in which the caption changed opens the next window.
    ++loop->fps_frame_count;
}

bool escape_requested(InputState* input) {
    if (!input->active) {
        // Escape is ignored while the window is minimised: a tap then is
        // forgotten rather than ending the demo on its restore.
        input->escape_pressed = false;
        return false;
    }
    return input->keys[KEY_ESCAPE] || input->escape_pressed;
}

int32_t run_main_loop(MainLoop* loop, const ShellOps* ops, InputState* input) {
    int32_t last_parameter = 0;
    for (;;) {
        // Messages are drained before any frame is drawn.
        ShellMessage message = {};
        if (ops->next_message(&message)) {
            last_parameter = message.parameter;
            if (message.quit) break;
            continue;
        }
        pace_frame(loop, ops);
        if (escape_requested(input)) break;
        update_fps_caption(loop, ops);
        mark_frame_start(loop, ops);
        if (ops->draw_frame() == 0) {
            // The music reached its end: still give the display mode back
            // and stop the sound before leaving.
            ops->shut_down();
            return 0;
        }
        ops->swap_buffers();
        mark_frame_end(loop, ops);
    }
    ops->shut_down();
    return last_parameter;
}
