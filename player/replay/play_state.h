// Everything the play of a song changes, in one record: the position, the
// channels, the voices, the finetunes set by E5x and the watch for the song's
// end. The Song itself is only read. A player holds one PlayState; a copy of
// it, put back (play_state_restore), goes on exactly where the copy was taken.
//
// Units: positions count output frames at mixing_rate from the start of the
// play; ticks, rows and order positions as in player/module/song.h.
#pragma once

#include <cstdint>

#include "player/module/song.h"
#include "player/replay/channel.h"
#include "player/replay/voice.h"

namespace korvanti {

// What the flow effects of the row being processed decided.
struct RowFlow {
    bool position_jump;    // a B in this row (a later D keeps its order)
    bool pattern_break;    // a D in this row
    bool has_loop_target;  // an E6x in this row asks to go back
    int32_t loop_target;   // row to go back to, valid with has_loop_target
};

// The song's end, watched at every row start: play comes back to a row it
// has already played, not counting the passes of a pattern loop (a row an
// E6x sent play back to within its order, and the rows that follow it one
// by one). After a pass that is not the last, the marks are cleared and the
// next pass is watched the same way. The end fields are written by the
// thread that renders and read by others: end_frame last (release) and
// first (acquire).
struct SongWatch {
    int32_t passes;            // passes that make the end; 0: none
    int32_t passes_done;
    uint8_t played[256][32];   // bit (order, row): row started in this pass
    bool ticked;               // a tick has run since the watch began
    int64_t tick_start_frame;  // first output frame of the tick being run
    int32_t previous_order;    // position of the last row started
    int32_t previous_row;
    bool loop_goes_back;       // the last row started ends in a pattern-loop jump
    bool in_loop_pass;         // the last row started was replayed by a pattern loop
    int64_t end_frame;         // -1 until the end is found
    int32_t end_order;
    int32_t end_row;
};

struct PlayState {
    const Song* song;     // the song played; null: none
    int32_t mixing_rate;  // output frames per second, as the player has it
    bool flow_only;       // rows move only the position: no notes, effects or voices (a length scan)

    // The tick clock.
    int32_t tick_frames_left;  // output frames left in the current tick
    int32_t frames_per_tick;   // output frames per tick at the current tempo, > 0 during play

    // Position, from least to most granular, and what moves it.
    int32_t global_volume;        // 0..64
    uint8_t global_volume_slide;  // memory of effect H, one for the song
    int32_t tick;                 // tick within the row, 0 = the row's first tick
    int32_t speed;                // ticks per row
    int32_t bpm;                  // as last given to set_tempo
    int32_t row;
    int32_t order;
    int32_t pattern_delay_ticks;  // extra ticks of the current row (EE)
    int32_t next_row;             // -1: none pending
    int32_t next_order;           // -1: none pending
    int32_t elapsed_ms;           // audio rendered, written by the output stream only
    int32_t channel_notes[32];    // 1 when the current row gave the channel a note

    RowFlow row_flow;
    Channel channels[CHANNEL_COUNT];
    Voice voice_table[VOICE_COUNT];
    // Each sample's finetune as the play has it (E5x sets it), by Sample::number;
    // entry 0 is the shared empty Sample's.
    int8_t finetunes[MAX_SAMPLE_NUMBER + 1];
    SongWatch watch;
};

// Everything as a first start of `song` leaves it: position at the start,
// channels bound to their voices, voices at rest, the song's own finetunes,
// the tempo set, and the watch for an end after `passes` passes (0: none).
// False when the song's tempo gives no frames per tick (set_tempo keeps at
// least one, so only a hook can make it so).
bool play_state_begin(PlayState* play, const Song* song, int32_t mixing_rate, int32_t passes);
// Copies a state taken earlier of the same play back into `play`; the
// channels' voices point into `play`'s own table.
void play_state_restore(PlayState* play, const PlayState* saved);
// The finetune a sample plays with now.
inline int8_t sample_finetune(const PlayState* play, const Sample* sample) {
    return play->finetunes[sample->number];
}

}  // namespace korvanti
