// The tick clock: frames per tick, ticks per row, speed and tempo changes and
// the pattern delay.
#include <gtest/gtest.h>

#include <climits>
#include <memory>

#include "player/replay/channel.h"
#include "replay_harness.h"

using namespace korvanti;

namespace {

// A bare play record: set_tempo reads only its rate.
std::unique_ptr<PlayState> play_at(int32_t rate) {
    std::unique_ptr<PlayState> play(new PlayState());
    play->mixing_rate = rate;
    return play;
}

TEST(Tempo, FramesPerTickFollowTheBpm) {
    std::unique_ptr<PlayState> play = play_at(44100);
    set_tempo(play.get(), 125);
    EXPECT_EQ(play->bpm, 125);
    EXPECT_EQ(play->frames_per_tick, 882);
    set_tempo(play.get(), 100);
    EXPECT_EQ(play->frames_per_tick, 1102);
    set_tempo(play.get(), 255);
    EXPECT_EQ(play->frames_per_tick, 432);
    set_tempo(play.get(), 32);
    EXPECT_EQ(play->frames_per_tick, 3445);
    // Over the usual range the float32 constants give the plain 2.5 * rate / bpm.
    for (int32_t rate : {22050, 44100, 48000}) {
        play->mixing_rate = rate;
        for (int32_t bpm = 32; bpm <= 255; ++bpm) {
            set_tempo(play.get(), bpm);
            ASSERT_EQ(play->frames_per_tick, static_cast<int32_t>(2.5 * rate / bpm)) << rate << " Hz, " << bpm;
        }
    }
}

TEST(Tempo, TicksAlwaysLastAtLeastOneFrame) {
    std::unique_ptr<PlayState> play = play_at(44100);
    set_tempo(play.get(), 1);
    int32_t slowest = play->frames_per_tick;
    EXPECT_EQ(slowest, 110250);
    // No tempo below 1 BPM: 0 and negative values play as 1 BPM but are kept.
    for (int32_t bpm : {0, -1, -32768, INT32_MIN}) {
        set_tempo(play.get(), bpm);
        EXPECT_EQ(play->bpm, bpm);
        EXPECT_EQ(play->frames_per_tick, slowest) << bpm;
    }
    // A rate so low that a tick would be shorter than a frame.
    play->mixing_rate = 1;
    set_tempo(play.get(), 255);
    EXPECT_EQ(play->frames_per_tick, 1);
    play->mixing_rate = 0;
    set_tempo(play.get(), 125);
    EXPECT_EQ(play->frames_per_tick, 1);
    // And one so high that the count does not fit 32 bits.
    play->mixing_rate = INT32_MAX;
    set_tempo(play.get(), 1);
    EXPECT_EQ(play->frames_per_tick, INT32_MAX);
}

TEST(RowLength, SpeedSixGivesSixTicksOf882Frames) {
    XmModule module = replay_module(1, 4, 1, {0});
    PlayPtr play = start_replay(module);
    ASSERT_TRUE(play);
    EXPECT_EQ(play->frames_per_tick, 882);
    std::vector<RowVisit> rows = visit_rows(play.get(), 5);
    std::vector<RowVisit> expected = {{0, 0, 6}, {0, 1, 6}, {0, 2, 6}, {0, 3, 6}, {0, 0, 6}};
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(6 * play->frames_per_tick, 5292);
}

TEST(RowLength, PatternDelayLengthensTheRowAndEffectsRunOn) {
    // EE2 on channel 0, a volume slide down by 1 on channel 1.
    XmModule module = replay_module(2, 4, 1, {0});
    put(module, 0, 1, 0, note_cell(0, 0, 0, 0x0E, 0xE2));
    put(module, 0, 1, 1, note_cell(49, 1, 0, 0x0A, 0x01));
    PlayPtr play = start_replay(module);
    ASSERT_TRUE(play);
    run_ticks(play.get(), 6);
    std::vector<int32_t> ticks = tick_values(play.get(), 18, [](const PlayState* p) { return p->tick; });
    // The counter runs on to 17 before the row ends.
    std::vector<int32_t> expected_ticks;
    for (int32_t t = 1; t < 18; ++t) expected_ticks.push_back(t);
    expected_ticks.push_back(0);
    EXPECT_EQ(ticks, expected_ticks);
    EXPECT_EQ(play->channels[1].volume, 64 - 17);
    EXPECT_EQ(play->pattern_delay_ticks, 0);
    std::vector<RowVisit> rows = visit_rows(play.get(), 2);
    std::vector<RowVisit> expected = {{0, 2, 6}, {0, 3, 6}};
    EXPECT_EQ(rows, expected);
}

TEST(RowLength, SpeedAndTempoEffects) {
    XmModule module = replay_module(1, 8, 1, {0});
    put(module, 0, 1, 0, note_cell(0, 0, 0, 0x0F, 0x00));  // F00: every tick a row
    put(module, 0, 4, 0, note_cell(0, 0, 0, 0x0F, 0x1F));  // F1F: 31 ticks
    put(module, 0, 5, 0, note_cell(0, 0, 0, 0x0F, 0x20));  // F20: 32 BPM
    put(module, 0, 6, 0, note_cell(0, 0, 0, 0x0F, 0x03));
    PlayPtr play = start_replay(module);
    ASSERT_TRUE(play);
    std::vector<RowVisit> rows = visit_rows(play.get(), 8);
    // The F of a row already governs that row's length.
    std::vector<RowVisit> expected = {{0, 0, 6},  {0, 1, 1},  {0, 2, 1}, {0, 3, 1},
                                      {0, 4, 31}, {0, 5, 31}, {0, 6, 3}, {0, 7, 3}};
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(play->bpm, 32);
    EXPECT_EQ(play->frames_per_tick, 3445);
}

TEST(RowLength, ZeroOrNegativeSpeedMakesEveryTickARow) {
    for (int16_t tempo : {int16_t{0}, int16_t{-1}}) {
        XmModule module = replay_module(1, 4, 1, {0});
        PlayPtr play = start_replay(module);
        ASSERT_TRUE(play);
        Song* song = song_to_change(play.get());
        song->default_tempo = tempo;
        song->default_bpm = 0;
        restart_replay(play.get());
        EXPECT_GE(play->frames_per_tick, 1);
        std::vector<RowVisit> rows = visit_rows(play.get(), 5);
        std::vector<RowVisit> expected = {{0, 0, 1}, {0, 1, 1}, {0, 2, 1}, {0, 3, 1}, {0, 0, 1}};
        EXPECT_EQ(rows, expected) << tempo;
    }
}

}  // namespace
