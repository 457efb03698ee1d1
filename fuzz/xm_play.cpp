// Fuzz target: the input is loaded as a module from memory and, when it
// loads, a few hundred blocks are rendered offline, so every effect and the
// mixer run on hostile data.
#include <cstdint>
#include <cstdlib>

#include "korvanti/player.h"

namespace {

// Two mixing rates: the demo's, and the lowest, where a voice's step per
// frame is largest and six seconds of music cost a fifth of the mixing.
// Chosen by the input's length so that a reproducer replays the same way.
int32_t rate_for(size_t size) { return size % 2 == 0 ? 44100 : KORVANTI_RATE_MIN; }

// About six seconds of music: enough for rows, loops and envelopes.
// KORVANTI_FUZZ_BLOCKS asks for more when replaying a corpus, to find what
// only long play reaches (counters, envelope positions).
long blocks_to_render() {
    const char* setting = std::getenv("KORVANTI_FUZZ_BLOCKS");
    long value = setting ? std::strtol(setting, nullptr, 10) : 0;
    return value > 0 ? value : 300L;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 24)) return 0;
    // One player per rate for the whole run: what one input leaves in a
    // player must not harm the next.
    static korvanti_player* players[2] = {korvanti_player_create(44100, nullptr),
                                          korvanti_player_create(KORVANTI_RATE_MIN, nullptr)};
    static const long blocks = blocks_to_render();
    korvanti_player* player = players[rate_for(size) == 44100 ? 0 : 1];

    korvanti_song* song = korvanti_song_load_memory(data, size, nullptr);
    if (song == nullptr) return 0;
    // Without end, so that the blocks are rendered whatever the song does.
    korvanti_player_set_passes(player, 0);
    if (korvanti_player_start(player, song) == KORVANTI_OK) {
        static int16_t frames[2 * 1024];
        const int64_t block_frames = korvanti_player_block_frames(player);
        for (long block = 0; block < blocks; ++block) {
            if (korvanti_player_render(player, frames, block_frames) <= 0) break;
        }
    }
    korvanti_song_free(song);
    return 0;
}
