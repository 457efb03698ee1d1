// The replay's clock: tempo, ticks, rows and the flow effects.
#pragma once

#include <cstdint>

struct Song;

void set_tempo(Song* song, int32_t bpm);
// One tick; the Song's on_tick hook.
void sequencer_tick(Song* song);
// The first tick of a row.
void process_row(Song* song);
