// The output stream: a looping ring of 16-bit stereo blocks rendered ahead of
// the sound device by a feeder thread, with one SyncSnapshot per block telling
// the pictures where the music that is heard now is.
//
// Units: a frame is one left/right pair of int16 (4 bytes); a block is
// block_frames frames (884 at 44100 Hz, a little over 20 ms); the ring is
// block_count (100) blocks.
#pragma once

#include <cstdint>

struct Song;

#pragma pack(push, 1)
struct SyncSnapshot {
    uint8_t order;              // low 8 bits of the song's order at the end of the block
    uint8_t row;                // low 8 bits of the song's row
    int32_t elapsed_ms;         // the song's elapsed_ms
    int32_t channel_notes[32];  // entries from channel_count on stay 0
};
#pragma pack(pop)

// Stream settings, set by player_init.
extern int32_t mixing_rate;
extern int32_t block_frames;
extern int32_t ring_frames;
extern float frame_seconds;

bool player_init(int32_t rate);
void player_close();
bool song_play(Song* song);
bool song_stop(Song* song);

int32_t song_audible_order(Song* song);
int32_t song_audible_row(Song* song);
int32_t song_audible_channel_values(Song* song, int32_t* out);

// Renders ring block write_block and advances it.
void render_block();
int feeder_thread();

// For offline rendering and tests: the ring, the snapshots and the block index.
int32_t stream_block_count();
int32_t stream_write_block();
int32_t stream_audible_block();
const int16_t* stream_output_ring();
const SyncSnapshot* stream_snapshots();
// True while the feeder spins (for song_free).
bool stream_feeder_busy();
