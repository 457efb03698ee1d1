// The public calls on players: creation with or without a device, start,
// stop and pause, rendering into the caller's buffer, seeks, output
// settings, and what is heard.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "korvanti/player.h"
#include "player/output/mixer_loops.h"
#include "player/output/player.h"
#include "player/output/song_handle.h"
#include "player/output/song_scan.h"
#include "player/replay/song_end.h"

using korvanti::Player;
using korvanti::StreamRun;

namespace {

Player* player_of(korvanti_player* player) { return reinterpret_cast<Player*>(player); }
const Player* player_of(const korvanti_player* player) { return reinterpret_cast<const Player*>(player); }

constexpr double GAIN_DB_MIN = -100.0;
constexpr double GAIN_DB_MAX = 40.0;

korvanti_player* fail(int* error, int code) {
    if (error != nullptr) *error = code;
    return nullptr;
}

// Output settings change with the feeder stopped, so it never reads a
// setting while it is written, and live play goes on from the block heard,
// rendered again: a change is heard at once, not after the two seconds
// rendered ahead.
template <typename Change>
int change_output(Player* record, Change change) {
    if (record->run != StreamRun::LIVE) {
        change(record->output);
        return KORVANTI_OK;
    }
    const int64_t heard = korvanti::audible_frame(record);
    korvanti::stop_live_stream(record);
    change(record->output);
    // At or past the end of the play there is nothing to render again.
    if (korvanti::seek_to_frame(record, heard) == KORVANTI_OK) return KORVANTI_OK;
    if (record->run == StreamRun::LIVE && korvanti::start_live_stream(record)) return KORVANTI_OK;
    korvanti::player_stop_play(record);
    return KORVANTI_ERROR_DEVICE;
}

void copy_reason(char* reason, size_t size, const char* text) {
    if (reason != nullptr && size > 0) std::snprintf(reason, size, "%s", text);
}

// A player record set up for `rate`; null (with the code) when the rate is
// refused or memory runs out.
Player* make_player(int32_t rate, int* error) {
    if (rate < korvanti::PLAYER_RATE_MIN || rate > korvanti::PLAYER_RATE_MAX) {
        fail(error, KORVANTI_ERROR_ARGUMENT);
        return nullptr;
    }
    Player* player = new (std::nothrow) Player();
    if (player == nullptr || !korvanti::player_setup(player, rate)) {
        delete player;
        fail(error, KORVANTI_ERROR_MEMORY);
        return nullptr;
    }
    return player;
}

korvanti::MixLoop loops_named(const char* name, bool* known) {
    static const struct {
        const char* name;
        korvanti::MixLoop kind;
    } NAMES[] = {{"plain", korvanti::MixLoop::PLAIN},
                 {"sse2", korvanti::MixLoop::SSE2},
                 {"avx2", korvanti::MixLoop::AVX2},
                 {"avx512", korvanti::MixLoop::AVX512}};
    for (const auto& entry : NAMES) {
        if (std::strcmp(entry.name, name) == 0) {
            *known = true;
            return entry.kind;
        }
    }
    *known = false;
    return korvanti::MixLoop::PLAIN;
}

}  // namespace

namespace korvanti {

// For tests: a live player on a device of the caller's choice.
Player* player_create_on_device(int32_t rate, const SoundDeviceOps* device, int* error) {
    Player* player = make_player(rate, error);
    if (player == nullptr) return nullptr;
    if (!sound_device_open(&player->device, device, rate)) {
        player_teardown(player);
        delete player;
        fail(error, KORVANTI_ERROR_DEVICE);
        return nullptr;
    }
    player->live = true;
    if (error != nullptr) *error = KORVANTI_OK;
    return player;
}

}  // namespace korvanti

