// The output stream. A block is rendered into its place in the ring with its
// state recorded beside it. Offline the caller's render copies frames out of
// the block that holds them, rendering the next one when it needs it. Live,
// the start renders the whole ring on the calling thread, hands it to the
// device as one endless loop and starts the feeder, which re-renders every
// block as soon as the device has left it: a block rendered now is heard
// about block_count - 1 blocks (two seconds) later, and its state says where
// the song stood at its end.
//
// Nothing is locked while a live play runs. stop_requested is written by the
// caller's thread only, feeder_busy, feeder_ended and audible_block by the
// feeder only (and by the start before the feeder exists). The caller reads
// the state of audible_block while the feeder rewrites others, so block
// states are written and read byte by byte with relaxed atomics; the feeder
// moves audible_block on before it rewrites the block the device has left,
// and a reader that finds audible_block moved while it copied copies again,
// so no reader sees a block being rewritten. The feeder waits between its looks at the device on a
// condition the stop wakes, so a stop takes no longer than the block being
// rendered.
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "player/module/song.h"
#include "player/output/mixer.h"
#include "player/output/player.h"
#include "player/output/song_handle.h"
#include "player/output/thread_priority.h"
#include "player/replay/song_end.h"

namespace korvanti {

namespace {

constexpr int32_t BUFFER_MS = 1000;  // half the ring, in ms
constexpr int32_t BLOCK_MS = 20;
constexpr size_t MIX_SPARE_BYTES = 256;  // room to align the mix buffer to 16 bytes
constexpr auto FEEDER_POLL = std::chrono::milliseconds(5);

// Block state bytes, relaxed: the caller may read a block while the feeder
// rewrites it, and a query may mix bytes of the old and the new contents.
void block_state_store(BlockState* destination, const BlockState& source) {
    auto* to = reinterpret_cast<uint8_t*>(destination);
    const auto* from = reinterpret_cast<const uint8_t*>(&source);
    for (size_t i = 0; i < sizeof(BlockState); ++i) __atomic_store_n(to + i, from[i], __ATOMIC_RELAXED);
}

ChannelView channel_view(const PlayState& play, int32_t index) {
    const Channel& channel = play.channels[index];
    const Voice* voice = channel.voice;
    ChannelView view = {play.channel_notes[index], 0, 128, 0, 0};
    if (voice == nullptr) return view;
    view.panning = voice->panning;
    if (voice->sample == nullptr || voice->sample->data == nullptr) return view;
    view.volume = voice->volume < 0 ? 0 : voice->volume > 64 ? 64 : voice->volume;
    view.instrument = channel.instrument + 1;
    view.note = channel.note + 1;
    return view;
}

// The play as it stands at the end of ring block `ring`; channel entries
// from channel_count on stay 0.
void record_block_state(Player* player, int32_t ring) {
    const PlayState& play = player->play;
    BlockState state = {};
    state.snapshot.elapsed_ms = play.elapsed_ms;
    state.snapshot.row = static_cast<uint8_t>(play.row);
    state.snapshot.order = static_cast<uint8_t>(play.order);
    state.order = play.order;
    state.row = play.row;
    state.speed = play.speed;
    state.bpm = play.bpm;
    state.pass = play.watch.passes_done;
    int32_t count = play.song->channel_count;
    state.channel_count = count;
    for (int32_t i = 0; i < count; ++i) {
        state.snapshot.channel_notes[i] = play.channel_notes[i];
        state.channels[i] = channel_view(play, i);
    }
    // Only a live play has a reader beside the renderer.
    if (player->run == StreamRun::LIVE) {
        block_state_store(&player->block_ring[ring], state);
    } else {
        player->block_ring[ring] = state;
    }
}

// Separation and gain, in double, once per frame, before the clip.
void apply_output_settings(const OutputSettings& output, float* mix, int32_t frames) {
    bool separate = output.separation_percent != 100;
    bool gain = output.gain_db != 0.0;
    if (!separate && !gain) return;
    double width = output.separation_percent / 100.0;
    for (int32_t k = 0; k < frames; ++k) {
        double left = static_cast<double>(mix[2 * k]);
        double right = static_cast<double>(mix[2 * k + 1]);
        if (separate) {
            double middle = (left + right) * 0.5;
            double side = (left - right) * 0.5 * width;
            left = middle + side;
            right = middle - side;
        }
        if (gain) {
            left *= output.gain;
            right *= output.gain;
        }
        mix[2 * k] = static_cast<float>(left);
        mix[2 * k + 1] = static_cast<float>(right);
    }
}

// The ticks and the mix of one block; the mix is null for a silent block.
void run_block(Player* player, float* mix) {
    PlayState& play = player->play;
    int32_t left = play.tick_frames_left;
    int32_t done = 0;
    while (done < player->block_frames) {
        if (left <= 0) {
            song_end_tick(&play);
            left = play.frames_per_tick > 0 ? play.frames_per_tick : 1;
        }
        int32_t piece = left < player->block_frames - done ? left : player->block_frames - done;
        mix_voices(play.voice_table, player->mixer, player->output.muted_channels,
                   mix != nullptr ? mix + static_cast<size_t>(done) * 2 : nullptr, piece);
        // The float32 reciprocal of the rate lies a little below the true one,
        // so a tick of 882 frames at 44100 Hz adds 19 ms, not 20.
        auto ms = static_cast<int32_t>(static_cast<double>(piece) * static_cast<double>(player->frame_seconds) *
                                       1000.0);
        play.elapsed_ms = static_cast<int32_t>(static_cast<uint32_t>(play.elapsed_ms) + static_cast<uint32_t>(ms));
        done += piece;
        left -= piece;
    }
    play.tick_frames_left = left;
}

// The feeder runs time-critical where the platform lets it; without the
// privilege it simply runs at normal priority.
void run_feeder(Player* player) {
    raise_thread_priority();
    feeder_thread(player);
}

}  // namespace

bool player_setup(Player* player, int32_t rate) {
    if (rate < PLAYER_RATE_MIN || rate > PLAYER_RATE_MAX) return false;
    player->mixing_rate = rate;
    player->frame_seconds = static_cast<float>(1.0 / rate);
    player->block_frames = (rate * BLOCK_MS / 1000 + 3) & ~3;
    player->ring_frames = (BUFFER_MS / BLOCK_MS) * player->block_frames * 2;
    player->mixer = mixer_settings_for_rate(rate);
    player->output = OutputSettings{0.0, 1.0, 100, 0};
    player->passes = 1;
    player->feeder_ended.store(true);
    // Every buffer of a play, for the player's life: a start allocates nothing.
    size_t ring_frames = static_cast<size_t>(player->ring_frames);
    player->output_ring = static_cast<int16_t*>(std::calloc(ring_frames, 4));
    player->mix_allocation = std::calloc(ring_frames * 8 + MIX_SPARE_BYTES, 1);
    player->block_ring =
        static_cast<BlockState*>(std::calloc(static_cast<size_t>(block_count(player)), sizeof(BlockState)));
    if (player->output_ring == nullptr || player->mix_allocation == nullptr || player->block_ring == nullptr) {
        player_teardown(player);
        return false;
    }
    auto address = reinterpret_cast<uintptr_t>(player->mix_allocation);
    player->mix_buffer = reinterpret_cast<float*>((address + 15) & ~static_cast<uintptr_t>(15));
    return true;
}

void player_teardown(Player* player) {
    player_stop_play(player);
    sound_device_close(&player->device);
    std::free(player->checkpoints.copies);
    player->checkpoints = Checkpoints{};
    std::free(player->output_ring);
    std::free(player->mix_allocation);
    std::free(player->block_ring);
    player->output_ring = nullptr;
    player->mix_allocation = nullptr;
    player->mix_buffer = nullptr;
    player->block_ring = nullptr;
}

void player_stop_play(Player* player) {
    if (player->run == StreamRun::LIVE) stop_live_stream(player);
    player->run = StreamRun::NONE;
    if (player->handle != nullptr) song_handle_detach(player->handle, player);
    player->handle = nullptr;
    player->play.song = nullptr;
}

int player_begin(Player* player, SongHandle* handle) {
    player_stop_play(player);
    if (!play_state_begin(&player->play, handle->song, player->mixing_rate, player->passes)) {
        player->play.song = nullptr;
        return KORVANTI_ERROR_STATE;
    }
    player->limit_frame = player->passes > 0 ? player->passes * PASS_LIMIT_SECONDS * player->mixing_rate : INT64_MAX;
    player->next_block = 0;
    player->ring_base_block = 0;
    player->ring_valid_block = 0;
    player->write_block.store(0, std::memory_order_release);
    player->audible_block.store(0, std::memory_order_release);
    player->frame = 0;
    player->paused = false;
    std::memset(static_cast<void*>(player->block_ring), 0, sizeof(BlockState) * static_cast<size_t>(block_count(player)));
    player->checkpoints.count = 0;
    player->checkpoints.spacing = FIRST_CHECKPOINT_SPACING;
    player->handle = handle;
    player->started = true;
    song_handle_attach(handle, player);
    if (player->live) {
        player->run = StreamRun::LIVE;
        if (!start_live_stream(player)) {
            player_stop_play(player);
            return KORVANTI_ERROR_DEVICE;
        }
    } else {
        player->run = StreamRun::RENDER;
    }
    return KORVANTI_OK;
}

int64_t play_stop_frame(const Player* player) {
    SongEndFound end = song_end_found(&player->play);
    return end.frame >= 0 && end.frame < player->limit_frame ? end.frame : player->limit_frame;
}

int32_t ring_block_of(const Player* player, int64_t block) {
    int64_t count = block_count(player);
    int64_t slot = (block - player->ring_base_block) % count;
    return static_cast<int32_t>(slot < 0 ? slot + count : slot);
}

void render_block(Player* player, bool silent) { render_block_as(player, silent, true); }

void render_block_as(Player* player, bool silent, bool recorded) {
    if (player->play.song == nullptr) return;  // nothing started
    int32_t ring = player->write_block.load(std::memory_order_relaxed);
    int64_t block_start = player->next_block * player->block_frames;
    size_t block_values = static_cast<size_t>(player->block_frames) * 2;
    float* mix = silent ? nullptr : player->mix_buffer + static_cast<size_t>(ring) * block_values;
    if (mix != nullptr) std::memset(mix, 0, block_values * sizeof(float));
    // Past the end of the play nothing moves any more.
    if (block_start < play_stop_frame(player)) run_block(player, mix);
    if (recorded) record_block_state(player, ring);
    if (mix != nullptr) {
        int16_t* pcm = player->output_ring + static_cast<size_t>(ring) * block_values;
        apply_output_settings(player->output, mix, player->block_frames);
        clip_to_pcm16(player->mixer, pcm, mix, player->block_frames);
        // A live device falls silent where the play ends.
        int64_t stop = play_stop_frame(player);
        if (stop < block_start + player->block_frames) {
            int64_t from = stop > block_start ? stop - block_start : 0;
            std::memset(pcm + from * 2, 0, static_cast<size_t>(player->block_frames - from) * 4);
        }
    }
    player->write_block.store(ring + 1 == block_count(player) ? 0 : ring + 1, std::memory_order_release);
    player->next_block += 1;
    if (player->checkpoints.copies != nullptr) checkpoint_offer(player);
}

void skip_blocks(Player* player, int64_t count) {
    if (player->play.song == nullptr || count <= 0) return;
    PlayState& play = player->play;
    const int64_t block_frames = player->block_frames;
    const int64_t first = player->next_block * block_frames;
    const int64_t end = first + count * block_frames;
    int64_t frame = first;
    int32_t left = play.tick_frames_left;
    // A tick spans a few blocks at most; a longer one goes in several calls,
    // which is the same.
    int32_t pieces[MAX_UNHEARD_PIECES];
    bool past_end = false;
    while (frame < end && !past_end) {
        // A block past the end of the play runs nothing, nor do later ones.
        if (frame % block_frames == 0 && frame >= play_stop_frame(player)) break;
        if (left <= 0) {
            song_end_tick(&play);
            left = play.frames_per_tick > 0 ? play.frames_per_tick : 1;
        }
        const int64_t stop = play_stop_frame(player);
        const int64_t tick_end = frame + left < end ? frame + left : end;
        int32_t piece_count = 0;
        int64_t at = frame;
        while (at < tick_end && piece_count < MAX_UNHEARD_PIECES) {
            int64_t block_end = (at / block_frames + 1) * block_frames;
            int64_t piece_end = block_end < tick_end ? block_end : tick_end;
            auto piece = static_cast<int32_t>(piece_end - at);
            pieces[piece_count++] = piece;
            // The same sum, piece by piece, as run_block's.
            auto ms = static_cast<int32_t>(static_cast<double>(piece) * static_cast<double>(player->frame_seconds) *
                                           1000.0);
            play.elapsed_ms = static_cast<int32_t>(static_cast<uint32_t>(play.elapsed_ms) + static_cast<uint32_t>(ms));
            at = piece_end;
            if (at == block_end && at >= stop) {
                past_end = true;
                break;
            }
        }
        move_voices_unheard(play.voice_table, player->mixer, pieces, piece_count);
        left -= static_cast<int32_t>(at - frame);
        frame = at;
    }
    play.tick_frames_left = left;
    int64_t ring = (player->write_block.load(std::memory_order_relaxed) + count) % block_count(player);
    player->write_block.store(static_cast<int32_t>(ring), std::memory_order_release);
    player->next_block += count;
    if (player->checkpoints.copies != nullptr) checkpoint_offer(player);
}

const BlockState* rendered_block_state(const Player* player, int64_t block) {
    if (player->block_ring == nullptr || player->play.song == nullptr) return nullptr;
    if (block < 0 || block >= player->next_block || block < player->ring_valid_block) return nullptr;
    if (block < player->next_block - block_count(player)) return nullptr;
    return &player->block_ring[ring_block_of(player, block)];
}

void block_state_read(const BlockState* state, BlockState* copy) {
    const auto* from = reinterpret_cast<const uint8_t*>(state);
    auto* to = reinterpret_cast<uint8_t*>(copy);
    for (size_t i = 0; i < sizeof(BlockState); ++i) to[i] = __atomic_load_n(from + i, __ATOMIC_RELAXED);
}

bool current_block_state(const Player* player, BlockState* copy) {
    if (player->run == StreamRun::LIVE) {
        // The feeder names the next block heard before it rewrites the one
        // the device has left, so a copy taken while audible_block stood
        // still is whole and not a block from two seconds ahead. A reader
        // held up for a block's time or more copies again.
        for (int32_t tries = 0;; ++tries) {
            int32_t heard = player->audible_block.load(std::memory_order_acquire);
            block_state_read(&player->block_ring[heard], copy);
            std::atomic_thread_fence(std::memory_order_acquire);
            if (player->audible_block.load(std::memory_order_relaxed) == heard || tries == 100) return true;
        }
    }
    if (player->run != StreamRun::RENDER || player->frame <= 0) return false;
    const BlockState* state = rendered_block_state(player, (player->frame - 1) / player->block_frames);
    if (state == nullptr) return false;
    *copy = *state;
    return true;
}

int64_t audible_frame(Player* player) {
    auto heard = static_cast<int64_t>(sound_device_bytes_played(&player->device) / 4);
    return player->ring_base_block * player->block_frames + heard;
}

bool start_live_stream(Player* player) {
    player->ring_base_block = player->next_block;
    if (player->ring_valid_block < player->next_block) player->ring_valid_block = player->next_block;
    player->write_block.store(0, std::memory_order_release);
    player->audible_block.store(0, std::memory_order_release);
    do {
        render_block(player, false);
    } while (player->write_block.load(std::memory_order_relaxed) != 0);
    sound_device_play_loop(&player->device, player->output_ring, player->ring_frames * 4);
    if (player->device.failed) {
        sound_device_reset(&player->device);
        return false;
    }
    if (player->paused) sound_device_pause(&player->device, true);
    player->stop_requested.store(false, std::memory_order_release);
    // A stop right after this call must wait for the thread.
    player->feeder_ended.store(false, std::memory_order_release);
    player->feeder = new std::thread(run_feeder, player);
    return true;
}

void stop_live_stream(Player* player) {
    if (player->feeder != nullptr) {
        {
            std::lock_guard<std::mutex> hold(player->feeder_lock);
            player->stop_requested.store(true, std::memory_order_release);
        }
        player->feeder_wake.notify_all();
        player->feeder->join();
        delete player->feeder;
        player->feeder = nullptr;
    }
    sound_device_reset(&player->device);
}

int feeder_thread(Player* player) {
    player->feeder_ended.store(false, std::memory_order_release);
    std::unique_lock<std::mutex> hold(player->feeder_lock);
    while (!player->stop_requested.load(std::memory_order_acquire)) {
        hold.unlock();
        uint64_t bytes = sound_device_bytes_played(&player->device);
        auto playing = static_cast<int32_t>((bytes / 4) % static_cast<uint64_t>(player->ring_frames)) /
                       player->block_frames;
        while (player->write_block.load(std::memory_order_relaxed) != playing) {
            player->feeder_busy.store(true, std::memory_order_release);
            // The device has left the block about to be rewritten: readers
            // move on to the next one before the old state goes.
            int32_t next = player->audible_block.load(std::memory_order_relaxed) + 1;
            player->audible_block.store(next == block_count(player) ? 0 : next, std::memory_order_release);
            std::atomic_thread_fence(std::memory_order_release);
            render_block(player, false);
            player->feeder_busy.store(false, std::memory_order_release);
        }
        hold.lock();
        player->feeder_wake.wait_for(hold, FEEDER_POLL,
                                     [player] { return player->stop_requested.load(std::memory_order_acquire); });
    }
    player->feeder_ended.store(true, std::memory_order_release);
    return 0;
}

}  // namespace korvanti
