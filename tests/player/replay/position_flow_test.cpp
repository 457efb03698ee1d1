// Where play goes: B, D and E6 with their interplay, the restart position,
// and rows or patterns that the module does not hold.
#include <gtest/gtest.h>

#include "player/replay/channel.h"
#include "replay_harness.h"

using namespace korvanti;

namespace {

// Three patterns of 32 rows at orders 0, 1, 2; one tick per row.
XmModule three_orders(uint16_t channels = 4) {
    XmModule module = replay_module(channels, 32, 3, {0, 1, 2});
    module.default_tempo = 1;
    return module;
}

std::vector<int32_t> positions_of(const XmModule& module, int32_t rows) {
    PlayPtr play = start_replay(module);
    if (!play) return {};
    return visited_positions(play.get(), rows);
}

TEST(PositionFlow, JumpsAndBreaks) {
    struct Case {
        uint8_t effect;
        uint8_t param;
        int32_t next;  // order * 1000 + row after row 1 of order 0
    };
    const Case cases[] = {
        {0x0B, 0x02, 2000},  // B02
        {0x0B, 0x05, 0},     // B05 beyond a song length of 3: order 0
        {0x0B, 0xFF, 0},
        {0x0D, 0x12, 1012},  // D12
        {0x0D, 0x64, 1000},  // 64 exceeds 63
        {0x0D, 0x70, 1000},
        {0x0D, 0x1F, 1025},  // nibbles taken as tens and units: 10 + 15
        {0x0D, 0x63, 1063},  // the largest row D reaches, beyond these 32 rows
    };
    for (const Case& c : cases) {
        XmModule module = three_orders();
        put(module, 0, 1, 2, note_cell(0, 0, 0, c.effect, c.param));
        std::vector<int32_t> positions = positions_of(module, 3);
        EXPECT_EQ(positions, (std::vector<int32_t>{0, 1, c.next}))
            << std::hex << int{c.effect} << " " << int{c.param};
    }
}

TEST(PositionFlow, JumpAndBreakInOneRow) {
    XmModule module = three_orders();
    put(module, 0, 1, 0, note_cell(0, 0, 0, 0x0B, 0x02));
    put(module, 0, 1, 3, note_cell(0, 0, 0, 0x0D, 0x10));
    EXPECT_EQ(positions_of(module, 3), (std::vector<int32_t>{0, 1, 2010})) << "B then D";

    module = three_orders();
    put(module, 0, 1, 0, note_cell(0, 0, 0, 0x0D, 0x10));
    put(module, 0, 1, 3, note_cell(0, 0, 0, 0x0B, 0x02));
    EXPECT_EQ(positions_of(module, 3), (std::vector<int32_t>{0, 1, 2000})) << "D then B";
}

TEST(PositionFlow, BreakOnTheLastOrderGoesToOrderZero) {
    XmModule module = three_orders();
    module.restart_position = 1;
    put(module, 0, 0, 0, note_cell(0, 0, 0, 0x0B, 0x02));
    put(module, 2, 1, 1, note_cell(0, 0, 0, 0x0D, 0x05));
    EXPECT_EQ(positions_of(module, 4), (std::vector<int32_t>{0, 2000, 2001, 5}));
}

TEST(PositionFlow, RunningOffTheEndContinuesAtTheRestartPosition) {
    XmModule module = replay_module(1, 3, 2, {0, 1});
    module.default_tempo = 1;
    module.restart_position = 1;
    EXPECT_EQ(positions_of(module, 10),
              (std::vector<int32_t>{0, 1, 2, 1000, 1001, 1002, 1000, 1001, 1002, 1000}));
    // A restart position outside the song continues at order 0.
    module.restart_position = 2;
    EXPECT_EQ(positions_of(module, 7), (std::vector<int32_t>{0, 1, 2, 1000, 1001, 1002, 0}));
    PlayPtr play = start_replay(module);
    ASSERT_TRUE(play);
    Song* song = song_to_change(play.get());
    song->restart_position = -3;
    restart_replay(play.get());
    EXPECT_EQ(visited_positions(play.get(), 7), (std::vector<int32_t>{0, 1, 2, 1000, 1001, 1002, 0}));
}

TEST(PatternLoop, BodyPlaysCountPlusOneTimes) {
    XmModule module = replay_module(1, 32, 1, {0});
    module.default_tempo = 1;
    put(module, 0, 8, 0, note_cell(0, 0, 0, 0x0E, 0x60));
    put(module, 0, 15, 0, note_cell(0, 0, 0, 0x0E, 0x62));
    std::vector<int32_t> expected;
    for (int32_t r = 0; r < 16; ++r) expected.push_back(r);
    for (int32_t pass = 0; pass < 2; ++pass)
        for (int32_t r = 8; r < 16; ++r) expected.push_back(r);
    expected.push_back(16);
    expected.push_back(17);
    EXPECT_EQ(positions_of(module, static_cast<int32_t>(expected.size())), expected);
}

TEST(PatternLoop, LoopStateBelongsToTheChannelAcrossPatterns) {
    XmModule module = replay_module(1, 8, 2, {0, 1});
    module.default_tempo = 1;
    put(module, 0, 2, 0, note_cell(0, 0, 0, 0x0E, 0x60));  // start set in pattern 0
    put(module, 1, 3, 0, note_cell(0, 0, 0, 0x0E, 0x61));  // loop in pattern 1
    std::vector<int32_t> positions = positions_of(module, 8 + 7);
    std::vector<int32_t> expected = {0, 1, 2, 3, 4, 5, 6, 7, 1000, 1001, 1002, 1003, 1002, 1003, 1004};
    EXPECT_EQ(positions, expected);
}

TEST(PatternLoop, LastChannelThatSetsATargetHolds) {
    XmModule module = replay_module(2, 16, 1, {0});
    module.default_tempo = 1;
    put(module, 0, 2, 0, note_cell(0, 0, 0, 0x0E, 0x60));
    put(module, 0, 4, 1, note_cell(0, 0, 0, 0x0E, 0x60));
    put(module, 0, 6, 0, note_cell(0, 0, 0, 0x0E, 0x62));
    put(module, 0, 6, 1, note_cell(0, 0, 0, 0x0E, 0x61));
    // Channel 1's target wins while it loops; when it finishes its own loop
    // channel 0's target still holds.
    std::vector<int32_t> expected = {0, 1, 2, 3, 4, 5, 6, 4, 5, 6, 2, 3, 4, 5, 6, 4, 5, 6,
                                     2, 3, 4, 5, 6, 4, 5, 6, 7};
    EXPECT_EQ(positions_of(module, static_cast<int32_t>(expected.size())), expected);
}

TEST(PatternLoop, JumpInTheSameRowWins) {
    XmModule module = replay_module(2, 16, 2, {0, 1});
    module.default_tempo = 1;
    put(module, 0, 2, 0, note_cell(0, 0, 0, 0x0E, 0x60));
    put(module, 0, 4, 0, note_cell(0, 0, 0, 0x0E, 0x61));
    put(module, 0, 4, 1, note_cell(0, 0, 0, 0x0D, 0x03));
    EXPECT_EQ(positions_of(module, 6), (std::vector<int32_t>{0, 1, 2, 3, 4, 1003}));
}

TEST(MissingRows, BreakBeyondThePatternPlaysAnEmptyRow) {
    XmModule module = replay_module(1, 32, 2, {0, 1});
    module.patterns[1] = empty_pattern(16, 1);
    put(module, 0, 0, 0, note_cell(49, 1, 0, 0x0D, 0x40));  // row 40 of a 16-row pattern
    for (uint16_t r = 0; r < 16; ++r) put(module, 1, r, 0, note_cell(61, 1, 0x20, 0x0C, 0x05));
    PlayPtr play = start_replay(module);
    ASSERT_TRUE(play);
    run_ticks(play.get(), 6);
    int32_t volume = play->channels[0].volume;
    int32_t period = play->channels[0].period;
    run_ticks(play.get(), 1);
    EXPECT_EQ(play->order, 1);
    EXPECT_EQ(play->row, 40);
    // Nothing of pattern 1 is read: no note, no volume change.
    EXPECT_EQ(play->channel_notes[0], 0);
    EXPECT_EQ(play->channels[0].volume, volume);
    EXPECT_EQ(play->channels[0].period, period);
    run_ticks(play.get(), 5);
    // On past the end of the song, back to row 0 and its break.
    EXPECT_EQ(visited_positions(play.get(), 2), (std::vector<int32_t>{0, 1040}));
}

TEST(MissingRows, PatternWithoutCellsDoesNothingButAdvances) {
    XmModule module = replay_module(1, 4, 1, {0});
    module.default_tempo = 2;
    PlayPtr play = start_replay(module);
    ASSERT_TRUE(play);
    Song* song = song_to_change(play.get());
    NoteCell* cells = song->patterns[0].cells;
    song->patterns[0].cells = nullptr;
    play->channel_notes[0] = 7;
    play->channels[0].update_flags = 0xFF;
    std::vector<RowVisit> rows = visit_rows(play.get(), 5);
    song->patterns[0].cells = cells;
    std::vector<RowVisit> expected = {{0, 0, 2}, {0, 1, 2}, {0, 2, 2}, {0, 3, 2}, {0, 0, 2}};
    EXPECT_EQ(rows, expected);
    // Not even the per-tick channel work ran.
    EXPECT_EQ(play->channel_notes[0], 7);
    EXPECT_EQ(play->channels[0].update_flags, 0xFF);
}

TEST(MissingRows, OrderNamingNoPatternIsSkipped) {
    XmModule module = replay_module(1, 2, 1, {0, 0});
    module.default_tempo = 1;
    PlayPtr play = start_replay(module);
    ASSERT_TRUE(play);
    Song* song = song_to_change(play.get());
    song->orders[0] = 200;  // beyond pattern_count
    restart_replay(play.get());
    EXPECT_EQ(visited_positions(play.get(), 5), (std::vector<int32_t>{0, 1000, 1001, 0, 1000}));
}

}  // namespace
