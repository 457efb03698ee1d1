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
//
// The stream's operations for the player's users (player_init, song_play,
// the audible queries, song_render_next, ...) are in korvanti/player.h.
#pragma once

#include <cstdint>

#include "korvanti/player.h"
#include "player/replay/mixing_rate.h"

// Stream settings, set by player_init (mixing_rate: player/replay/mixing_rate.h).
extern int32_t block_frames;  // frames per block, a multiple of 4
extern int32_t ring_frames;   // frames in the ring, block_count blocks
extern float frame_seconds;   // 1 / mixing_rate as float32

// Renders ring block write_block and advances it.
void render_block();
int feeder_thread();

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

// song_play's start without its buffers, for a scan (song_scan.cpp): stops
// what plays, resets the song's position, sets its tempo, binds the
// channels and begins watching for its end. False, as song_play, when the
// song's tempo gives no frames per tick or no settings are set up.
bool stream_start_scan(Song* song);
// Ends a scan that runs, putting the voices back as it found them (song_stop).
void scan_end();
