// STUB: to be replaced.
#include "player/output/stream.h"
int32_t mixing_rate = 44100;
int32_t block_frames = 884;
int32_t ring_frames = 88400;
float frame_seconds = 1.0f / 44100;
bool player_init(int32_t) { return false; }
void player_close() {}
bool song_play(Song*) { return false; }
bool song_stop(Song*) { return false; }
int32_t song_audible_order(Song*) { return 0; }
int32_t song_audible_row(Song*) { return 0; }
int32_t song_audible_channel_values(Song*, int32_t*) { return 0; }
void render_block() {}
int feeder_thread() { return 0; }
int32_t stream_block_count() { return 0; }
int32_t stream_write_block() { return 0; }
int32_t stream_audible_block() { return 0; }
const int16_t* stream_output_ring() { return nullptr; }
const SyncSnapshot* stream_snapshots() { return nullptr; }
bool stream_feeder_busy() { return false; }
