// Fuzz target: the input is loaded as a module through in-memory file
// callbacks and, when it loads, a few hundred blocks are rendered offline, so
// every effect and the mixer run on hostile data.
#include <cstdint>
#include <cstring>

#include "player/module/file_access.h"
#include "player/module/song.h"
#include "player/output/stream.h"

namespace {

struct FuzzFile {
    const uint8_t* data;
    int32_t size;
    int32_t position;
};

const uint8_t* input_data;
int32_t input_size;
FuzzFile the_file;

void* fuzz_open(const char*) {
    the_file = {input_data, input_size, 0};
    return &the_file;
}
void fuzz_close(void*) {}
void fuzz_read(void* destination, int32_t count, void* handle) {
    FuzzFile* file = static_cast<FuzzFile*>(handle);
    if (count <= 0) return;
    int32_t left = file->size - file->position;
    if (count > left) count = left;
    std::memcpy(destination, file->data + file->position, size_t(count));
    file->position += count;
}
void fuzz_seek(void* handle, int32_t offset, int32_t origin) {
    FuzzFile* file = static_cast<FuzzFile*>(handle);
    int64_t position = file->position;
    if (origin == 0) position = offset;
    if (origin == 1) position += offset;
    if (origin == 2) position = int64_t(file->size) + offset;
    if (position < 0) position = 0;
    if (position > file->size) position = file->size;
    file->position = int32_t(position);
}
int32_t fuzz_tell(void* handle) { return static_cast<FuzzFile*>(handle)->position; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 24)) return 0;
    input_data = data;
    input_size = int32_t(size);
    set_file_callbacks(fuzz_open, fuzz_close, fuzz_read, fuzz_seek, fuzz_tell);

    static bool initialised = player_init_offline(44100);
    if (!initialised) return 0;

    Song* song = song_load("fuzz.xm", nullptr);
    if (!song) return 0;
    if (song_render_start(song)) {
        // About six seconds of music: enough for rows, loops and envelopes.
        for (int block = 0; block < 300; ++block) {
            SyncSnapshot snapshot;
            if (!song_render_next(&snapshot)) break;
        }
    }
    song_free(song);
    return 0;
}
