// Playing tiny modules tick by tick, the way the output stream drives the
// sequencer, without rendering any sound: a play record of the test's own,
// started as a player starts every play.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "player/replay/play_state.h"
#include "player/replay/sequencer.h"
#include "support/song_from_bytes.h"

// An instrument with one looping square-wave sample (volume 64, panning 128).
XmInstrument square_instrument(int8_t relative_note = 0, int8_t finetune = 0);

// `patterns` empty patterns of `rows` rows, played in `orders`, one square
// instrument, speed 6, 125 BPM, linear frequencies.
XmModule replay_module(uint16_t channels, uint16_t rows, int32_t patterns,
                       const std::vector<uint8_t>& orders);
void put(XmModule& module, int32_t pattern, uint16_t row, uint16_t channel, const XmCell& cell);

// A play that owns the song it plays: released with the pointer.
struct PlayRelease {
    void operator()(korvanti::PlayState* play) const;
};
using PlayPtr = std::unique_ptr<korvanti::PlayState, PlayRelease>;

// Loads the module through the XM writer and the loader and starts a play
// of it at 44100 frames per second, as every start of a player does: the
// position at the start, the tempo set, the channels bound to fresh voices,
// the song's own finetunes. Null (and a test failure) when it does not load.
PlayPtr start_replay(const XmModule& module);
// The song of the play, for a test that changes it before restart_replay.
korvanti::Song* song_to_change(korvanti::PlayState* play);
// Starts the play again from its beginning.
void restart_replay(korvanti::PlayState* play);

void run_ticks(korvanti::PlayState* play, int32_t count);

// One value read after each of `count` ticks.
template <typename Read>
std::vector<int32_t> tick_values(korvanti::PlayState* play, int32_t count, Read read) {
    std::vector<int32_t> values;
    for (int32_t i = 0; i < count; ++i) {
        korvanti::sequencer_tick(play);
        values.push_back(static_cast<int32_t>(read(play)));
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
std::vector<RowVisit> visit_rows(korvanti::PlayState* play, int32_t rows, int32_t max_ticks = 100000);
// Order and row pairs only, as order * 1000 + row.
std::vector<int32_t> visited_positions(korvanti::PlayState* play, int32_t rows);
