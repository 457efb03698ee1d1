// Watching a song's ticks for its end.
//
// Every row started is marked in a bit set over (order, row); the first row
// started a second time ends a pass through the song, unless it is part of a
// pattern-loop pass: a row that an E6x sent play back to within its order,
// and the rows that follow it one by one. A loop pass replays rows and is
// still the song. After a pass that is not the last, the marks are cleared
// and the next pass is watched the same way.
#include "player/replay/song_end.h"

#include <cstring>

#include "player/replay/play_state.h"

namespace korvanti {

namespace {

// After process_row: the row sends play back through a pattern loop, and no
// B or D overrides it.
bool row_loops_back(const RowFlow& flow) {
    return flow.has_loop_target && !flow.position_jump && !flow.pattern_break;
}

// A row came round again: one more pass done; the last one ends the song.
void pass_done(PlayState* play) {
    SongWatch& watch = play->watch;
    __atomic_store_n(&watch.passes_done, watch.passes_done + 1, __ATOMIC_RELAXED);
    if (watch.passes > 0 && watch.passes_done >= watch.passes) {
        __atomic_store_n(&watch.end_order, play->order, __ATOMIC_RELAXED);
        __atomic_store_n(&watch.end_row, play->row, __ATOMIC_RELAXED);
        __atomic_store_n(&watch.end_frame, watch.tick_start_frame, __ATOMIC_RELEASE);
        return;
    }
    std::memset(watch.played, 0, sizeof watch.played);
}

void note_row_started(PlayState* play) {
    SongWatch& watch = play->watch;
    auto order = static_cast<uint32_t>(play->order) & 255u;
    auto row = static_cast<uint32_t>(play->row) & 255u;
    uint8_t bit = static_cast<uint8_t>(1u << (row & 7u));
    bool seen = (watch.played[order][row >> 3] & bit) != 0;
    bool same_order = play->order == watch.previous_order;
    bool follows = same_order && play->row == watch.previous_row + 1;
    watch.in_loop_pass = (watch.loop_goes_back && same_order) || (watch.in_loop_pass && follows);
    if (seen && !watch.in_loop_pass && watch.end_frame < 0) pass_done(play);
    watch.played[order][row >> 3] |= bit;
    watch.previous_order = play->order;
    watch.previous_row = play->row;
    watch.loop_goes_back = row_loops_back(play->row_flow);
}

}  // namespace

void song_end_begin(PlayState* play, int32_t passes) {
    SongWatch& watch = play->watch;
    std::memset(&watch, 0, sizeof watch);
    watch.passes = passes;
    watch.previous_order = -1;
    watch.previous_row = -1;
    watch.end_frame = -1;
}

// The renderer calls the tick when the frames of the previous tick are used
// up, so the previous tick's frames_per_tick moves the tick start on.
void song_end_tick(PlayState* play) {
    SongWatch& watch = play->watch;
    if (watch.ticked) watch.tick_start_frame += play->frames_per_tick > 0 ? play->frames_per_tick : 1;
    watch.ticked = true;
    if (play->song == nullptr || play->song->on_tick == nullptr) return;
    bool row_start = play->tick == 0;
    play->song->on_tick(play);
    if (row_start) note_row_started(play);
}

SongEndFound song_end_found(const PlayState* play) {
    const SongWatch& watch = play->watch;
    int64_t frame = __atomic_load_n(&watch.end_frame, __ATOMIC_ACQUIRE);
    if (frame < 0) return {-1, 0, 0};
    return {frame, __atomic_load_n(&watch.end_order, __ATOMIC_RELAXED),
            __atomic_load_n(&watch.end_row, __ATOMIC_RELAXED)};
}

int32_t song_end_passes_done(const PlayState* play) {
    return __atomic_load_n(&play->watch.passes_done, __ATOMIC_RELAXED);
}

}  // namespace korvanti
