// The player record: everything one player needs, from its settings to the
// play under way, its output ring and, live, its device and feeder thread.
// Nothing of the player is process-wide; any number of players live side by
// side, each used from one thread at a time.
//
// Units: a frame is one left/right pair of int16 (4 bytes); a block is
// block_frames frames (884 at 44100 Hz, a little over 20 ms), counted from
// the song's start; the ring is block_count (100) blocks, about two seconds.
// Song frames and blocks count from the start of the play, whatever was
// skipped by a seek.
//
// Threads: the caller's thread calls everything; while a live play runs, only
// the feeder thread renders, and the caller reads the block states of
// audible_block and nothing else of the running stream.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "korvanti/player.h"
#include "player/output/mixer.h"
#include "player/output/sound_device.h"
#include "player/replay/play_state.h"

namespace korvanti {

using SyncSnapshot = korvanti_sync_snapshot;

constexpr int32_t PLAYER_RATE_MIN = KORVANTI_RATE_MIN;
constexpr int32_t PLAYER_RATE_MAX = KORVANTI_RATE_MAX;
// A pass that never comes back to a row it has played ends after this much
// sound (pattern loops of several channels can run for ages).
constexpr int64_t PASS_LIMIT_SECONDS = 2 * 60 * 60;

struct SongHandle;

// One channel as a block's end leaves it, for the players' users.
struct ChannelView {
    int32_t note_struck;  // the row gave the channel a note
    int32_t volume;       // the volume of its voice, 0..64
    int32_t panning;      // 0..255
    int32_t instrument;   // 1..128; 0 while the voice plays nothing
    int32_t note;         // 1..96; 0 while the voice plays nothing
};

// What a rendered block's end says: the snapshot and the rest of the
// position. Written by the thread that renders and read by the caller byte
// by byte (see stream.cpp).
struct BlockState {
    SyncSnapshot snapshot;
    int32_t order;  // the whole order position and row (the snapshot keeps their low bytes)
    int32_t row;
    int32_t speed;
    int32_t bpm;
    int32_t pass;   // passes completed
    int32_t channel_count;
    ChannelView channels[CHANNEL_COUNT];
};

// Output settings; their defaults leave the mix as the player makes it.
struct OutputSettings {
    double gain_db;               // 0 by default
    double gain;                  // 10^(gain_db / 20) as a float32 value
    int32_t separation_percent;   // 100 by default
    uint32_t muted_channels;      // bit c: channel c adds nothing
};

// A copy of the play taken at the start of a block, to seek from.
struct Checkpoint {
    int64_t block;  // the block the copy was taken before
    PlayState play;
};

// Copies kept along a play: CHECKPOINT_COUNT at most, `spacing` blocks apart,
// the spacing doubling (and every other copy dropped) when they are full.
constexpr int32_t CHECKPOINT_COUNT = 48;
constexpr int64_t FIRST_CHECKPOINT_SPACING = 256;  // blocks, about 5 s

struct Checkpoints {
    Checkpoint* copies;  // CHECKPOINT_COUNT records once a seek asked for them; null before
    int32_t count;
    int64_t spacing;
};

// What runs: nothing, an offline render, or a live play with its feeder.
enum class StreamRun : uint8_t { NONE, RENDER, LIVE };

struct Player {
    // Settings, fixed at creation.
    int32_t mixing_rate;   // output frames per second
    int32_t block_frames;  // frames per block, a multiple of 4
    int32_t ring_frames;   // frames in the ring, block_count blocks
    float frame_seconds;   // 1 / mixing_rate as float32
    MixerSettings mixer;
    OutputSettings output;
    int32_t passes;        // passes the next start plays; 0: without end
    bool live;             // the player has a device

    // The play.
    bool started;          // a play was started on this player (it may have ended since)
    SongHandle* handle;    // the song played; null: none
    Player* next_user;     // the next player playing the same song
    PlayState play;
    int64_t limit_frame;   // the play ends here at the latest (passes times the pass limit)

