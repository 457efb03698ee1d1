// The output stream. song_play renders the whole ring on the calling thread,
// hands it to the device as one endless loop and starts the feeder, which
// re-renders every block as soon as the device has left it: a block rendered
// now is heard about block_count - 1 blocks (two seconds) later, and its
// SyncSnapshot says where the song stood at its end.
//
// Nothing is locked. stop_requested is written by the main thread only,
// feeder_busy, feeder_ended and audible_block by the feeder only (and by
// song_play before the feeder exists). The main thread reads the snapshot of
// audible_block while the feeder may be rewriting that very block, so
// snapshots are written and read byte by byte with relaxed atomics: a reader
// sees either value of each byte, never undefined behaviour.
#include "player/output/stream.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/system.h"
#include "player/module/file_access.h"
#include "player/module/song.h"
#include "player/output/mixer.h"
#include "player/output/song_end.h"
#include "player/output/sound_device.h"
#include "player/replay/channel.h"
#include "player/replay/sequencer.h"
#include "player/replay/voice.h"

int32_t block_frames = 884;
int32_t ring_frames = 88400;
float frame_seconds = static_cast<float>(1.0 / 44100);

namespace {

constexpr int32_t BUFFER_MS = 1000;  // half the ring, in ms
constexpr int32_t BLOCK_MS = 20;
constexpr size_t MIX_SPARE_BYTES = 256;  // room to align the mix buffer to 16 bytes
constexpr int FEEDER_POLL_MS = 5;
constexpr int STOP_POLL_MS = 50;

// Ticks per row and BPM at the end of a block, beside its snapshot.
struct BlockTempo {
    int32_t speed;
    int32_t bpm;
};

// Everything the stream owns, for one player per process.
struct Stream {
    bool settings_ready;         // player_init or player_init_offline succeeded
    bool device_open;            // player_init opened the sound device
    Song* current_song;          // the song render_block drives; not owned
    int16_t* output_ring;        // ring_frames stereo frames; kept after song_stop
    void* mix_allocation;        // ring_frames * 8 + MIX_SPARE_BYTES bytes
    float* mix_buffer;           // first 16-byte boundary inside mix_allocation
    SyncSnapshot* snapshot_ring;  // block_count records
    BlockTempo* tempo_ring;       // block_count records, written and read like the snapshots
    int64_t first_block;          // block of the song the device started at (song_play_from)
    // Null when no feeder runs. Held by pointer: a process that exits while
    // the feeder runs must not meet a joinable std::thread being destroyed.
    std::thread* feeder;
};

Stream stream;

std::atomic<int32_t> write_block{0};    // next block to render, 0..block_count - 1
std::atomic<int32_t> audible_block{0};  // block heard now, 0..block_count - 1
std::atomic<bool> stop_requested{false};
std::atomic<bool> feeder_busy{false};
std::atomic<bool> feeder_ended{true};

int32_t block_count() { return ring_frames / block_frames; }

// Snapshot bytes, relaxed: the main thread may read a block while the feeder
// rewrites it: a query may mix bytes of the old and the new contents.
void snapshot_store(SyncSnapshot* destination, const SyncSnapshot& source) {
    auto* to = reinterpret_cast<uint8_t*>(destination);
    const auto* from = reinterpret_cast<const uint8_t*>(&source);
    for (size_t i = 0; i < sizeof(SyncSnapshot); ++i) {
        __atomic_store_n(to + i, from[i], __ATOMIC_RELAXED);
    }
}

uint8_t snapshot_byte(const SyncSnapshot* snapshot, size_t offset) {
    return __atomic_load_n(reinterpret_cast<const uint8_t*>(snapshot) + offset, __ATOMIC_RELAXED);
}

int32_t snapshot_int32(const SyncSnapshot* snapshot, size_t offset) {
    uint8_t bytes[4];
    for (size_t i = 0; i < 4; ++i) bytes[i] = snapshot_byte(snapshot, offset + i);
    int32_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// The song as it stands at the end of `block`; entries from channel_count on
// keep the zeros they were allocated with.
void record_snapshot(int32_t block, const Song* song) {
    SyncSnapshot snapshot = stream.snapshot_ring[block];
    snapshot.elapsed_ms = song->elapsed_ms;
    snapshot.row = static_cast<uint8_t>(song->row);
    snapshot.order = static_cast<uint8_t>(song->order);
    int32_t count = song->channel_count < CHANNEL_COUNT ? song->channel_count : CHANNEL_COUNT;
    for (int32_t i = 0; i < count; ++i) snapshot.channel_notes[i] = song->channel_notes[i];
    snapshot_store(&stream.snapshot_ring[block], snapshot);
    __atomic_store_n(&stream.tempo_ring[block].speed, song->speed, __ATOMIC_RELAXED);
    __atomic_store_n(&stream.tempo_ring[block].bpm, song->bpm, __ATOMIC_RELAXED);
}

const SyncSnapshot* audible_snapshot() {
    if (stream.snapshot_ring == nullptr) return nullptr;
    return &stream.snapshot_ring[audible_block.load(std::memory_order_acquire)];
}

const BlockTempo* audible_tempo() {
    if (stream.tempo_ring == nullptr) return nullptr;
    return &stream.tempo_ring[audible_block.load(std::memory_order_acquire)];
}

// The feeder runs time-critical where the platform lets it; without the
// privilege it simply runs at normal priority.
void run_feeder() {
    platform_raise_thread_priority();
    feeder_thread();
}

void release_play_buffers() {
    std::free(stream.mix_allocation);
    stream.mix_allocation = nullptr;
    stream.mix_buffer = nullptr;
    stream.current_song = nullptr;
    std::free(stream.snapshot_ring);
    stream.snapshot_ring = nullptr;
    std::free(stream.tempo_ring);
    stream.tempo_ring = nullptr;
}

// The device may still loop the old ring: stop it before the ring goes.
void release_output_ring() {
    if (stream.output_ring == nullptr) return;
    if (stream.device_open) sound_device_reset();
    std::free(stream.output_ring);
    stream.output_ring = nullptr;
}

void reset_song_position(Song* song) {
    song->global_volume = song->initial_global_volume;
    song->next_order = -1;
    song->next_row = -1;
    song->speed = song->default_tempo;
    song->row = 0;
    song->order = 0;
    song->tick_frames_left = 0;
    song->tick = 0;
    song->pattern_delay_ticks = 0;
    song->elapsed_ms = 0;
}

void bind_channels(const Song* song) {
    int32_t count = song->channel_count < CHANNEL_COUNT ? song->channel_count : CHANNEL_COUNT;
    for (int32_t i = 0; i < count; ++i) {
        channels[i] = Channel{};
        channels[i].voice = &voice_table[i];
    }
}

// Buffers for one play, all zero-filled; false (holding nothing new) when
// memory runs out.
bool allocate_play_buffers() {
    release_output_ring();
    size_t ring_bytes = static_cast<size_t>(ring_frames) * 4;
    stream.snapshot_ring =
        static_cast<SyncSnapshot*>(std::calloc(static_cast<size_t>(block_count()), sizeof(SyncSnapshot)));
    stream.tempo_ring = static_cast<BlockTempo*>(std::calloc(static_cast<size_t>(block_count()), sizeof(BlockTempo)));
    stream.output_ring = static_cast<int16_t*>(std::calloc(ring_bytes, 1));
    stream.mix_allocation = std::calloc(static_cast<size_t>(ring_frames) * 8 + MIX_SPARE_BYTES, 1);
    if (stream.snapshot_ring == nullptr || stream.tempo_ring == nullptr || stream.output_ring == nullptr ||
        stream.mix_allocation == nullptr) {
        release_play_buffers();
        release_output_ring();
        return false;
    }
    auto address = reinterpret_cast<uintptr_t>(stream.mix_allocation);
    stream.mix_buffer = reinterpret_cast<float*>((address + 15) & ~static_cast<uintptr_t>(15));
    return true;
}

// The song at its beginning: position reset, tempo, channels, the watch for
// its end. False when its tempo gives no frames per tick.
bool start_position(Song* song) {
    reset_song_position(song);
    if (song->on_play_start != nullptr) song->on_play_start(song);
    set_tempo(song, song->default_bpm);
    // render_block needs ticks of at least one frame.
    if (song->frames_per_tick <= 0) return false;
    bind_channels(song);
    song_end_begin(song);
    return true;
}

// song_play up to the prefill: the song's start and the buffers.
bool stream_begin(Song* song, int64_t first_block) {
    if (!start_position(song)) return false;
    stream.current_song = song;
    stream.first_block = first_block;
    if (!allocate_play_buffers()) return false;
    write_block.store(0, std::memory_order_release);
    audible_block.store(0, std::memory_order_release);
    return true;
}

bool stream_open(int32_t rate, bool with_device) {
    player_close();
    if (rate < MIXING_RATE_MIN || rate > MIXING_RATE_MAX) return false;
    mixing_rate = rate;
    if (with_device && !sound_device_open(rate)) return false;
    stream.device_open = with_device;
    frame_seconds = static_cast<float>(1.0 / rate);
    block_frames = (rate * BLOCK_MS / 1000 + 3) & ~3;
    ring_frames = (BUFFER_MS / BLOCK_MS) * block_frames * 2;
    ramp_frames_total = rate * 128 / 44100;
    ramp_reciprocal = static_cast<float>(1.0 / ramp_frames_total);
    voices_reset();
    stream.settings_ready = true;
    return true;
}

// song_play from the prefill on: the whole ring, the device and the feeder.
void start_feeder_play() {
    do {
        render_block();
    } while (write_block.load(std::memory_order_relaxed) != 0);
    sound_device_play_loop(stream.output_ring, ring_frames * 4);
    stop_requested.store(false, std::memory_order_release);
    // A song_stop right after this call must wait for the thread.
    feeder_ended.store(false, std::memory_order_release);
    stream.feeder = new std::thread(run_feeder);
}

}  // namespace

bool player_init(int32_t rate) {
    if (!file_callbacks_installed()) return false;
    return stream_open(rate, true);
}

bool player_init_offline(int32_t rate) { return stream_open(rate, false); }

void player_close() {
    scan_end();
    // A feeder must never render into a ring that is about to go.
    if (stream.current_song != nullptr) song_stop(stream.current_song);
    if (stream.device_open) {
        sound_device_reset();
        sound_device_close();
        stream.device_open = false;
    }
    release_output_ring();
    stream.settings_ready = false;
}

bool song_play(Song* song) {
    if (song == nullptr || !stream.settings_ready || !stream.device_open) return false;
    song_stop(song);
    if (!stream_begin(song, 0)) {
        release_play_buffers();
        return false;
    }
    start_feeder_play();
    return true;
}

bool song_play_from(Song* song, int64_t first_block) {
    if (song == nullptr || first_block < 0 || !stream.settings_ready || !stream.device_open) return false;
    song_stop(song);
    // Voices still sounding from an earlier play would be mixed into this one.
    voices_reset();
    // stream_begin also stops the device, which may still loop an old ring.
    if (!stream_begin(song, first_block)) {
        release_play_buffers();
        return false;
    }
    // Rendered and thrown away: the prefill renders over these blocks.
    for (int64_t block = 0; block < first_block; ++block) render_block();
    write_block.store(0, std::memory_order_release);
    audible_block.store(0, std::memory_order_release);
    start_feeder_play();
    return true;
}

bool song_stop(Song* song) {
    if (song == nullptr) return false;
    scan_end();
    stop_requested.store(true, std::memory_order_release);
    while (feeder_busy.load(std::memory_order_acquire)) std::this_thread::yield();
    if (stream.feeder != nullptr) {
        while (!feeder_ended.load(std::memory_order_acquire)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(STOP_POLL_MS));
        }
        stream.feeder->join();
        delete stream.feeder;
        stream.feeder = nullptr;
    }
    release_play_buffers();
    return true;
}

