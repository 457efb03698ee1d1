// The public calls on songs: loading from memory, a file or the caller's
// reader, the warnings, the module's facts, and the length and row frames
// found from the rows alone.
#include <new>

#include "korvanti/player.h"
#include "player/module/file_access.h"
#include "player/module/song.h"
#include "player/module/song_info.h"
#include "player/output/player.h"
#include "player/output/song_handle.h"
#include "player/output/song_scan.h"
#include "player/replay/sequencer.h"

using korvanti::SongHandle;

namespace {

const SongHandle* handle_of(const korvanti_song* song) { return reinterpret_cast<const SongHandle*>(song); }
SongHandle* handle_of(korvanti_song* song) { return reinterpret_cast<SongHandle*>(song); }

korvanti_song* fail(int* error, int code) {
    if (error != nullptr) *error = code;
    return nullptr;
}

int memory_file_error(korvanti::MemoryFileResult result) {
    switch (result) {
        case korvanti::MemoryFileResult::NO_MEMORY: return KORVANTI_ERROR_MEMORY;
        case korvanti::MemoryFileResult::CANNOT_OPEN: return KORVANTI_ERROR_OPEN;
        case korvanti::MemoryFileResult::TOO_LARGE: return KORVANTI_ERROR_FORMAT;
        default: return KORVANTI_ERROR_READ;
    }
}

int load_error(korvanti::LoadResult result) {
    switch (result) {
        case korvanti::LoadResult::NO_MEMORY: return KORVANTI_ERROR_MEMORY;
        case korvanti::LoadResult::NOT_XM: return KORVANTI_ERROR_FORMAT;
        default: return KORVANTI_ERROR_UNSUPPORTED;
    }
}

// The module in `memory`, which the load takes over.
korvanti_song* load_from(korvanti::MemoryFile* memory, korvanti::MemoryFileResult made, int* error) {
    if (memory == nullptr) return fail(error, memory_file_error(made));
    korvanti::FileHandle* file = korvanti::file_adopt(&korvanti::memory_file_callbacks, memory);
    if (file == nullptr) {
        korvanti::memory_file_close(memory);
        return fail(error, KORVANTI_ERROR_MEMORY);
    }
    SongHandle* handle = new (std::nothrow) SongHandle{};
    if (handle == nullptr) {
        korvanti::file_close(file);
        return fail(error, KORVANTI_ERROR_MEMORY);
    }
    korvanti::LoadResult result = korvanti::LoadResult::LOADED;
    handle->song = korvanti::song_load_module(file, nullptr, &result);
    korvanti::file_close(file);
    if (handle->song == nullptr) {
        delete handle;
        return fail(error, load_error(result));
    }
    handle->song->on_tick = korvanti::sequencer_tick;
    if (error != nullptr) *error = KORVANTI_OK;
    return reinterpret_cast<korvanti_song*>(handle);
}

}  // namespace

