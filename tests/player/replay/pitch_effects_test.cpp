// Effects on the pitch: arpeggio, portamentos, vibrato, fine and extra fine
// slides, finetune and the sample offset.
#include <gtest/gtest.h>

#include "player/output/mixer.h"
#include "player/replay/channel.h"
#include "player/replay/effects.h"
#include "replay_harness.h"

namespace {

// One channel; each row a cell; speed 6 unless changed.
SongPtr start_rows(const std::vector<XmCell>& rows, uint16_t flags = 1, uint16_t tempo = 6) {
    XmModule module = replay_module(1, static_cast<uint16_t>(rows.size()), 1, {0});
    module.flags = flags;
    module.default_tempo = tempo;
    for (size_t r = 0; r < rows.size(); ++r) put(module, 0, static_cast<uint16_t>(r), 0, rows[r]);
    SongPtr song = load_for_replay(module);
    if (song) start_replay(song.get());
    return song;
}

int32_t period_delta() { return channels[0].period_delta; }
int32_t period() { return channels[0].period; }

TEST(Arpeggio, LinearTableSemitoneSteps) {
    SongPtr song = start_rows({note_cell(49, 1, 0, 0x00, 0x37)});
    ASSERT_TRUE(song);
    EXPECT_EQ(tick_values(song.get(), 6, period_delta), (std::vector<int32_t>{0, 192, 448, 0, 192, 448}));
    EXPECT_EQ(period(), 4608);
}

TEST(Arpeggio, AmigaTableUsesPeriodDifferences) {
    SongPtr song = start_rows({note_cell(49, 1, 0, 0x00, 0x10)}, 0);
    ASSERT_TRUE(song);
    // Note 48 is 1712, note 49 is 1615.
    EXPECT_EQ(tick_values(song.get(), 6, period_delta), (std::vector<int32_t>{0, -97, 0, 0, -97, 0}));
}

TEST(Arpeggio, BaseTickKeepsTheVolumeColumnVibrato) {
    // E42: square vibrato; then depth 8 from the volume column with no speed.
    SongPtr song = start_rows({note_cell(0, 0, 0, 0x0E, 0x42), note_cell(49, 1, 0xB8, 0x00, 0x37)});
    ASSERT_TRUE(song);
    run_ticks(song.get(), 6);
    EXPECT_EQ(tick_values(song.get(), 6, period_delta), (std::vector<int32_t>{0, 192, 448, -60, 192, 448}));
}

TEST(Portamento, UpIsLimitedDownIsNot) {
    SongPtr song = start_rows({note_cell(49, 1, 0, 0x01, 0x03), note_cell(0, 0, 0, 0x01, 0x00)});
    ASSERT_TRUE(song);
    std::vector<int32_t> periods = tick_values(song.get(), 12, period);
    EXPECT_EQ(periods, (std::vector<int32_t>{4608, 4596, 4584, 4572, 4560, 4548, 4548, 4536, 4524, 4512,
                                             4500, 4488}));

    song = start_rows({note_cell(96, 1, 0, 0x01, 0xFF)});  // period 1600
    ASSERT_TRUE(song);
    EXPECT_EQ(tick_values(song.get(), 6, period), (std::vector<int32_t>{1600, 580, 56, 56, 56, 56}));

    song = start_rows({note_cell(49, 1, 0, 0x02, 0xFF)});
    ASSERT_TRUE(song);
    EXPECT_EQ(tick_values(song.get(), 3, period), (std::vector<int32_t>{4608, 5628, 6648}));
}

TEST(Portamento, EndlessSlideDownSaturates) {
    SongPtr song = start_rows({note_cell(49, 1, 0, 0x02, 0xFF), note_cell(0, 0, 0, 0x0E, 0x2F)});
    ASSERT_TRUE(song);
    run_ticks(song.get(), 1);
    channels[0].period = PERIOD_LIMIT - 100;
    run_ticks(song.get(), 5);
    EXPECT_EQ(period(), PERIOD_LIMIT);
    run_ticks(song.get(), 1);  // E2F adds 60 more
    EXPECT_EQ(period(), PERIOD_LIMIT);
}

TEST(Portamento, FineAndExtraFineSlidesOnTheFirstTick) {
    SongPtr song = start_rows({note_cell(49, 1), note_cell(0, 0, 0, 0x0E, 0x13), note_cell(0, 0, 0, 0x0E, 0x10),
                               note_cell(0, 0, 0, 0x0E, 0x22), note_cell(0, 0, 0, 0x0E, 0x20),
                               note_cell(0, 0, 0, 0x21, 0x13), note_cell(0, 0, 0, 0x21, 0x10),
                               note_cell(0, 0, 0, 0x21, 0x25), note_cell(0, 0, 0, 0x21, 0x20),
                               note_cell(0, 0, 0, 0x21, 0x37)},
                              1, 1);
    ASSERT_TRUE(song);
    std::vector<int32_t> periods = tick_values(song.get(), 10, period);
    EXPECT_EQ(periods, (std::vector<int32_t>{4608, 4596, 4584, 4592, 4600, 4597, 4594, 4599, 4604, 4604}));
}

TEST(Vibrato, SineBendsFromTheFirstTickAndAdvancesLater) {
    SongPtr song = start_rows({note_cell(49, 1, 0, 0x04, 0x8F), note_cell(0, 0, 0, 0x04, 0x00)});
    ASSERT_TRUE(song);
    EXPECT_EQ(tick_values(song.get(), 6, period_delta), (std::vector<int32_t>{0, 0, -84, -116, -84, 0}));
    EXPECT_EQ(channels[0].vibrato_position, -24);
    // The next row's first tick bends at the phase reached, now negative.
    EXPECT_EQ(tick_values(song.get(), 2, period_delta), (std::vector<int32_t>{84, 84}));
    EXPECT_EQ(channels[0].period, 4608);
}

TEST(Vibrato, RampAndSquareWaveforms) {
    SongPtr song = start_rows({note_cell(0, 0, 0, 0x0E, 0x41), note_cell(49, 1, 0, 0x04, 0x8F)});
    ASSERT_TRUE(song);
    run_ticks(song.get(), 6);
    EXPECT_EQ(tick_values(song.get(), 6, period_delta), (std::vector<int32_t>{0, 0, -28, -60, -88, 116}));
    // Waveform 3 is a square for the vibrato.
    for (uint8_t waveform : {uint8_t{0x42}, uint8_t{0x43}}) {
        song = start_rows({note_cell(0, 0, 0, 0x0E, waveform), note_cell(49, 1, 0, 0x04, 0x8F)});
        ASSERT_TRUE(song);
        run_ticks(song.get(), 6);
        EXPECT_EQ(tick_values(song.get(), 6, period_delta),
                  (std::vector<int32_t>{-116, -116, -116, -116, -116, 116}))
            << int{waveform};
    }
}

TEST(Vibrato, PhaseWrapsAndWaveformControlKeepsIt) {
    for (uint8_t control : {uint8_t{0x40}, uint8_t{0x44}}) {
        SongPtr song = start_rows({note_cell(0, 0, 0, 0x0E, control), note_cell(49, 1, 0, 0x04, 0xF1),
                                   note_cell(49, 1, 0, 0x04, 0x00)});
        ASSERT_TRUE(song);
        run_ticks(song.get(), 6);
        std::vector<int32_t> phases = tick_values(song.get(), 6, [] { return channels[0].vibrato_position; });
        EXPECT_EQ(phases, (std::vector<int32_t>{0, 15, 30, -19, -4, 11}));
        run_ticks(song.get(), 1);
        // A new note resets the phase unless the control is 4..7.
        EXPECT_EQ(channels[0].vibrato_position, control == 0x44 ? 11 : 0);
    }
}

TEST(Finetune, E5ChangesTheSampleForLaterNotes) {
    SongPtr song = start_rows({note_cell(49, 1, 0, 0x0E, 0x53), note_cell(49, 1)});
    ASSERT_TRUE(song);
    run_ticks(song.get(), 1);
    EXPECT_EQ(channels[0].note_period, 4608);
    EXPECT_EQ(song->instruments[0].samples[0]->finetune, 3);
    run_ticks(song.get(), 6);
    EXPECT_EQ(channels[0].note_period, 4607);  // 4608 - 3 / 2

    // On a missing instrument it writes the shared empty sample.
    song = start_rows({note_cell(49, 9, 0, 0x0E, 0x57)});
    ASSERT_TRUE(song);
    run_ticks(song.get(), 1);
    EXPECT_EQ(empty_sample.finetune, 7);
    empty_sample.finetune = 0;
}

// A 3000-frame sample, without a loop or with a loop over its first 1000 frames.
SongPtr start_offset_rows(const std::vector<XmCell>& rows, bool looped) {
    XmModule module = replay_module(1, static_cast<uint16_t>(rows.size()), 1, {0});
    std::vector<int16_t> values(3000, 1000);
    module.instruments[0] = instrument_with_sample(looped ? make_sample(values, true, 1, 0, 1000)
                                                          : make_sample(values, true, 0));
    for (size_t r = 0; r < rows.size(); ++r) put(module, 0, static_cast<uint16_t>(r), 0, rows[r]);
    SongPtr song = load_for_replay(module);
    if (song) start_replay(song.get());
    return song;
}

TEST(SampleOffset, StartsInsideTheSampleOrRewindsBeyondIt) {
    SongPtr song = start_offset_rows({note_cell(49, 1, 0, 0x09, 0x05), note_cell(49, 1, 0, 0x09, 0x10),
                                      note_cell(49, 1, 0, 0x09, 0x00)},
                                     false);
    ASSERT_TRUE(song);
    run_ticks(song.get(), 1);
    EXPECT_TRUE(channels[0].update_flags & TRIGGER);
    EXPECT_EQ(channels[0].voice->position_int, 1280u);
    run_ticks(song.get(), 5);
    Voice* playing = channels[0].voice;
    for (int32_t row = 1; row < 3; ++row) {  // 4096 frames: beyond the end
        playing->position_int = 2000;  // as if the mixer had played on
        run_ticks(song.get(), 1);
        EXPECT_FALSE(channels[0].update_flags & TRIGGER) << row;
        EXPECT_TRUE(channels[0].update_flags & RESET_POSITION) << row;
        EXPECT_EQ(channels[0].voice, playing) << row;
        EXPECT_EQ(playing->position_int, 0u) << row;
        EXPECT_EQ(channels[0].sample_offset, 0x10) << row;
        run_ticks(song.get(), 5);
    }
}

TEST(SampleOffset, TheLoopEndIsTheLimit) {
    SongPtr song = start_offset_rows({note_cell(49, 1, 0, 0x09, 0x03), note_cell(49, 1, 0, 0x09, 0x04)}, true);
    ASSERT_TRUE(song);
    run_ticks(song.get(), 1);
    EXPECT_TRUE(channels[0].update_flags & TRIGGER);
    EXPECT_EQ(channels[0].voice->position_int, 768u);
    run_ticks(song.get(), 6);
    EXPECT_FALSE(channels[0].update_flags & TRIGGER);
    EXPECT_TRUE(channels[0].update_flags & RESET_POSITION);
}

}  // namespace