int32_t song_audible_order(Song* song) {
    if (song == nullptr) return 0;
    const SyncSnapshot* snapshot = audible_snapshot();
    return snapshot == nullptr ? 0 : snapshot_byte(snapshot, offsetof(SyncSnapshot, order));
}

int32_t song_audible_row(Song* song) {
    if (song == nullptr) return 0;
    const SyncSnapshot* snapshot = audible_snapshot();
    return snapshot == nullptr ? 0 : snapshot_byte(snapshot, offsetof(SyncSnapshot, row));
}

int32_t song_audible_channel_values(Song* song, int32_t* out) {
    if (song == nullptr) return 0;
    if (stream.snapshot_ring == nullptr) return 0;
    int32_t count = song->channel_count < CHANNEL_COUNT ? song->channel_count : CHANNEL_COUNT;
    for (int32_t i = 0; i < count; ++i) {
        // Afresh for every entry: one call may span two neighbouring blocks.
        const SyncSnapshot* snapshot = audible_snapshot();
        out[i] = snapshot_int32(snapshot, offsetof(SyncSnapshot, channel_notes) + 4 * static_cast<size_t>(i));
    }
    return 1;
}

void render_block() {
    Song* song = stream.current_song;
    if (song == nullptr) return;  // nothing started
    int32_t block = write_block.load(std::memory_order_relaxed);
    float* mix = stream.mix_buffer + static_cast<size_t>(block) * static_cast<size_t>(block_frames) * 2;
    std::memset(mix, 0, static_cast<size_t>(block_frames) * 2 * sizeof(float));

    int32_t left = song->tick_frames_left;
    int32_t done = 0;
    while (done < block_frames) {
        if (left <= 0) {
            song_end_tick(song);
            left = song->frames_per_tick > 0 ? song->frames_per_tick : 1;
        }
        int32_t piece = left < block_frames - done ? left : block_frames - done;
        mix_voices(mix + static_cast<size_t>(done) * 2, piece);
        // The float32 reciprocal of the rate lies a little below the true one,
        // so a tick of 882 frames at 44100 Hz adds 19 ms, not 20.
        auto ms = static_cast<int32_t>(static_cast<double>(piece) * static_cast<double>(frame_seconds) * 1000.0);
        song->elapsed_ms = static_cast<int32_t>(static_cast<uint32_t>(song->elapsed_ms) + static_cast<uint32_t>(ms));
        done += piece;
        left -= piece;
    }

    record_snapshot(block, song);
    song->tick_frames_left = left;
    clip_to_pcm16(stream.output_ring + static_cast<size_t>(block) * static_cast<size_t>(block_frames) * 2, mix,
                  block_frames);
    write_block.store(block + 1 == block_count() ? 0 : block + 1, std::memory_order_release);
}

