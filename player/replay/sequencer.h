// The replay's clock: tempo, ticks, rows and the flow effects, and the
// per-tick driver that runs every channel's note, effects and voice update.
#pragma once

#include <cstdint>

namespace korvanti {

struct PlayState;
struct NoteCell;

// Stores bpm and sets frames_per_tick, at least 1 whatever bpm says (a bpm
// below 1 counts as 1).
void set_tempo(PlayState* play, int32_t bpm);
// One tick; the Song's on_tick hook.
void sequencer_tick(PlayState* play);
// The first tick of a row.
void process_row(PlayState* play);
// Every tick of a row but the first.
void process_later_tick(PlayState* play);

// The cells of the row being played, channel_count per row: null when the
// pattern has no cells; a row of empty cells when the row lies outside its
// pattern.
const NoteCell* row_cells(const PlayState* play);

}  // namespace korvanti
