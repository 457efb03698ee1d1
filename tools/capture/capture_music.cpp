// The scenes' view of the music during a capture: the snapshot of the block
// that the demo would hear at the frame being drawn, read from the music pass
// instead of a running stream. Order and row come from the same snapshot.
#include "scenes/scene_sequencer.h"
#include "tools/capture/capture.h"

namespace {

struct CaptureMusic {
    const MusicPlan* plan;  // null until installed
    int64_t block;          // the block heard by the next draw_frame
};

CaptureMusic capture_music = {nullptr, 0};

const korvanti_sync_snapshot* heard_snapshot() {
    const MusicPlan* plan = capture_music.plan;
    if (plan == nullptr || capture_music.block < 0 ||
        capture_music.block >= static_cast<int64_t>(plan->snapshots.size())) {
        return nullptr;
    }
    return &plan->snapshots[static_cast<size_t>(capture_music.block)];
}

int32_t capture_order() {
    const korvanti_sync_snapshot* snapshot = heard_snapshot();
    return snapshot == nullptr ? 0 : snapshot->order;
}

int32_t capture_row() {
    const korvanti_sync_snapshot* snapshot = heard_snapshot();
    return snapshot == nullptr ? 0 : snapshot->row;
}

// Like the glue: the song's channels only, and 0 whatever happens.
int32_t capture_channel_values(int32_t* out) {
    const korvanti_sync_snapshot* snapshot = heard_snapshot();
    if (snapshot == nullptr) return 0;
    for (int32_t i = 0; i < capture_music.plan->channel_count && i < 32; ++i) {
        out[i] = snapshot->channel_notes[i];
    }
    return 0;
}

}  // namespace

void capture_music_install(const MusicPlan* plan) {
    capture_music = CaptureMusic{plan, 0};
    scene_music = SceneMusic{capture_order, capture_row, capture_channel_values};
}

void capture_hear_block(int64_t block) { capture_music.block = block; }