int feeder_thread() {
    feeder_ended.store(false, std::memory_order_release);
    while (!stop_requested.load(std::memory_order_acquire)) {
        uint64_t bytes = sound_device_bytes_played();
        auto playing = static_cast<int32_t>((bytes / 4) % static_cast<uint64_t>(ring_frames)) / block_frames;
        while (write_block.load(std::memory_order_relaxed) != playing) {
            feeder_busy.store(true, std::memory_order_release);
            render_block();
            int32_t next = audible_block.load(std::memory_order_relaxed) + 1;
            audible_block.store(next == block_count() ? 0 : next, std::memory_order_release);
            feeder_busy.store(false, std::memory_order_release);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(FEEDER_POLL_MS));
    }
    feeder_ended.store(true, std::memory_order_release);
    return 0;
}

bool song_render_start(Song* song) {
    if (song == nullptr || !stream.settings_ready) return false;
    song_stop(song);
    if (!stream_begin(song, 0)) {
        release_play_buffers();
        return false;
    }
    return true;
}

const int16_t* song_render_next(SyncSnapshot* snapshot) {
    if (stream.current_song == nullptr || stream.feeder != nullptr) return nullptr;
    int32_t block = write_block.load(std::memory_order_relaxed);
    render_block();
    if (snapshot != nullptr) *snapshot = stream.snapshot_ring[block];
    return stream.output_ring + static_cast<size_t>(block) * static_cast<size_t>(block_frames) * 2;
}

