// Effects on volume and panning: slides, set volume, global volume, tremolo,
// tremor, note cut, panning, and the volume column.
#include <gtest/gtest.h>

#include "player/replay/channel.h"
#include "player/replay/effects.h"
#include "replay_harness.h"

using namespace korvanti;

namespace {

PlayPtr start_rows(const std::vector<XmCell>& rows, uint16_t tempo = 6) {
    XmModule module = replay_module(1, static_cast<uint16_t>(rows.size()), 1, {0});
    module.default_tempo = tempo;
    for (size_t r = 0; r < rows.size(); ++r) put(module, 0, static_cast<uint16_t>(r), 0, rows[r]);
    return start_replay(module);
}

int32_t volume(const PlayState* play) { return play->channels[0].volume; }
int32_t volume_delta(const PlayState* play) { return play->channels[0].volume_delta; }
int32_t panning(const PlayState* play) { return play->channels[0].panning; }

TEST(VolumeSlide, DownStopsAtZeroUpWinsAndMemoryRepeats) {
    PlayPtr play = start_rows({note_cell(49, 1, 0, 0x0A, 0x0F)});
    ASSERT_TRUE(play);
    EXPECT_EQ(tick_values(play.get(), 6, volume), (std::vector<int32_t>{64, 49, 34, 19, 4, 0}));

    play = start_rows({note_cell(49, 1, 0x1A, 0x0A, 0xF1)});
    ASSERT_TRUE(play);
    EXPECT_EQ(tick_values(play.get(), 6, volume), (std::vector<int32_t>{10, 25, 40, 55, 64, 64}));

    play = start_rows({note_cell(49, 1, 0, 0x0A, 0x02), note_cell(0, 0, 0, 0x0A, 0x00)});
    ASSERT_TRUE(play);
    EXPECT_EQ(tick_values(play.get(), 12, volume),
              (std::vector<int32_t>{64, 62, 60, 58, 56, 54, 54, 52, 50, 48, 46, 44}));
}

TEST(SetVolume, CHasNoLimitButTheSlidesDo) {
    PlayPtr play = start_rows({note_cell(49, 1, 0, 0x0C, 0x7F), note_cell(0, 0, 0, 0x0A, 0x10)});
    ASSERT_TRUE(play);
    run_ticks(play.get(), 1);
    EXPECT_EQ(volume(play.get()), 127);
    EXPECT_TRUE(play->channels[0].update_flags & VOLUME);
    run_ticks(play.get(), 7);
    EXPECT_EQ(volume(play.get()), 64);
}

TEST(VolumeColumn, VolumeCommands) {
    PlayPtr play = start_rows({note_cell(49, 1), note_cell(0, 0, 0x65), note_cell(0, 0, 0x85),
                               note_cell(0, 0, 0x75), note_cell(0, 0, 0x95), note_cell(0, 0, 0x7F),
                               note_cell(0, 0, 0x51), note_cell(0, 0, 0x10), note_cell(0, 0, 0x05),
                               note_cell(0, 0, 0x50)});
    ASSERT_TRUE(play);
    run_ticks(play.get(), 6);
    std::vector<int32_t> volumes = tick_values(play.get(), 54, volume);
    std::vector<int32_t> expected = {59, 54, 49, 44, 39, 34,  // 0x65 on all six ticks
                                     29, 29, 29, 29, 29, 29,  // 0x85 once
                                     34, 39, 44, 49, 54, 59,  // 0x75
                                     64, 64, 64, 64, 64, 64,  // 0x95, limited
                                     64, 64, 64, 64, 64, 64,  // 0x7F, limited
                                     64, 64, 64, 64, 64, 64,  // 0x51 is nothing
                                     0,  0,  0,  0,  0,  0,   // 0x10 sets 0
                                     0,  0,  0,  0,  0,  0,   // 0x05 is nothing
                                     64, 64, 64, 64, 64, 64};
    EXPECT_EQ(volumes, expected);
}

TEST(VolumeColumn, PanningIsSetAndSlidWithoutLimit) {
    PlayPtr play = start_rows({note_cell(49, 1, 0xC2), note_cell(0, 0, 0xDF), note_cell(0, 0, 0xEF),
                               note_cell(0, 0, 0xEF)});
    ASSERT_TRUE(play);
    run_ticks(play.get(), 1);
    EXPECT_EQ(panning(play.get()), 32);
    EXPECT_TRUE(play->channels[0].update_flags & PANNING);
    run_ticks(play.get(), 5);
    std::vector<int32_t> pannings = tick_values(play.get(), 18, panning);
    std::vector<int32_t> expected = {17,  2,   -13, -28, -43, -58, -43, -28, -13,
                                     2,   17,  32,  47,  62,  77,  92,  107, 122};
    EXPECT_EQ(pannings, expected);
}

TEST(VolumeColumn, EndlessPanningSlidesSaturate) {
    Channel channel{};
    channel.panning = PANNING_LIMIT - 5;
    volume_column(&channel, 0xEF);
    EXPECT_EQ(channel.panning, PANNING_LIMIT);
    volume_column_later(&channel, 0xE1);
    EXPECT_EQ(channel.panning, PANNING_LIMIT);
    channel.panning = -PANNING_LIMIT + 5;
    volume_column_later(&channel, 0xDF);
    EXPECT_EQ(channel.panning, -PANNING_LIMIT);
    EXPECT_TRUE(channel.update_flags & PANNING);
}

TEST(VolumeColumn, VibratoSpeedAndDepth) {
    PlayPtr play = start_rows({note_cell(49, 1, 0xA4), note_cell(0, 0, 0xB2)});
    ASSERT_TRUE(play);
    run_ticks(play.get(), 6);
    EXPECT_EQ(play->channels[0].vibrato_speed, 4);
    EXPECT_EQ(tick_values(play.get(), 6, [](const PlayState* p) { return p->channels[0].period_delta; }),
              (std::vector<int32_t>{0, 0, -4, -8, -12, -12}));
    EXPECT_EQ(play->channels[0].vibrato_depth, 2);
    EXPECT_EQ(play->channels[0].vibrato_position, 20);
}

TEST(GlobalVolume, SetIsLimitedAndSlidesAddUpOverChannels) {
    XmModule module = replay_module(2, 4, 1, {0});
    put(module, 0, 0, 0, note_cell(49, 1, 0, 0x10, 0x50));
    put(module, 0, 1, 0, note_cell(0, 0, 0, 0x10, 0x20));
    put(module, 0, 2, 0, note_cell(0, 0, 0, 0x11, 0x01));
    put(module, 0, 2, 1, note_cell(0, 0, 0, 0x11, 0x01));
    put(module, 0, 3, 1, note_cell(0, 0, 0, 0x11, 0x00));  // memory: the song's one
    PlayPtr play = start_replay(module);
    ASSERT_TRUE(play);
    play->global_volume = 10;
    run_ticks(play.get(), 1);
    EXPECT_EQ(play->global_volume, 64);
    EXPECT_TRUE(play->channels[0].update_flags & VOLUME);
    run_ticks(play.get(), 6);
    EXPECT_EQ(play->global_volume, 32);
    run_ticks(play.get(), 5);
    std::vector<int32_t> values = tick_values(play.get(), 11, [](const PlayState* p) { return p->global_volume; });
    EXPECT_EQ(values, (std::vector<int32_t>{32, 30, 28, 26, 24, 22, 22, 21, 20, 19, 18}));
}

TEST(GlobalVolume, SlideStopsAtTheLimits) {
    PlayPtr play = start_rows({note_cell(49, 1, 0, 0x11, 0xF0), note_cell(0, 0, 0, 0x11, 0x0F)});
    ASSERT_TRUE(play);
    play->global_volume = 40;
    EXPECT_EQ(tick_values(play.get(), 12, [](const PlayState* p) { return p->global_volume; }),
              (std::vector<int32_t>{40, 55, 64, 64, 64, 64, 64, 49, 34, 19, 4, 0}));
}

TEST(Tremolo, SineOffsetsLastOneTickAndTheLastStays) {
    PlayPtr play = start_rows({note_cell(49, 1, 0x30, 0x07, 0x84), note_cell(0, 0, 0, 0x07, 0x00),
                               note_cell(0, 0, 0, 0x00, 0x00)});
    ASSERT_TRUE(play);
    EXPECT_EQ(tick_values(play.get(), 6, volume_delta), (std::vector<int32_t>{0, 0, 11, 15, 11, 0}));
    EXPECT_EQ(tick_values(play.get(), 6, volume_delta), (std::vector<int32_t>{0, -11, -15, -11, 0, 11}));
    EXPECT_EQ(volume(play.get()), 32);
    // The row after the tremolo keeps its last offset in the volume.
    run_ticks(play.get(), 1);
    EXPECT_EQ(volume(play.get()), 43);
    EXPECT_EQ(volume_delta(play.get()), 0);
}

TEST(Tremolo, Waveforms) {
    struct Case {
        uint8_t control;
        std::vector<int32_t> deltas;
    };
    const Case cases[] = {
        {0x70, {0, 0, 11, 15, 11, 0}},
        {0x73, {0, 0, 11, 15, 11, 0}},  // 3 is a sine for the tremolo
        {0x71, {0, 0, 4, 8, 12, -15}},  // ramp
        {0x72, {0, 15, 15, 15, 15, -15}},
    };
    for (const Case& c : cases) {
        PlayPtr play = start_rows({note_cell(0, 0, 0, 0x0E, c.control), note_cell(49, 1, 0x30, 0x07, 0x84)});
        ASSERT_TRUE(play);
        run_ticks(play.get(), 6);
        EXPECT_EQ(tick_values(play.get(), 6, volume_delta), c.deltas) << int{c.control};
    }
}

TEST(Tremolo, OffsetKeepsTheVolumeInside0To64) {
    PlayPtr play = start_rows({note_cell(49, 1, 0x4C, 0x07, 0x8F), note_cell(0, 0, 0x1A, 0x07, 0x00)});
    ASSERT_TRUE(play);
    EXPECT_EQ(tick_values(play.get(), 6, volume_delta), (std::vector<int32_t>{0, 0, 4, 4, 4, 0}));
    EXPECT_EQ(tick_values(play.get(), 3, volume_delta), (std::vector<int32_t>{0, -10, -10}));
}

TEST(Tremor, OnAndOffTicksRepeatAcrossRows) {
    PlayPtr play = start_rows({note_cell(49, 1, 0, 0x1D, 0x21), note_cell(0, 0, 0, 0x1D, 0x00)});
    ASSERT_TRUE(play);
    std::vector<int32_t> silent;
    for (int32_t t = 0; t < 12; ++t) {
        run_ticks(play.get(), 1);
        if (volume_delta(play.get()) == -volume(play.get())) silent.push_back(t);
    }
    EXPECT_EQ(silent, (std::vector<int32_t>{3, 4, 8, 9}));
    EXPECT_EQ(volume(play.get()), 64);
}

TEST(Tremor, CounterRunsPastAChangedCycleAndWrapsAtEightBits) {
    PlayPtr play = start_rows({note_cell(49, 1, 0, 0x1D, 0x21), note_cell(0, 0, 0, 0x1D, 0x10)}, 4);
    ASSERT_TRUE(play);
    run_ticks(play.get(), 4);
    EXPECT_EQ(play->channels[0].tremor_counter, 4);
    std::vector<int32_t> deltas = tick_values(play.get(), 4, volume_delta);
    EXPECT_EQ(deltas, std::vector<int32_t>(4, -64));
    EXPECT_EQ(play->channels[0].tremor_counter, 8);

    Channel channel{};
    channel.volume = 40;
    channel.tremor_on = 2;
    channel.tremor_off = 1;
    channel.tremor_counter = 255;
    std::vector<int32_t> seen;
    for (int32_t t = 0; t < 5; ++t) {
        channel.volume_delta = 0;
        tremor(&channel);
        seen.push_back(channel.volume_delta);
        EXPECT_TRUE(channel.update_flags & VOLUME);
    }
    EXPECT_EQ(seen, (std::vector<int32_t>{-40, 0, 0, -40, 0}));
}

TEST(FineVolumeSlide, SharedMemoryAndLimits) {
    PlayPtr play = start_rows({note_cell(49, 1, 0x4C), note_cell(0, 0, 0, 0x0E, 0xA8), note_cell(0, 0, 0, 0x0E, 0xB3),
                               note_cell(0, 0, 0, 0x0E, 0xB0), note_cell(0, 0, 0, 0x0E, 0xA0),
                               note_cell(0, 0, 0x18, 0x0E, 0xBF), note_cell(0, 0, 0, 0x0E, 0xBF)},
                              1);
    ASSERT_TRUE(play);
    EXPECT_EQ(tick_values(play.get(), 7, volume), (std::vector<int32_t>{60, 64, 61, 58, 61, 0, 0}));
}

TEST(NoteCut, CutsOnTickYOnly) {
    PlayPtr play = start_rows({note_cell(49, 1, 0, 0x0E, 0xC3)});
    ASSERT_TRUE(play);
    EXPECT_EQ(tick_values(play.get(), 6, volume), (std::vector<int32_t>{64, 64, 64, 0, 0, 0}));
    play = start_rows({note_cell(49, 1, 0, 0x0E, 0xC0)});
    ASSERT_TRUE(play);
    EXPECT_EQ(tick_values(play.get(), 6, volume), std::vector<int32_t>(6, 64));
}

TEST(Panning, SetAndSlide) {
    PlayPtr play = start_rows({note_cell(49, 1, 0, 0x08, 0x40), note_cell(0, 0, 0, 0x0E, 0x8C),
                               note_cell(0, 0, 0, 0x19, 0x0F), note_cell(0, 0, 0, 0x19, 0x00),
                               note_cell(0, 0, 0, 0x19, 0x0F), note_cell(0, 0, 0, 0x0E, 0x8F),
                               note_cell(0, 0, 0, 0x19, 0xF0)});
    ASSERT_TRUE(play);
    run_ticks(play.get(), 1);
    EXPECT_EQ(panning(play.get()), 64);
    EXPECT_TRUE(play->channels[0].update_flags & PANNING);
    run_ticks(play.get(), 5);
    std::vector<int32_t> pannings = tick_values(play.get(), 36, panning);
    std::vector<int32_t> expected = {192, 192, 192, 192, 192, 192,  // E8C
                                     192, 177, 162, 147, 132, 117,  // P0F
                                     117, 102, 87,  72,  57,  42,   // P00 repeats
                                     42,  27,  12,  0,   0,   0,    // stops at 0
                                     240, 240, 240, 240, 240, 240,  // E8F
                                     240, 255, 255, 255, 255, 255};
    EXPECT_EQ(pannings, expected);
}

TEST(Panning, SlideWithoutParameterRequestsNothingOnTheFirstTick) {
    PlayPtr play = start_rows({note_cell(49, 1), note_cell(0, 0, 0, 0x19, 0x00), note_cell(0, 0, 0, 0x19, 0x01)});
    ASSERT_TRUE(play);
    run_ticks(play.get(), 7);
    EXPECT_FALSE(play->channels[0].update_flags & PANNING);
    run_ticks(play.get(), 6);
    EXPECT_TRUE(play->channels[0].update_flags & PANNING);
}

}  // namespace