extern "C" {

korvanti_player* korvanti_player_create(int32_t rate, int* error) {
    Player* player = make_player(rate, error);
    if (player == nullptr) return nullptr;
    if (error != nullptr) *error = KORVANTI_OK;
    return reinterpret_cast<korvanti_player*>(player);
}

korvanti_player* korvanti_player_create_live(int32_t rate, int device, int* error, char* reason,
                                             size_t reason_size) {
    const korvanti::SoundDeviceOps* ops = device == KORVANTI_DEVICE_SOUND   ? korvanti::system_sound_device()
                                          : device == KORVANTI_DEVICE_CLOCK ? korvanti::clock_sound_device()
                                                                            : nullptr;
    if (ops == nullptr || rate < korvanti::PLAYER_RATE_MIN || rate > korvanti::PLAYER_RATE_MAX) {
        copy_reason(reason, reason_size, korvanti_error_message(KORVANTI_ERROR_ARGUMENT));
        return fail(error, KORVANTI_ERROR_ARGUMENT);
    }
    Player* player = make_player(rate, error);
    if (player == nullptr) {
        copy_reason(reason, reason_size, korvanti_error_message(KORVANTI_ERROR_MEMORY));
        return nullptr;
    }
    if (!korvanti::sound_device_open(&player->device, ops, rate)) {
        copy_reason(reason, reason_size, player->device.error);
        korvanti::player_teardown(player);
        delete player;
        return fail(error, KORVANTI_ERROR_DEVICE);
    }
    player->live = true;
    copy_reason(reason, reason_size, "");
    if (error != nullptr) *error = KORVANTI_OK;
    return reinterpret_cast<korvanti_player*>(player);
}

void korvanti_player_destroy(korvanti_player* player) {
    if (player == nullptr) return;
    korvanti::player_teardown(player_of(player));
    delete player_of(player);
}

int32_t korvanti_player_rate(const korvanti_player* player) {
    return player != nullptr ? player_of(player)->mixing_rate : 0;
}

int32_t korvanti_player_block_frames(const korvanti_player* player) {
    return player != nullptr ? player_of(player)->block_frames : 0;
}

int korvanti_player_start(korvanti_player* player, korvanti_song* song) {
    if (player == nullptr || song == nullptr) return KORVANTI_ERROR_ARGUMENT;
    return korvanti::player_begin(player_of(player), reinterpret_cast<korvanti::SongHandle*>(song));
}

const char* korvanti_player_device_error(const korvanti_player* player) {
    return player != nullptr ? player_of(player)->device.error : "";
}

int korvanti_player_stop(korvanti_player* player) {
    if (player == nullptr) return KORVANTI_ERROR_ARGUMENT;
    korvanti::player_stop_play(player_of(player));
    return KORVANTI_OK;
}

int korvanti_player_pause(korvanti_player* player, bool paused) {
    if (player == nullptr) return KORVANTI_ERROR_ARGUMENT;
    Player* record = player_of(player);
    if (!record->live) return KORVANTI_ERROR_STATE;
    record->paused = paused;
    if (record->run == StreamRun::LIVE) korvanti::sound_device_pause(&record->device, paused);
    return KORVANTI_OK;
}

int korvanti_player_set_passes(korvanti_player* player, int32_t passes) {
    if (player == nullptr || passes < 0) return KORVANTI_ERROR_ARGUMENT;
    player_of(player)->passes = passes;
    return KORVANTI_OK;
}

int64_t korvanti_player_render(korvanti_player* player, int16_t* frames, int64_t frame_count) {
    if (player == nullptr || frame_count < 0 || (frames == nullptr && frame_count > 0)) {
        return KORVANTI_ERROR_ARGUMENT;
    }
    Player* record = player_of(player);
    if (record->live) return KORVANTI_ERROR_STATE;
    // A play stopped, or whose song was freed, leaves nothing to render.
    if (record->run != StreamRun::RENDER) return record->started ? 0 : KORVANTI_ERROR_STATE;
    int64_t written = 0;
    while (written < frame_count) {
        int64_t block = record->frame / record->block_frames;
        while (record->next_block <= block) korvanti::render_block(record, false);
        int64_t stop = korvanti::play_stop_frame(record);
        if (record->frame >= stop) break;
        int64_t offset = record->frame - block * record->block_frames;
        int64_t count = record->block_frames - offset;
        if (count > frame_count - written) count = frame_count - written;
        if (count > stop - record->frame) count = stop - record->frame;
        const int16_t* from =
            record->output_ring + (static_cast<int64_t>(korvanti::ring_block_of(record, block)) * record->block_frames + offset) * 2;
        std::memcpy(frames + written * 2, from, static_cast<size_t>(count) * 4);
        written += count;
        record->frame += count;
    }
    return written;
}

int korvanti_player_seek_frame(korvanti_player* player, int64_t frame) {
    if (player == nullptr) return KORVANTI_ERROR_ARGUMENT;
    return korvanti::seek_to_frame(player_of(player), frame);
}

int korvanti_player_seek_ms(korvanti_player* player, int64_t ms) {
    if (player == nullptr) return KORVANTI_ERROR_ARGUMENT;
    if (ms < 0 || ms > INT64_MAX / korvanti::PLAYER_RATE_MAX) return KORVANTI_ERROR_RANGE;
    return korvanti::seek_to_frame(player_of(player), ms * player_of(player)->mixing_rate / 1000);
}

int korvanti_player_seek_order(korvanti_player* player, int32_t order, int32_t row) {
    if (player == nullptr) return KORVANTI_ERROR_ARGUMENT;
    Player* record = player_of(player);
    if (record->handle == nullptr) return KORVANTI_ERROR_STATE;
    if (order < 0 || order > 255 || row < 0 || row > 255) return KORVANTI_ERROR_RANGE;
    int64_t frame = korvanti::song_flow_row_frame(record->handle->song, record->mixing_rate, order, row);
    if (frame < 0) return static_cast<int>(frame);
    return korvanti::seek_to_frame(record, frame);
}

int korvanti_player_set_gain_db(korvanti_player* player, double db) {
    if (player == nullptr || !(db >= GAIN_DB_MIN && db <= GAIN_DB_MAX)) return KORVANTI_ERROR_ARGUMENT;
    return change_output(player_of(player), [db](korvanti::OutputSettings& output) {
        output.gain_db = db;
        // Held as float32 so that a last-bit difference between systems' pow
        // never reaches the output.
        output.gain = static_cast<double>(static_cast<float>(std::pow(10.0, db / 20.0)));
    });
}

int korvanti_player_set_stereo_separation(korvanti_player* player, int32_t percent) {
    if (player == nullptr || percent < 0 || percent > 100) return KORVANTI_ERROR_ARGUMENT;
    return change_output(player_of(player),
                         [percent](korvanti::OutputSettings& output) { output.separation_percent = percent; });
}

int korvanti_player_set_channel_muted(korvanti_player* player, int32_t channel, bool muted) {
    if (player == nullptr || channel < 0 || channel >= korvanti::CHANNEL_COUNT) return KORVANTI_ERROR_ARGUMENT;
    uint32_t bit = 1u << channel;
    return change_output(player_of(player), [bit, muted](korvanti::OutputSettings& output) {
        output.muted_channels = muted ? output.muted_channels | bit : output.muted_channels & ~bit;
    });
}

int korvanti_player_set_mixer(korvanti_player* player, const char* name) {
    if (player == nullptr) return KORVANTI_ERROR_ARGUMENT;
    Player* record = player_of(player);
    if (record->run == StreamRun::LIVE) return KORVANTI_ERROR_STATE;
    if (name == nullptr) {
        record->mixer.loops = korvanti::fastest_mix_loops();
        return KORVANTI_OK;
    }
    bool known = false;
    korvanti::MixLoop kind = loops_named(name, &known);
    if (!known) return KORVANTI_ERROR_ARGUMENT;
    const korvanti::MixLoops* loops = korvanti::mix_loops_of(kind);
    if (loops == nullptr) return KORVANTI_ERROR_UNAVAILABLE;
    record->mixer.loops = loops;
    return KORVANTI_OK;
}

const char* korvanti_player_mixer(const korvanti_player* player) {
    return player != nullptr ? player_of(player)->mixer.loops->name : "";
}

int korvanti_player_get_position(const korvanti_player* player, korvanti_position* position) {
    if (player == nullptr || position == nullptr) return KORVANTI_ERROR_ARGUMENT;
    Player* record = const_cast<Player*>(player_of(player));
    if (record->run == StreamRun::NONE) return KORVANTI_ERROR_STATE;
    korvanti_position result = {};
    const korvanti::BlockState* shared = korvanti::current_block_state(record);
    korvanti::BlockState state = {};
    if (shared != nullptr) {
        korvanti::block_state_read(shared, &state);
    } else {
        // Nothing rendered yet: the start.
        state.speed = record->play.speed;
        state.bpm = record->play.bpm;
        state.channel_count = record->play.song->channel_count;
    }
    result.frame = record->run == StreamRun::LIVE ? korvanti::audible_frame(record) : record->frame;
    result.order = state.order;
    result.row = state.row;
    result.speed = state.speed;
    result.bpm = state.bpm;
    result.pass = state.pass;
    result.channel_count = state.channel_count;
    for (int32_t i = 0; i < state.channel_count && i < korvanti::CHANNEL_COUNT; ++i) {
        const korvanti::ChannelView& view = state.channels[i];
        result.channels[i] = korvanti_channel_state{view.note_struck != 0, view.volume, view.panning,
                                                    view.instrument, view.note};
    }
    *position = result;
    return KORVANTI_OK;
}

int korvanti_player_get_snapshot(const korvanti_player* player, int64_t block, korvanti_sync_snapshot* snapshot) {
    if (player == nullptr || snapshot == nullptr) return KORVANTI_ERROR_ARGUMENT;
    const Player* record = player_of(player);
    if (record->run != StreamRun::RENDER) return KORVANTI_ERROR_STATE;
    const korvanti::BlockState* state = korvanti::rendered_block_state(record, block);
    if (state == nullptr) return KORVANTI_ERROR_RANGE;
    *snapshot = state->snapshot;
    return KORVANTI_OK;
}

int korvanti_player_get_end(const korvanti_player* player, korvanti_song_end* end) {
    if (player == nullptr || end == nullptr) return KORVANTI_ERROR_ARGUMENT;
    const Player* record = player_of(player);
    if (record->run == StreamRun::NONE) return KORVANTI_ERROR_STATE;
    korvanti::SongEndFound found = korvanti::song_end_found(&record->play);
    if (found.frame >= 0 && found.frame < record->limit_frame) {
        *end = korvanti_song_end{found.frame, true, found.order, found.row};
        return KORVANTI_OK;
    }
    // The limit counts as the end once the render has reached it.
    bool rendered_to_limit = record->next_block * record->block_frames >= record->limit_frame;
    if (record->run == StreamRun::RENDER && rendered_to_limit) {
        *end = korvanti_song_end{record->limit_frame, false, 0, 0};
        return KORVANTI_OK;
    }
    return KORVANTI_ERROR_RANGE;
}

}  // extern "C"