    // The stream.
    StreamRun run;
    int16_t* output_ring;   // ring_frames stereo frames
    void* mix_allocation;   // ring_frames * 8 + MIX_SPARE_BYTES bytes
    float* mix_buffer;      // first 16-byte boundary inside mix_allocation
    BlockState* block_ring;  // block_count records
    int64_t next_block;      // song block rendered next
    int64_t ring_base_block;  // song block held by ring block 0 in the lap rendered first
    int64_t ring_valid_block;  // the first song block whose state the ring may still hold
    std::atomic<int32_t> write_block;    // next ring block to render, 0..block_count - 1
    std::atomic<int32_t> audible_block;  // ring block heard now, 0..block_count - 1
    int64_t frame;          // offline: the next frame handed to the caller

    // Live.
    SoundDevice device;
    std::thread* feeder;  // null when no feeder runs
    std::mutex feeder_lock;
    std::condition_variable feeder_wake;
    std::atomic<bool> stop_requested;
    std::atomic<bool> feeder_busy;
    std::atomic<bool> feeder_ended;
    bool paused;

    Checkpoints checkpoints;
};

inline int32_t block_count(const Player* player) { return player->ring_frames / player->block_frames; }

// The player's stream settings for `rate`, fresh and idle; false, changing
// nothing, for a rate outside PLAYER_RATE_MIN..MAX.
bool player_setup(Player* player, int32_t rate);
// Stops what runs and releases every buffer of the play.
void player_stop_play(Player* player);
// Releases the checkpoints and closes the device.
void player_teardown(Player* player);

// Starts the play of `handle`'s song from its beginning: buffers, the first
// start's state, and, live, the prefilled ring, the device and the feeder.
// KORVANTI_OK or a negative error, changing nothing.
int player_begin(Player* player, SongHandle* handle);

// Renders song block next_block into its ring block and advances both.
// Silent: the voices move and the state advances, and nothing is mixed.
void render_block(Player* player, bool silent);
// The same, recording the block's state only when `recorded`: a seek passes
// over blocks whose ring places later blocks take before anyone can ask.
void render_block_as(Player* player, bool silent, bool recorded);
// The same as render_block_as(player, true, false) `count` times, with no
// checkpoint due before the last: the voices move a tick at a time where the
// blocks' ends do not matter to them.
void skip_blocks(Player* player, int64_t count);
int feeder_thread(Player* player);

// Ring block of song block `block`.
int32_t ring_block_of(const Player* player, int64_t block);
// The state of song block `block`; null when it is not (or no longer) in the ring.
const BlockState* rendered_block_state(const Player* player, int64_t block);
// A copy of the state of the block heard now (live) or that holds the last
// frame rendered (offline); false when nothing plays or nothing was
// rendered yet.
bool current_block_state(const Player* player, BlockState* copy);
// A block state read byte by byte, while the feeder may rewrite it.
void block_state_read(const BlockState* state, BlockState* copy);
// Where the play stops: the end found, or the limit.
int64_t play_stop_frame(const Player* player);
// Live: the song frame heard now.
int64_t audible_frame(Player* player);

// Live: the ring prefilled from song block next_block, handed to the device,
// and the feeder started. False, with nothing running, when the device could
// not start the ring (its error line says why).
bool start_live_stream(Player* player);
// Live: the feeder ended and the device silent; the play stays as it is.
void stop_live_stream(Player* player);

// Seeking: the play moved to song frame `frame`, exactly, from the nearest
// copy of the play before it. KORVANTI_OK or KORVANTI_ERROR_RANGE (or
// _MEMORY), changing nothing on failure.
int seek_to_frame(Player* player, int64_t frame);
// Offers the play at the start of block next_block as a checkpoint.
void checkpoint_offer(Player* player);

}  // namespace korvanti
