// The song's end, watched tick by tick on whichever thread renders: play
// comes back to a row it has already played (the wrap after the last order
// position, or a backward jump), not counting the passes of a pattern loop.
// The public side is song_set_passes and song_end (korvanti/player.h).
#pragma once

#include <cstdint>

struct Song;

// Starts watching `song` from its beginning: no rows played, no end found,
// its end_passes read. Before the first tick of a play, render or scan.
void song_end_begin(Song* song);
// One tick of the song: its on_tick hook (none: nothing), then the watch.
// The tick starts where the previous one's frames_per_tick ended it.
void song_end_tick(Song* song);
// Forgets `song` if it is the one watched (it is being released).
void song_end_forget(const Song* song);
