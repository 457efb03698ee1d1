// When each demo frame is drawn, which block it hears, and which demo frame
// each video frame shows. Everything is exact integer arithmetic on the two
// clocks: 28 ms a demo frame, and block_frames audio frames a block at 44100.
#include "tools/capture/capture.h"

int64_t demo_frame_ms(int64_t demo_frame) { return demo_frame * DEMO_FRAME_MS; }

int64_t audible_block_at_ms(int64_t ms, int32_t frames_per_block) {
    return ms * CAPTURE_RATE / (1000 * static_cast<int64_t>(frames_per_block));
}

// Video frame j starts at j * den / num seconds; the demo frames drawn by then
// are those with 28 k ms <= that time.
int64_t demo_frame_at_video_frame(int64_t video_frame, FrameRate fps) {
    return video_frame * fps.denominator * 1000 / (DEMO_FRAME_MS * fps.numerator);
}

// Count of j >= 0 with j * den / num s < end_ms: ceil(end_ms * num / (1000 * den)).
int64_t video_frames_before_ms(int64_t end_ms, FrameRate fps) {
    if (end_ms <= 0) return 0;
    int64_t scaled = end_ms * fps.numerator;
    int64_t per = 1000 * fps.denominator;
    return (scaled + per - 1) / per;
}

int64_t audio_frames_before_ms(int64_t end_ms) {
    if (end_ms <= 0) return 0;
    return end_ms * CAPTURE_RATE / 1000;
}

EndSearch end_search_start() { return EndSearch{1, -1}; }

void end_search_step(EndSearch* search, const uint8_t* orders, int64_t blocks_known,
                     int32_t frames_per_block) {
    while (search->end_frame < 0) {
        int64_t block = audible_block_at_ms(demo_frame_ms(search->next_frame), frames_per_block);
        if (block >= blocks_known) return;
        if (orders[block] == DEMO_END_ORDER) {
            search->end_frame = search->next_frame;
            return;
        }
        search->next_frame += 1;
    }
}
