// Fuzz target: the player's public calls as a caller would make them, on
// two players and one song. The input's last byte says how many bytes
// before it are the program of calls; the rest is the module. A program
// starts, renders odd chunk sizes, seeks by frame, time and order, changes
// the output settings and passes, stops, asks where the play is, and finds
// the song's end, in any order: nothing may crash, hang, leak or read
// outside a buffer, and the two players never touch each other.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "korvanti/player.h"

namespace {

constexpr int64_t MOST_FRAMES = 44100 * 8;  // rendered per input over both players, about 8 s
// A seek runs the song silently up to its target, at a cost that grows with
// the distance (a song may last hours): the targets of one input's seeks add
// up to at most this much song.
constexpr int64_t MOST_SEEK_MS = 120 * 1000;
// Finding the end or a row's frame runs the rows of up to a whole pass
// (which may last two hours) per pass asked for: one input's scans add up to
// at most this much song.
constexpr int64_t MOST_SCAN_MS = 4 * 60 * 60 * 1000;
// Seeks and scans cost a tick's work per tick. Effect F sets at most 255
// BPM, but the header's tempo may be up to 32767, a tick of a few frames:
// a two-hour pass then holds about a hundred million ticks, seconds of work
// even in an optimised build. Such songs are not scanned, and their seeks
// get a budget cut in proportion to the tempo.
constexpr int32_t MOST_USUAL_BPM = 255;
constexpr int32_t RATES[2] = {44100, KORVANTI_RATE_MIN};

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

    static korvanti_player* players[2] = {korvanti_player_create(RATES[0], nullptr),
                                          korvanti_player_create(RATES[1], nullptr)};
    korvanti_song* song = korvanti_song_load_memory(data, module_size, nullptr);
    if (song == nullptr) return 0;
    static std::vector<int16_t> frames(2 * 8192);
    int64_t budget = MOST_FRAMES;
    korvanti_song_info info;
    const int32_t bpm = korvanti_song_get_info(song, &info) == 0 ? info.default_bpm : 0;
    const bool scannable = bpm <= MOST_USUAL_BPM;
    int64_t seek_budget_ms = scannable ? MOST_SEEK_MS : MOST_SEEK_MS * MOST_USUAL_BPM / bpm;
    int64_t scan_budget_ms = MOST_SCAN_MS;
    int64_t pass_ms = -1;  // one pass, found by the first scan
    auto scan_fits = [&scan_budget_ms, &pass_ms, scannable, song](int64_t passes) {
        if (!scannable) return false;
        if (pass_ms < 0) {
            pass_ms = std::max<int64_t>(0, korvanti_song_length_frames(song, RATES[1]) * 1000 / RATES[1]);
            scan_budget_ms -= pass_ms;
        }
        if (passes * pass_ms > scan_budget_ms) return false;
        scan_budget_ms -= passes * pass_ms;
        return true;
    };
    // Whether a seek to `frame` of player `which` fits what is left to seek.
    auto seek_fits = [&seek_budget_ms](uint32_t which, int64_t frame) {
        if (frame < 0) return true;  // refused at once
        int64_t ms = frame * 1000 / RATES[which];
        if (ms > seek_budget_ms) return false;
        seek_budget_ms -= ms;
        return true;
    };
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
            case 2: {
                int64_t ms = static_cast<int64_t>(next_word(&program)) * 37;
                if (seek_fits(op & 1, ms * RATES[op & 1] / 1000)) korvanti_player_seek_ms(player, ms);
                break;
            }
            case 3: {
                int32_t order = static_cast<int32_t>(next_byte(&program));
                int32_t row = static_cast<int32_t>(next_byte(&program));
                // The row's frame, here and in the seek.
                if (scan_fits(2) && seek_fits(op & 1, korvanti_song_position_frame(song, RATES[op & 1], order, row))) {
                    korvanti_player_seek_order(player, order, row);
                }
                break;
            }
            case 4: {
                int64_t frame = static_cast<int64_t>(next_word(&program)) * 911;
                if (seek_fits(op & 1, frame)) korvanti_player_seek_frame(player, frame);
                break;
            }
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
            default: {
                int32_t order = static_cast<int32_t>(next_byte(&program));
                int32_t row = static_cast<int32_t>(next_byte(&program));
                int32_t passes = static_cast<int32_t>(next_byte(&program) % 3) + 1;
                if (!scan_fits(1 + passes)) break;
                korvanti_song_position_frame(song, 44100, order, row);
                korvanti_song_find_end(song, KORVANTI_RATE_MIN, passes, &end);
                break;
            }
        }
    }
    // Freeing the song stops both players; their renders then give nothing.
    korvanti_song_free(song);
    if (korvanti_player_render(players[0], frames.data(), 64) > 0) std::abort();
    if (korvanti_player_render(players[1], frames.data(), 64) > 0) std::abort();
    return 0;
}
