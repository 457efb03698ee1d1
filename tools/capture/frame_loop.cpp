// The demo's frames, drawn in order at their times.
#include "scenes/scenes.h"
#include "tools/capture/capture.h"

bool draw_demo_frames(FrameLoop* loop, int64_t target, int32_t frames_per_block) {
    bool drew = false;
    while (loop->drawn < target && !loop->ended) {
        loop->drawn += 1;
        capture_hear_block(audible_block_at_ms(demo_frame_ms(loop->drawn), frames_per_block));
        // The end frame is not shown: draw_frame has cleared it and drawn nothing.
        if (draw_frame() == 0) loop->ended = true;
        drew = true;
    }
    return drew && !loop->ended;
}
