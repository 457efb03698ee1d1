// Effects that restart or hold back notes: E9 retrigger, R multi retrig with
// its volume codes, and ED note delay.
#include <gtest/gtest.h>

#include "player/replay/channel.h"
#include "replay_harness.h"

using namespace korvanti;

namespace {

PlayPtr start_rows(const std::vector<XmCell>& rows, uint16_t tempo) {
    XmModule module = replay_module(1, static_cast<uint16_t>(rows.size()), 1, {0});
    module.default_tempo = tempo;
    for (size_t r = 0; r < rows.size(); ++r) put(module, 0, static_cast<uint16_t>(r), 0, rows[r]);
    return start_replay(module);
}

// Ticks of the current row, from tick 0, on which the channel asked for a TRIGGER.
std::vector<int32_t> trigger_ticks(PlayState* play, int32_t ticks) {
    std::vector<int32_t> triggered;
    for (int32_t t = 0; t < ticks; ++t) {
        run_ticks(play, 1);
        if (play->channels[0].update_flags & TRIGGER) triggered.push_back(t);
    }
    return triggered;
}

TEST(Retrigger, E9EveryYTicks) {
    PlayPtr play = start_rows({note_cell(49, 1), note_cell(0, 0, 0, 0x0E, 0x93), note_cell(0, 0, 0, 0x0E, 0x90)}, 7);
    ASSERT_TRUE(play);
    run_ticks(play.get(), 7);
    std::vector<int32_t> triggered;
    for (int32_t t = 0; t < 7; ++t) {
        run_ticks(play.get(), 1);
        if (play->channels[0].update_flags & TRIGGER) {
            triggered.push_back(t);
            EXPECT_TRUE(play->channels[0].update_flags & VOLUME) << t;
        }
    }
    EXPECT_EQ(triggered, (std::vector<int32_t>{3, 6}));
    EXPECT_EQ(trigger_ticks(play.get(), 7), (std::vector<int32_t>{}));
}

TEST(MultiRetrig, IntervalWithAndWithoutVolumeChange) {
    PlayPtr play = start_rows({note_cell(49, 1, 0, 0x1B, 0x03)}, 9);
    ASSERT_TRUE(play);
    EXPECT_EQ(trigger_ticks(play.get(), 9), (std::vector<int32_t>{0, 3, 6}));
    EXPECT_EQ(play->channels[0].volume, 64);

    play = start_rows({note_cell(49, 1, 0x40, 0x1B, 0x63)}, 9);
    ASSERT_TRUE(play);
    std::vector<int32_t> volumes = tick_values(play.get(), 9, [](const PlayState* p) { return p->channels[0].volume; });
    EXPECT_EQ(volumes, (std::vector<int32_t>{48, 48, 48, 32, 32, 32, 21, 21, 21}));
}

TEST(MultiRetrig, VolumeCodes) {
    // From volume 40, one retrig on tick 1 with each code.
    const int32_t expected[16] = {40, 39, 38, 36, 32, 24, 26, 20, 40, 41, 42, 44, 48, 56, 60, 64};
    for (uint8_t code = 1; code < 16; ++code) {
        PlayPtr play = start_rows({note_cell(49, 1, 0x38, 0x1B, static_cast<uint8_t>(code << 4 | 1))}, 2);
        ASSERT_TRUE(play);
        run_ticks(play.get(), 2);
        EXPECT_EQ(play->channels[0].volume, expected[code]) << int{code};
        EXPECT_TRUE(play->channels[0].update_flags & TRIGGER) << int{code};
        EXPECT_TRUE(play->channels[0].update_flags & VOLUME) << int{code};
    }
    PlayPtr play = start_rows({note_cell(49, 1, 0x1A, 0x1B, 0x51)}, 2);  // 10 - 16
    ASSERT_TRUE(play);
    run_ticks(play.get(), 2);
    EXPECT_EQ(play->channels[0].volume, 0);
    play = start_rows({note_cell(49, 1, 0, 0x0C, 0x64), note_cell(0, 0, 0, 0x1B, 0x81)}, 2);  // 100, code 8
    ASSERT_TRUE(play);
    run_ticks(play.get(), 4);
    EXPECT_EQ(play->channels[0].volume, 64);
}

TEST(NoteDelay, NewNoteStartsOnTickY) {
    PlayPtr play = start_rows({note_cell(49, 1, 0x20), note_cell(61, 1, 0x30, 0x0E, 0xD3)}, 6);
    ASSERT_TRUE(play);
    run_ticks(play.get(), 6);
    const Channel& channel = play->channels[0];
    for (int32_t t = 0; t < 3; ++t) {
        run_ticks(play.get(), 1);
        // The old note sounds on as it was.
        EXPECT_EQ(channel.volume, 16) << t;
        EXPECT_EQ(channel.period, 4608) << t;
        EXPECT_FALSE(channel.update_flags & (TRIGGER | VOLUME | PANNING)) << t;
    }
    EXPECT_EQ(play->channel_notes[0], 1);
    EXPECT_EQ(channel.note_period, 3840);
    run_ticks(play.get(), 1);
    EXPECT_EQ(channel.volume, 32);  // sample default, then the cell's volume byte
    EXPECT_EQ(channel.period, 3840);
    EXPECT_TRUE(channel.update_flags & TRIGGER);
    EXPECT_TRUE(channel.update_flags & VOLUME);
    EXPECT_TRUE(channel.update_flags & FREQUENCY);
    run_ticks(play.get(), 1);
    EXPECT_FALSE(channel.update_flags & TRIGGER);
}

TEST(NoteDelay, ZeroNeverStarts) {
    PlayPtr play = start_rows({note_cell(49, 1, 0x20), note_cell(61, 1, 0, 0x0E, 0xD0)}, 6);
    ASSERT_TRUE(play);
    run_ticks(play.get(), 6);
    std::vector<int32_t> triggers = trigger_ticks(play.get(), 6);
    EXPECT_TRUE(triggers.empty());
    EXPECT_EQ(play->channels[0].volume, 16);
    EXPECT_EQ(play->channels[0].period, 4608);
}

TEST(NoteDelay, RestoresTheVolumeFromBeforeTheTremoloCarry) {
    // The tremolo's last offset is -6; the delay row returns to 32, not 26.
    PlayPtr play = start_rows({note_cell(49, 1, 0x30, 0x07, 0xF4), note_cell(61, 1, 0, 0x0E, 0xD3)}, 6);
    ASSERT_TRUE(play);
    run_ticks(play.get(), 6);
    EXPECT_EQ(play->channels[0].volume_delta, -6);
    run_ticks(play.get(), 1);
    EXPECT_EQ(play->channels[0].volume, 32);
}

}  // namespace
