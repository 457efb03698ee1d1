// The output stream: a looping ring of 16-bit stereo blocks rendered ahead of
// the sound device by a feeder thread, with one SyncSnapshot per block telling
// the pictures where the music that is heard now is.
//
// Units: a frame is one left/right pair of int16 (4 bytes); a block is
// block_frames frames (884 at 44100 Hz, a little over 20 ms); the ring is
// block_count (100) blocks, about two seconds.
//
// Threads: the main thread calls everything here; once song_play has returned,
// only the feeder thread renders. The main thread reads the snapshot of
// audible_block and nothing else of the running stream.
#pragma once

#include <cstdint>

#include "player/replay/mixing_rate.h"

struct Song;

#pragma pack(push, 1)
struct SyncSnapshot {
    uint8_t order;              // low 8 bits of the song's order at the end of the block
    uint8_t row;                // low 8 bits of the song's row
    int32_t elapsed_ms;         // the song's elapsed_ms
    int32_t channel_notes[32];  // entries from channel_count on stay 0
};
#pragma pack(pop)

// Stream settings, set by player_init (mixing_rate: player/replay/mixing_rate.h).
extern int32_t block_frames;  // frames per block, a multiple of 4
extern int32_t ring_frames;   // frames in the ring, block_count blocks
extern float frame_seconds;   // 1 / mixing_rate as float32

// False when the file callbacks are not all installed, the rate is outside
// MIXING_RATE_MIN..MAX or the sound device cannot be opened.
bool player_init(int32_t rate);
// Stops the device at once and closes it; ends a running stream first and
// releases the output ring.
void player_close();
// False, starting nothing, for a null song, without an open device, or when
// the song's tempo gives no frames per tick.
bool song_play(Song* song);
// song_play with every voice reset first (as player_init leaves them), and
// the first `first_block` blocks of the song rendered silently, so that the
// device starts at block `first_block` of the song: what it plays is, bit for
// bit, what song_play would have played from there. The silent blocks cost
// their rendering time on the calling thread. False as song_play, and for a
// negative block.
bool song_play_from(Song* song, int64_t first_block);
// False for a null song. Ends the feeder and releases the play buffers; the
// device goes on looping the ring until the next song_play or player_close.
bool song_stop(Song* song);

// The snapshot of the block heard now; 0 (and nothing copied) for a null song
// or while nothing plays.
int32_t song_audible_order(Song* song);
int32_t song_audible_row(Song* song);
int32_t song_audible_channel_values(Song* song, int32_t* out);

// Renders ring block write_block and advances it.
void render_block();
int feeder_thread();

// Offline rendering through the same render_block, with no device and no
// thread: player_init_offline sets the stream settings like player_init
// (false for a rate outside MIXING_RATE_MIN..MAX), song_render_start starts
// the song like song_play but renders nothing ahead, and song_render_next
// renders the next block, copies its snapshot to `snapshot` (when not null)
// and returns its block_frames frames of PCM, valid until the next call.
// song_render_next returns null when no song was started offline. Stop with
// song_stop.
bool player_init_offline(int32_t rate);
bool song_render_start(Song* song);
const int16_t* song_render_next(SyncSnapshot* snapshot);

// For tools and tests: the ring, the snapshots and the block indices.
int32_t stream_block_count();
int32_t stream_write_block();
int32_t stream_audible_block();
const int16_t* stream_output_ring();
const SyncSnapshot* stream_snapshots();
// The elapsed_ms of the audible snapshot; 0 while nothing plays.
int32_t stream_audible_elapsed_ms();
// True while the feeder renders a block (song_free waits for it to clear).
bool stream_feeder_busy();
// True while a feeder thread runs.
bool stream_feeder_running();
