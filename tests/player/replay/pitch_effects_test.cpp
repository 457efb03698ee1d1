// Effects on the pitch: arpeggio, portamentos, vibrato, fine and extra fine
// slides, finetune and the sample offset.
#include <gtest/gtest.h>

#include "player/replay/channel.h"
#include "player/replay/effects.h"
#include "replay_harness.h"

using namespace korvanti;

namespace {

// One channel; each row a cell; speed 6 unless changed.
PlayPtr start_rows(const std::vector<XmCell>& rows, uint16_t flags = 1, uint16_t tempo = 6) {
    XmModule module = replay_module(1, static_cast<uint16_t>(rows.size()), 1, {0});
    module.flags = flags;
    module.default_tempo = tempo;
    for (size_t r = 0; r < rows.size(); ++r) put(module, 0, static_cast<uint16_t>(r), 0, rows[r]);
    return start_replay(module);
}

int32_t period_delta(const PlayState* play) { return play->channels[0].period_delta; }
int32_t period(const PlayState* play) { return play->channels[0].period; }

TEST(Arpeggio, LinearTableSemitoneSteps) {
    PlayPtr play = start_rows({note_cell(49, 1, 0, 0x00, 0x37)});
    ASSERT_TRUE(play);
    EXPECT_EQ(tick_values(play.get(), 6, period_delta), (std::vector<int32_t>{0, 192, 448, 0, 192, 448}));
    EXPECT_EQ(period(play.get()), 4608);
}

TEST(Arpeggio, AmigaTableUsesPeriodDifferences) {
    PlayPtr play = start_rows({note_cell(49, 1, 0, 0x00, 0x10)}, 0);
    ASSERT_TRUE(play);
    // Note 48 is 1712, note 49 is 1615.
    EXPECT_EQ(tick_values(play.get(), 6, period_delta), (std::vector<int32_t>{0, -97, 0, 0, -97, 0}));
}

TEST(Arpeggio, BaseTickKeepsTheVolumeColumnVibrato) {
    // E42: square vibrato; then depth 8 from the volume column with no speed.
    PlayPtr play = start_rows({note_cell(0, 0, 0, 0x0E, 0x42), note_cell(49, 1, 0xB8, 0x00, 0x37)});
    ASSERT_TRUE(play);
    run_ticks(play.get(), 6);
    EXPECT_EQ(tick_values(play.get(), 6, period_delta), (std::vector<int32_t>{0, 192, 448, -60, 192, 448}));
}

TEST(Portamento, UpIsLimitedDownIsNot) {
    PlayPtr play = start_rows({note_cell(49, 1, 0, 0x01, 0x03), note_cell(0, 0, 0, 0x01, 0x00)});
    ASSERT_TRUE(play);
    std::vector<int32_t> periods = tick_values(play.get(), 12, period);
    EXPECT_EQ(periods, (std::vector<int32_t>{4608, 4596, 4584, 4572, 4560, 4548, 4548, 4536, 4524, 4512,
                                             4500, 4488}));

    play = start_rows({note_cell(96, 1, 0, 0x01, 0xFF)});  // period 1600
    ASSERT_TRUE(play);
    EXPECT_EQ(tick_values(play.get(), 6, period), (std::vector<int32_t>{1600, 580, 56, 56, 56, 56}));

    play = start_rows({note_cell(49, 1, 0, 0x02, 0xFF)});
    ASSERT_TRUE(play);
    EXPECT_EQ(tick_values(play.get(), 3, period), (std::vector<int32_t>{4608, 5628, 6648}));
}

TEST(Portamento, EndlessSlideDownSaturates) {
    PlayPtr play = start_rows({note_cell(49, 1, 0, 0x02, 0xFF), note_cell(0, 0, 0, 0x0E, 0x2F)});
    ASSERT_TRUE(play);
    run_ticks(play.get(), 1);
    play->channels[0].period = PERIOD_LIMIT - 100;
    run_ticks(play.get(), 5);
    EXPECT_EQ(period(play.get()), PERIOD_LIMIT);
    run_ticks(play.get(), 1);  // E2F adds 60 more
    EXPECT_EQ(period(play.get()), PERIOD_LIMIT);
}

TEST(Portamento, FineAndExtraFineSlidesOnTheFirstTick) {
    PlayPtr play = start_rows({note_cell(49, 1), note_cell(0, 0, 0, 0x0E, 0x13), note_cell(0, 0, 0, 0x0E, 0x10),
                               note_cell(0, 0, 0, 0x0E, 0x22), note_cell(0, 0, 0, 0x0E, 0x20),
                               note_cell(0, 0, 0, 0x21, 0x13), note_cell(0, 0, 0, 0x21, 0x10),
                               note_cell(0, 0, 0, 0x21, 0x25), note_cell(0, 0, 0, 0x21, 0x20),
                               note_cell(0, 0, 0, 0x21, 0x37)},
                              1, 1);
    ASSERT_TRUE(play);
    std::vector<int32_t> periods = tick_values(play.get(), 10, period);
    EXPECT_EQ(periods, (std::vector<int32_t>{4608, 4596, 4584, 4592, 4600, 4597, 4594, 4599, 4604, 4604}));
}

TEST(Vibrato, SineBendsFromTheFirstTickAndAdvancesLater) {
    PlayPtr play = start_rows({note_cell(49, 1, 0, 0x04, 0x8F), note_cell(0, 0, 0, 0x04, 0x00)});
    ASSERT_TRUE(play);
    EXPECT_EQ(tick_values(play.get(), 6, period_delta), (std::vector<int32_t>{0, 0, -84, -116, -84, 0}));
    EXPECT_EQ(play->channels[0].vibrato_position, -24);
    // The next row's first tick bends at the phase reached, now negative.
    EXPECT_EQ(tick_values(play.get(), 2, period_delta), (std::vector<int32_t>{84, 84}));
    EXPECT_EQ(play->channels[0].period, 4608);
}

TEST(Vibrato, RampAndSquareWaveforms) {
    PlayPtr play = start_rows({note_cell(0, 0, 0, 0x0E, 0x41), note_cell(49, 1, 0, 0x04, 0x8F)});
    ASSERT_TRUE(play);
    run_ticks(play.get(), 6);
    EXPECT_EQ(tick_values(play.get(), 6, period_delta), (std::vector<int32_t>{0, 0, -28, -60, -88, 116}));
    // Waveform 3 is a square for the vibrato.
    for (uint8_t waveform : {uint8_t{0x42}, uint8_t{0x43}}) {
        play = start_rows({note_cell(0, 0, 0, 0x0E, waveform), note_cell(49, 1, 0, 0x04, 0x8F)});
        ASSERT_TRUE(play);
        run_ticks(play.get(), 6);
        EXPECT_EQ(tick_values(play.get(), 6, period_delta),
                  (std::vector<int32_t>{-116, -116, -116, -116, -116, 116}))
            << int{waveform};
    }
}

TEST(Vibrato, PhaseWrapsAndWaveformControlKeepsIt) {
    for (uint8_t control : {uint8_t{0x40}, uint8_t{0x44}}) {
        PlayPtr play = start_rows({note_cell(0, 0, 0, 0x0E, control), note_cell(49, 1, 0, 0x04, 0xF1),
                                   note_cell(49, 1, 0, 0x04, 0x00)});
        ASSERT_TRUE(play);
        run_ticks(play.get(), 6);
        std::vector<int32_t> phases = tick_values(play.get(), 6, [](const PlayState* p) { return p->channels[0].vibrato_position; });
        EXPECT_EQ(phases, (std::vector<int32_t>{0, 15, 30, -19, -4, 11}));
        run_ticks(play.get(), 1);
        // A new note resets the phase unless the control is 4..7.
        EXPECT_EQ(play->channels[0].vibrato_position, control == 0x44 ? 11 : 0);
    }
}

TEST(Finetune, E5ChangesThePlaysFinetuneForLaterNotes) {
    PlayPtr play = start_rows({note_cell(49, 1, 0, 0x0E, 0x53), note_cell(49, 1)});
    ASSERT_TRUE(play);
    run_ticks(play.get(), 1);
    EXPECT_EQ(play->channels[0].note_period, 4608);
    // The play's finetune of the sample changes; the Song's stays as loaded.
    const Sample* sample = play->song->instruments[0].samples[0];
    EXPECT_EQ(sample_finetune(play.get(), sample), 3);
    EXPECT_EQ(sample->finetune, 0);
    run_ticks(play.get(), 6);
    EXPECT_EQ(play->channels[0].note_period, 4607);  // 4608 - 3 / 2
    // A new start plays with the finetunes as loaded.
    restart_replay(play.get());
    EXPECT_EQ(sample_finetune(play.get(), sample), 0);

    // On a missing instrument it writes the play's finetune of the shared
    // empty sample, which the shared record itself never changes.
    play = start_rows({note_cell(49, 9, 0, 0x0E, 0x57)});
    ASSERT_TRUE(play);
    run_ticks(play.get(), 1);
    EXPECT_EQ(sample_finetune(play.get(), &empty_sample), 7);
    EXPECT_EQ(empty_sample.finetune, 0);
}

// A 3000-frame sample, without a loop or with a loop over its first 1000 frames.
PlayPtr start_offset_rows(const std::vector<XmCell>& rows, bool looped) {
    XmModule module = replay_module(1, static_cast<uint16_t>(rows.size()), 1, {0});
    std::vector<int16_t> values(3000, 1000);
    module.instruments[0] = instrument_with_sample(looped ? make_sample(values, true, 1, 0, 1000)
                                                          : make_sample(values, true, 0));
    for (size_t r = 0; r < rows.size(); ++r) put(module, 0, static_cast<uint16_t>(r), 0, rows[r]);
    return start_replay(module);
}

TEST(SampleOffset, StartsInsideTheSampleOrRewindsBeyondIt) {
    PlayPtr play = start_offset_rows({note_cell(49, 1, 0, 0x09, 0x05), note_cell(49, 1, 0, 0x09, 0x10),
                                      note_cell(49, 1, 0, 0x09, 0x00)},
                                     false);
    ASSERT_TRUE(play);
    run_ticks(play.get(), 1);
    EXPECT_TRUE(play->channels[0].update_flags & TRIGGER);
    EXPECT_EQ(play->channels[0].voice->position_int, 1280u);
    run_ticks(play.get(), 5);
    Voice* playing = play->channels[0].voice;
    for (int32_t row = 1; row < 3; ++row) {  // 4096 frames: beyond the end
        playing->position_int = 2000;  // as if the mixer had played on
        run_ticks(play.get(), 1);
        EXPECT_FALSE(play->channels[0].update_flags & TRIGGER) << row;
        EXPECT_TRUE(play->channels[0].update_flags & RESET_POSITION) << row;
        EXPECT_EQ(play->channels[0].voice, playing) << row;
        EXPECT_EQ(playing->position_int, 0u) << row;
        EXPECT_EQ(play->channels[0].sample_offset, 0x10) << row;
        run_ticks(play.get(), 5);
    }
}

TEST(SampleOffset, TheLoopEndIsTheLimit) {
    PlayPtr play = start_offset_rows({note_cell(49, 1, 0, 0x09, 0x03), note_cell(49, 1, 0, 0x09, 0x04)}, true);
    ASSERT_TRUE(play);
    run_ticks(play.get(), 1);
    EXPECT_TRUE(play->channels[0].update_flags & TRIGGER);
    EXPECT_EQ(play->channels[0].voice->position_int, 768u);
    run_ticks(play.get(), 6);
    EXPECT_FALSE(play->channels[0].update_flags & TRIGGER);
    EXPECT_TRUE(play->channels[0].update_flags & RESET_POSITION);
}

}  // namespace
