// Fuzz target: the input is loaded as a module through the in-memory file
// callbacks and, when it loads, a few hundred blocks are rendered offline, so
// every effect and the mixer run on hostile data.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "player/module/file_access.h"
#include "player/module/song.h"
#include "player/output/stream.h"

namespace {

const uint8_t* input_data;
int32_t input_size;

// The demo's own memory file, filled from the input instead of from disk, so
// that its read, seek, tell and close run too (and a leak shows).
void* fuzz_open(const char*) {
    auto* memory = static_cast<MemoryFile*>(std::calloc(1, sizeof(MemoryFile)));
    if (memory == nullptr) return nullptr;
    if (input_size > 0) {
        memory->data = static_cast<uint8_t*>(std::malloc(size_t(input_size)));
        if (memory->data == nullptr) return memory;
        std::memcpy(memory->data, input_data, size_t(input_size));
        memory->size = input_size;
    }
    return memory;
}

// Two mixing rates: the demo's, and the lowest, where a voice's step per
// frame is largest and six seconds of music cost a fifth of the mixing.
// Chosen by the input's length so that a reproducer replays the same way.
int32_t rate_for(size_t size) { return size % 2 == 0 ? 44100 : MIXING_RATE_MIN; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 24)) return 0;
    input_data = data;
    input_size = int32_t(size);
    set_file_callbacks(fuzz_open, memory_file_close, memory_file_read, memory_file_seek, memory_file_tell);

    static int32_t rate = 0;
    if (rate != rate_for(size)) {
        if (!player_init_offline(rate_for(size))) return 0;
        rate = rate_for(size);
    }

    Song* song = song_load("fuzz.xm", nullptr);
    if (!song) return 0;
    if (song_render_start(song)) {
        // About six seconds of music: enough for rows, loops and envelopes.
        // KORVANTI_FUZZ_BLOCKS asks for more when replaying a corpus, to find
        // what only long play reaches (counters, envelope positions).
        static const long blocks = [] {
            const char* setting = std::getenv("KORVANTI_FUZZ_BLOCKS");
            long value = setting ? std::strtol(setting, nullptr, 10) : 0;
            return value > 0 ? value : 300L;
        }();
        for (long block = 0; block < blocks; ++block) {
            SyncSnapshot snapshot;
            if (!song_render_next(&snapshot)) break;
        }
    }
    song_free(song);
    return 0;
}
