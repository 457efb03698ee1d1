// The tick clock: frames per tick, ticks per row, speed and tempo changes and
// the pattern delay.
#include <gtest/gtest.h>

#include <climits>

#include "player/output/stream.h"
#include "player/replay/channel.h"
#include "replay_harness.h"

namespace {

// Restores the player-wide rate a test changes.
struct RateGuard {
    int32_t saved = mixing_rate;
    ~RateGuard() { mixing_rate = saved; }
};

TEST(Tempo, FramesPerTickFollowTheBpm) {
    RateGuard guard;
    mixing_rate = 44100;
    Song song{};
    set_tempo(&song, 125);
    EXPECT_EQ(song.bpm, 125);
    EXPECT_EQ(song.frames_per_tick, 882);
    set_tempo(&song, 100);
    EXPECT_EQ(song.frames_per_tick, 1102);
    set_tempo(&song, 255);
    EXPECT_EQ(song.frames_per_tick, 432);
    set_tempo(&song, 32);
    EXPECT_EQ(song.frames_per_tick, 3445);
    // Over the usual range the float32 constants give the plain 2.5 * rate / bpm.
    for (int32_t rate : {22050, 44100, 48000}) {
        mixing_rate = rate;
        for (int32_t bpm = 32; bpm <= 255; ++bpm) {
            set_tempo(&song, bpm);
            ASSERT_EQ(song.frames_per_tick, static_cast<int32_t>(2.5 * rate / bpm)) << rate << " Hz, " << bpm;
        }
    }
}

TEST(Tempo, TicksAlwaysLastAtLeastOneFrame) {
    RateGuard guard;
    mixing_rate = 44100;
    Song song{};
    set_tempo(&song, 1);
    int32_t slowest = song.frames_per_tick;
    EXPECT_EQ(slowest, 110250);
    // No tempo below 1 BPM: 0 and negative values play as 1 BPM but are kept.
    for (int32_t bpm : {0, -1, -32768, INT32_MIN}) {
        set_tempo(&song, bpm);
        EXPECT_EQ(song.bpm, bpm);
        EXPECT_EQ(song.frames_per_tick, slowest) << bpm;
    }
    // A rate so low that a tick would be shorter than a frame.
    mixing_rate = 1;
    set_tempo(&song, 255);
    EXPECT_EQ(song.frames_per_tick, 1);
    mixing_rate = 0;
    set_tempo(&song, 125);
    EXPECT_EQ(song.frames_per_tick, 1);
    // And one so high that the count does not fit 32 bits.
    mixing_rate = INT32_MAX;
    set_tempo(&song, 1);
    EXPECT_EQ(song.frames_per_tick, INT32_MAX);
}

TEST(RowLength, SpeedSixGivesSixTicksOf882Frames) {
    XmModule module = replay_module(1, 4, 1, {0});
    SongPtr song = load_for_replay(module);
    ASSERT_TRUE(song);
    start_replay(song.get());
    EXPECT_EQ(song->frames_per_tick, 882);
    std::vector<RowVisit> rows = visit_rows(song.get(), 5);
    std::vector<RowVisit> expected = {{0, 0, 6}, {0, 1, 6}, {0, 2, 6}, {0, 3, 6}, {0, 0, 6}};
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(6 * song->frames_per_tick, 5292);
}

TEST(RowLength, PatternDelayLengthensTheRowAndEffectsRunOn) {
    // EE2 on channel 0, a volume slide down by 1 on channel 1.
    XmModule module = replay_module(2, 4, 1, {0});
    put(module, 0, 1, 0, note_cell(0, 0, 0, 0x0E, 0xE2));
    put(module, 0, 1, 1, note_cell(49, 1, 0, 0x0A, 0x01));
    SongPtr song = load_for_replay(module);
    ASSERT_TRUE(song);
    start_replay(song.get());
    run_ticks(song.get(), 6);
    std::vector<int32_t> ticks = tick_values(song.get(), 18, [&] { return song->tick; });
    // The counter runs on to 17 before the row ends.
    std::vector<int32_t> expected_ticks;
    for (int32_t t = 1; t < 18; ++t) expected_ticks.push_back(t);
    expected_ticks.push_back(0);
    EXPECT_EQ(ticks, expected_ticks);
    EXPECT_EQ(channels[1].volume, 64 - 17);
    EXPECT_EQ(song->pattern_delay_ticks, 0);
    std::vector<RowVisit> rows = visit_rows(song.get(), 2);
    std::vector<RowVisit> expected = {{0, 2, 6}, {0, 3, 6}};
    EXPECT_EQ(rows, expected);
}

TEST(RowLength, SpeedAndTempoEffects) {
    XmModule module = replay_module(1, 8, 1, {0});
    put(module, 0, 1, 0, note_cell(0, 0, 0, 0x0F, 0x00));  // F00: every tick a row
    put(module, 0, 4, 0, note_cell(0, 0, 0, 0x0F, 0x1F));  // F1F: 31 ticks
    put(module, 0, 5, 0, note_cell(0, 0, 0, 0x0F, 0x20));  // F20: 32 BPM
    put(module, 0, 6, 0, note_cell(0, 0, 0, 0x0F, 0x03));
    SongPtr song = load_for_replay(module);
    ASSERT_TRUE(song);
    start_replay(song.get());
    std::vector<RowVisit> rows = visit_rows(song.get(), 8);
    // The F of a row already governs that row's length.
    std::vector<RowVisit> expected = {{0, 0, 6},  {0, 1, 1},  {0, 2, 1}, {0, 3, 1},
                                      {0, 4, 31}, {0, 5, 31}, {0, 6, 3}, {0, 7, 3}};
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(song->bpm, 32);
    EXPECT_EQ(song->frames_per_tick, 3445);
}

TEST(RowLength, ZeroOrNegativeSpeedMakesEveryTickARow) {
    for (int16_t tempo : {int16_t{0}, int16_t{-1}}) {
        XmModule module = replay_module(1, 4, 1, {0});
        SongPtr song = load_for_replay(module);
        ASSERT_TRUE(song);
        song->default_tempo = tempo;
        song->default_bpm = 0;
        start_replay(song.get());
        EXPECT_GE(song->frames_per_tick, 1);
        std::vector<RowVisit> rows = visit_rows(song.get(), 5);
        std::vector<RowVisit> expected = {{0, 0, 1}, {0, 1, 1}, {0, 2, 1}, {0, 3, 1}, {0, 0, 1}};
        EXPECT_EQ(rows, expected) << tempo;
    }
}

}  // namespace