int32_t stream_block_count() { return stream.settings_ready ? block_count() : 0; }
int32_t stream_write_block() { return write_block.load(std::memory_order_acquire); }
int32_t stream_audible_block() { return audible_block.load(std::memory_order_acquire); }
const int16_t* stream_output_ring() { return stream.output_ring; }
const SyncSnapshot* stream_snapshots() { return stream.snapshot_ring; }

int32_t stream_audible_elapsed_ms() {
    const SyncSnapshot* snapshot = audible_snapshot();
    return snapshot == nullptr ? 0 : snapshot_int32(snapshot, offsetof(SyncSnapshot, elapsed_ms));
}

bool stream_feeder_busy() { return feeder_busy.load(std::memory_order_acquire); }
bool stream_feeder_running() { return stream.feeder != nullptr; }

bool stream_start_scan(Song* song) {
    if (song == nullptr || song->on_tick == nullptr || !stream.settings_ready) return false;
    song_stop(song);
    return start_position(song);
}

int32_t player_block_frames() { return stream.settings_ready ? block_frames : 0; }

void player_pause(bool paused) {
    if (stream.device_open) sound_device_pause(paused);
}

const char* player_device_error() { return sound_device_error(); }

int32_t song_audible_speed(Song* song) {
    const BlockTempo* tempo = song == nullptr ? nullptr : audible_tempo();
    return tempo == nullptr ? 0 : __atomic_load_n(&tempo->speed, __ATOMIC_RELAXED);
}

int32_t song_audible_bpm(Song* song) {
    const BlockTempo* tempo = song == nullptr ? nullptr : audible_tempo();
    return tempo == nullptr ? 0 : __atomic_load_n(&tempo->bpm, __ATOMIC_RELAXED);
}

int64_t song_audible_frame(Song* song) {
    if (song == nullptr || stream.feeder == nullptr || !stream.device_open) return 0;
    auto heard = static_cast<int64_t>(sound_device_bytes_played() / 4);
    return stream.first_block * block_frames + heard;
}
