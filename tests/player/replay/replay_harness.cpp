#include "replay_harness.h"

#include <gtest/gtest.h>

#include "player/output/mixer.h"
#include "player/output/stream.h"
#include "player/replay/channel.h"
#include "player/replay/sequencer.h"

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

SongPtr load_for_replay(const XmModule& module) {
    SongPtr song(load_song_from_module(module));
    EXPECT_NE(song, nullptr) << "the test module did not load";
    return song;
}

// The offline start is song_play's reset (position, tempo, channels bound to
// fresh voices) without rendering ahead; the test then ticks by hand.
void start_replay(Song* song) {
    ASSERT_TRUE(player_init_offline(44100));
    ASSERT_TRUE(song_render_start(song));
}

void run_ticks(Song* song, int32_t count) {
    for (int32_t i = 0; i < count; ++i) sequencer_tick(song);
}

std::vector<RowVisit> visit_rows(Song* song, int32_t rows, int32_t max_ticks) {
    std::vector<RowVisit> visits;
    for (int32_t t = 0; t < max_ticks; ++t) {
        bool row_start = song->tick == 0;
        if (row_start && static_cast<int32_t>(visits.size()) == rows) break;
        sequencer_tick(song);
        if (row_start) {
            visits.push_back({song->order, song->row, 1});
        } else if (!visits.empty()) {
            visits.back().ticks += 1;
        }
    }
    return visits;
}

std::vector<int32_t> visited_positions(Song* song, int32_t rows) {
    std::vector<int32_t> positions;
    for (const RowVisit& visit : visit_rows(song, rows)) positions.push_back(visit.order * 1000 + visit.row);
    return positions;
}
