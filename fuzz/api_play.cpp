// Fuzz target: the player's public calls as a caller would make them, on
// two players and one song. The input's last byte says how many bytes
// before it are the program of calls; the rest is the module. A program
// starts, renders odd chunk sizes, seeks by frame, time and order, changes
// the output settings and passes, stops, asks where the play is, and finds
// the song's end, in any order: nothing may crash, hang, leak or read
// outside a buffer, and the two players never touch each other.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "korvanti/player.h"

namespace {

constexpr int64_t MOST_FRAMES = 44100 * 8;  // rendered per input over both players, about 8 s

// Reads the program a byte at a time; 0 past its end.
struct Program {
    const uint8_t* bytes;
    size_t size;
    size_t at;
};

uint32_t next_byte(Program* program) { return program->at < program->size ? program->bytes[program->at++] : 0u; }

uint32_t next_word(Program* program) {
    uint32_t low = next_byte(program);
    return low | next_byte(program) << 8;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > (1u << 24)) return 0;
    size_t program_size = data[size - 1];
    if (program_size > size - 1) program_size = size - 1;
    const size_t module_size = size - 1 - program_size;
    Program program = {data + module_size, program_size, 0};

    static korvanti_player* players[2] = {korvanti_player_create(44100, nullptr),
                                          korvanti_player_create(KORVANTI_RATE_MIN, nullptr)};
    korvanti_song* song = korvanti_song_load_memory(data, module_size, nullptr);
    if (song == nullptr) return 0;
    static std::vector<int16_t> frames(2 * 8192);
    int64_t budget = MOST_FRAMES;
    korvanti_position position;
    korvanti_sync_snapshot snapshot;
    korvanti_song_end end;
    for (int step = 0; step < 64 && budget > 0; ++step) {
        uint32_t op = next_byte(&program);
        korvanti_player* player = players[op & 1];
        switch ((op >> 1) % 12) {
            case 0: korvanti_player_start(player, song); break;
            case 1: {
                int64_t count = (next_word(&program) % 8192) + 1;
                int64_t got = korvanti_player_render(player, frames.data(), count);
                if (got > count) std::abort();  // more than asked for
                budget -= count;
                break;
            }
            case 2: korvanti_player_seek_ms(player, next_word(&program) * 37); break;
            case 3: korvanti_player_seek_order(player, static_cast<int32_t>(next_byte(&program)),
                                               static_cast<int32_t>(next_byte(&program)));
                break;
            case 4: korvanti_player_seek_frame(player, static_cast<int64_t>(next_word(&program)) * 911); break;
            case 5: korvanti_player_set_gain_db(player, static_cast<double>(next_byte(&program)) - 120.0); break;
            case 6: korvanti_player_set_stereo_separation(player, static_cast<int32_t>(next_byte(&program)) - 20); break;
            case 7: korvanti_player_set_channel_muted(player, static_cast<int32_t>(next_byte(&program) % 40),
                                                      next_byte(&program) & 1);
                break;
            case 8: korvanti_player_set_passes(player, static_cast<int32_t>(next_byte(&program) % 4)); break;
            case 9: korvanti_player_stop(player); break;
            case 10:
                korvanti_player_get_position(player, &position);
                korvanti_player_get_snapshot(player, next_word(&program), &snapshot);
                korvanti_player_get_end(player, &end);
                break;
            default:
                korvanti_song_position_frame(song, 44100, static_cast<int32_t>(next_byte(&program)),
                                             static_cast<int32_t>(next_byte(&program)));
                korvanti_song_find_end(song, KORVANTI_RATE_MIN, static_cast<int32_t>(next_byte(&program) % 3) + 1, &end);
                break;
        }
    }
    // Freeing the song stops both players; their renders then give nothing.
    korvanti_song_free(song);
    if (korvanti_player_render(players[0], frames.data(), 64) > 0) std::abort();
    if (korvanti_player_render(players[1], frames.data(), 64) > 0) std::abort();
    return 0;
}
