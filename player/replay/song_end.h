// The song's end, watched tick by tick on whichever thread renders: play
// comes back to a row it has already played (the wrap after the last order
// position, or a backward jump), not counting the passes of a pattern loop.
// The watch itself lives in the PlayState (play_state.h).
#pragma once

#include <cstdint>

namespace korvanti {

struct PlayState;

// Starts watching from the song's beginning: no rows played, no end found.
// `passes` passes make the end; 0: none.
void song_end_begin(PlayState* play, int32_t passes);
// One tick of the song: its on_tick hook (none: nothing), then the watch.
// The tick starts where the previous one's frames_per_tick ended it.
void song_end_tick(PlayState* play);

// Where the watched play ended, once it has.
struct SongEndFound {
    int64_t frame;  // first frame of the tick that came back to a played row; -1: not yet
    int32_t order;  // the order position and row play came back to
    int32_t row;
};
// Safe from any thread while another renders the play.
SongEndFound song_end_found(const PlayState* play);
// Passes completed so far (the pass under way, counted from 0).
int32_t song_end_passes_done(const PlayState* play);

}  // namespace korvanti
