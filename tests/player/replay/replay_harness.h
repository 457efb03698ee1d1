// Playing tiny modules tick by tick, the way the output stream drives the
// sequencer, without rendering any sound.
#pragma once

#include <cstdint>
#include <vector>

#include "player/replay/sequencer.h"
#include "support/song_from_bytes.h"

struct Channel;

// An instrument with one looping square-wave sample (volume 64, panning 128).
XmInstrument square_instrument(int8_t relative_note = 0, int8_t finetune = 0);

// `patterns` empty patterns of `rows` rows, played in `orders`, one square
// instrument, speed 6, 125 BPM, linear frequencies.
XmModule replay_module(uint16_t channels, uint16_t rows, int32_t patterns,
                       const std::vector<uint8_t>& orders);
void put(XmModule& module, int32_t pattern, uint16_t row, uint16_t channel, const XmCell& cell);

// Loads through the XM writer and the loader; the song is freed with the pointer.
SongPtr load_for_replay(const XmModule& module);

// What the output stream does when play starts: position fields reset, the
// tempo set, the song's channels zeroed and bound to voices i (the voice
// table cleared as player_init leaves it), at 44100 frames per second.
void start_replay(Song* song);

void run_ticks(Song* song, int32_t count);

// One value read after each of `count` ticks.
template <typename Read>
std::vector<int32_t> tick_values(Song* song, int32_t count, Read read) {
    std::vector<int32_t> values;
    for (int32_t i = 0; i < count; ++i) {
        sequencer_tick(song);
        values.push_back(static_cast<int32_t>(read()));
    }
    return values;
}

// One played row: where it was and how many ticks it lasted.
struct RowVisit {
    int32_t order;
    int32_t row;
    int32_t ticks;
    bool operator==(const RowVisit& other) const {
        return order == other.order && row == other.row && ticks == other.ticks;
    }
};

// Plays until `rows` rows are complete (gives up after max_ticks).
std::vector<RowVisit> visit_rows(Song* song, int32_t rows, int32_t max_ticks = 100000);
// Order and row pairs only, as order * 1000 + row.
std::vector<int32_t> visited_positions(Song* song, int32_t rows);