extern "C" {

const char* korvanti_version(void) { return KORVANTI_VERSION; }

const char* korvanti_error_message(int code) {
    switch (code) {
        case KORVANTI_OK: return "no error";
        case KORVANTI_ERROR_ARGUMENT: return "an argument is missing or out of range";
        case KORVANTI_ERROR_MEMORY: return "out of memory";
        case KORVANTI_ERROR_OPEN: return "the file cannot be opened";
        case KORVANTI_ERROR_READ: return "the module cannot be read";
        case KORVANTI_ERROR_FORMAT: return "not an XM module";
        case KORVANTI_ERROR_UNSUPPORTED:
            return "an XM module this player does not take (more than 32 channels, 256 patterns or "
                   "instruments, or a pattern over 256 rows)";
        case KORVANTI_ERROR_DEVICE: return "the sound device cannot be opened or cannot play";
        case KORVANTI_ERROR_STATE: return "not possible now: no song started, or not for this kind of player";
        case KORVANTI_ERROR_RANGE: return "the position lies at or past the end, or one pass never reaches it";
        case KORVANTI_ERROR_UNAVAILABLE: return "not available in this build or on this processor";
        default: return "unknown error";
    }
}

korvanti_song* korvanti_song_load_memory(const void* data, size_t size, int* error) {
    if (data == nullptr && size != 0) return fail(error, KORVANTI_ERROR_ARGUMENT);
    korvanti::MemoryFileResult made = korvanti::MemoryFileResult::MADE;
    korvanti::MemoryFile* memory = korvanti::memory_file_of_bytes(data, size, &made);
    return load_from(memory, made, error);
}

korvanti_song* korvanti_song_load_file(const char* path, int* error) {
    if (path == nullptr) return fail(error, KORVANTI_ERROR_ARGUMENT);
    korvanti::MemoryFileResult made = korvanti::MemoryFileResult::MADE;
    korvanti::MemoryFile* memory = korvanti::memory_file_load(path, &made);
    return load_from(memory, made, error);
}

korvanti_song* korvanti_song_load_callbacks(korvanti_read_fn read, void* user, int* error) {
    if (read == nullptr) return fail(error, KORVANTI_ERROR_ARGUMENT);
    korvanti::MemoryFileResult made = korvanti::MemoryFileResult::MADE;
    korvanti::MemoryFile* memory = korvanti::memory_file_read_all(read, user, &made);
    return load_from(memory, made, error);
}

void korvanti_song_free(korvanti_song* song) { korvanti::song_handle_free(handle_of(song)); }

int32_t korvanti_song_warning_count(const korvanti_song* song) {
    return song != nullptr ? handle_of(song)->song->warning_count : 0;
}

const char* korvanti_song_warning(const korvanti_song* song, int32_t index) {
    if (song == nullptr || index < 0 || index >= handle_of(song)->song->warning_count) return nullptr;
    return handle_of(song)->song->warnings[index];
}

int korvanti_song_get_info(const korvanti_song* song, korvanti_song_info* info) {
    if (song == nullptr) return KORVANTI_ERROR_ARGUMENT;
    return korvanti::song_info(handle_of(song)->song, info) ? KORVANTI_OK : KORVANTI_ERROR_ARGUMENT;
}

int korvanti_song_get_instrument_info(const korvanti_song* song, int32_t instrument,
                                      korvanti_instrument_info* info) {
    if (song == nullptr) return KORVANTI_ERROR_ARGUMENT;
    return korvanti::song_instrument_info(handle_of(song)->song, instrument, info) ? KORVANTI_OK
                                                                                   : KORVANTI_ERROR_ARGUMENT;
}

int korvanti_song_get_sample_info(const korvanti_song* song, int32_t instrument, int32_t sample,
                                  korvanti_sample_info* info) {
    if (song == nullptr) return KORVANTI_ERROR_ARGUMENT;
    return korvanti::song_sample_info(handle_of(song)->song, instrument, sample, info) ? KORVANTI_OK
                                                                                       : KORVANTI_ERROR_ARGUMENT;
}

int korvanti_song_find_end(const korvanti_song* song, int32_t rate, int32_t passes, korvanti_song_end* end) {
    if (song == nullptr || end == nullptr || passes < 1 || rate < korvanti::PLAYER_RATE_MIN ||
        rate > korvanti::PLAYER_RATE_MAX) {
        return KORVANTI_ERROR_ARGUMENT;
    }
    return korvanti::song_flow_end(handle_of(song)->song, rate, passes, end);
}

int64_t korvanti_song_length_frames(const korvanti_song* song, int32_t rate) {
    korvanti_song_end end;
    int result = korvanti_song_find_end(song, rate, 1, &end);
    return result == KORVANTI_OK ? end.frame : result;
}

int64_t korvanti_song_position_frame(const korvanti_song* song, int32_t rate, int32_t order, int32_t row) {
    if (song == nullptr || rate < korvanti::PLAYER_RATE_MIN || rate > korvanti::PLAYER_RATE_MAX) {
        return KORVANTI_ERROR_ARGUMENT;
    }
    if (order < 0 || order > 255 || row < 0 || row > 255) return KORVANTI_ERROR_RANGE;
    return korvanti::song_flow_row_frame(handle_of(song)->song, rate, order, row);
}

}  // extern "C"
