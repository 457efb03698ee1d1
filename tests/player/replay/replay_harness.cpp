#include "replay_harness.h"

#include <gtest/gtest.h>

#include <new>

#include "player/replay/channel.h"

using korvanti::PlayState;

namespace {

constexpr int32_t RATE = 44100;

}  // namespace

XmInstrument square_instrument(int8_t relative_note, int8_t finetune) {
    XmSample sample = square_sample(64, 8);
    sample.relative_note = relative_note;
    sample.finetune = finetune;
    return instrument_with_sample(sample);
}

XmModule replay_module(uint16_t channels, uint16_t rows, int32_t patterns,
                       const std::vector<uint8_t>& orders) {
    XmModule module;
    module.channel_count = channels;
    module.song_length = static_cast<uint16_t>(orders.size());
    module.orders = orders;
    for (int32_t p = 0; p < patterns; ++p) module.patterns.push_back(empty_pattern(rows, channels));
    module.instruments.push_back(square_instrument());
    return module;
}

void put(XmModule& module, int32_t pattern, uint16_t row, uint16_t channel, const XmCell& cell) {
    set_cell(module.patterns.at(static_cast<size_t>(pattern)), module.channel_count, row, channel, cell);
}

void PlayRelease::operator()(PlayState* play) const {
    if (play == nullptr) return;
    korvanti::song_release(const_cast<korvanti::Song*>(play->song));
    delete play;
}

PlayPtr start_replay(const XmModule& module) {
    korvanti::Song* song = load_song_record(module);
    EXPECT_NE(song, nullptr) << "the test module did not load";
    if (song == nullptr) return nullptr;
    PlayPtr play(new PlayState());
    play->song = song;  // owned from here, whatever the start says
    EXPECT_TRUE(korvanti::play_state_begin(play.get(), song, RATE, 1)) << "the play did not start";
    return play;
}

korvanti::Song* song_to_change(PlayState* play) { return const_cast<korvanti::Song*>(play->song); }

void restart_replay(PlayState* play) {
    EXPECT_TRUE(korvanti::play_state_begin(play, play->song, RATE, 1)) << "the play did not start";
}

void run_ticks(PlayState* play, int32_t count) {
    for (int32_t i = 0; i < count; ++i) korvanti::sequencer_tick(play);
}

std::vector<RowVisit> visit_rows(PlayState* play, int32_t rows, int32_t max_ticks) {
    std::vector<RowVisit> visits;
    for (int32_t t = 0; t < max_ticks; ++t) {
        bool row_start = play->tick == 0;
        if (row_start && static_cast<int32_t>(visits.size()) == rows) break;
        korvanti::sequencer_tick(play);
        if (row_start) {
            visits.push_back({play->order, play->row, 1});
        } else if (!visits.empty()) {
            visits.back().ticks += 1;
        }
    }
    return visits;
}

std::vector<int32_t> visited_positions(PlayState* play, int32_t rows) {
    std::vector<int32_t> positions;
    for (const RowVisit& visit : visit_rows(play, rows)) positions.push_back(visit.order * 1000 + visit.row);
    return positions;
}
