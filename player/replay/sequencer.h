// The replay's clock: tempo, ticks, rows and the flow effects.
#pragma once

#include <cstdint>

struct Song;
struct NoteCell;

// Stores bpm and sets frames_per_tick, at least 1 whatever bpm says (a bpm
// below 1 counts as 1).
void set_tempo(Song* song, int32_t bpm);
// One tick; the Song's on_tick hook.
void sequencer_tick(Song* song);
// The first tick of a row.
void process_row(Song* song);

// The cells of the row being played, channel_count per row: null when the
// pattern has no cells or there are no channels; a row of empty cells when
// the row lies outside its pattern.
const NoteCell* row_cells(const Song* song);
// Channels the replay works on: channel_count, at most the table's 32.
int32_t played_channel_count(const Song* song);
