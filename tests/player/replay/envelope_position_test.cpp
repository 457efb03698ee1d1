// Effect L: moving the volume envelope to a tick.
#include <gtest/gtest.h>

#include "player/replay/channel.h"
#include "replay_harness.h"

using namespace korvanti;

namespace {

// One channel playing a note with L`position` on an instrument whose volume
// envelope has `points` (switched on when `on`); one tick per row.
PlayPtr start_with_envelope(const std::vector<std::array<uint16_t, 2>>& points, bool on, uint8_t position) {
    XmModule module = replay_module(1, 4, 1, {0});
    module.instruments[0].volume_envelope.points = points;
    module.instruments[0].volume_envelope.flags = on ? 1 : 0;
    put(module, 0, 0, 0, note_cell(49, 1, 0, 0x15, position));
    return start_replay(module);
}

const std::vector<std::array<uint16_t, 2>> THREE_POINTS = {{{0, 64}}, {{10, 0}}, {{20, 32}}};

TEST(EnvelopePosition, InsideASegment) {
    PlayPtr play = start_with_envelope(THREE_POINTS, true, 5);
    ASSERT_TRUE(play);
    run_ticks(play.get(), 1);
    const Channel& channel = play->channels[0];
    EXPECT_EQ(channel.volume_envelope_point, 1);
    EXPECT_EQ(channel.volume_envelope_tick, 5);
    EXPECT_EQ(channel.volume_envelope_slope, -419430);  // (0 - 64 << 16) / 10
    EXPECT_EQ(channel.volume_envelope_fixed, 4194304 - 5 * 419430);
    EXPECT_EQ(channel.volume_envelope_value, 32);
    EXPECT_EQ(channel.volume_envelope_done, 0);
    // The envelope goes on from there.
    std::vector<int32_t> values = tick_values(play.get(), 6, [](const PlayState* p) { return p->channels[0].volume_envelope_value; });
    EXPECT_EQ(values, (std::vector<int32_t>{25, 19, 12, 6, 0, 0}));
    EXPECT_EQ(channel.volume_envelope_point, 2);
}

TEST(EnvelopePosition, SegmentEndsAndStart) {
    PlayPtr play = start_with_envelope(THREE_POINTS, true, 10);
    ASSERT_TRUE(play);
    run_ticks(play.get(), 1);
    EXPECT_EQ(play->channels[0].volume_envelope_point, 1);
    EXPECT_EQ(play->channels[0].volume_envelope_fixed, 4);
    EXPECT_EQ(play->channels[0].volume_envelope_value, 0);

    play = start_with_envelope(THREE_POINTS, true, 0);
    ASSERT_TRUE(play);
    run_ticks(play.get(), 1);
    EXPECT_EQ(play->channels[0].volume_envelope_point, 1);
    EXPECT_EQ(play->channels[0].volume_envelope_tick, 0);
    EXPECT_EQ(play->channels[0].volume_envelope_value, 64);
}

TEST(EnvelopePosition, BeyondTheLastPointEndsTheEnvelope) {
    PlayPtr play = start_with_envelope(THREE_POINTS, true, 25);
    ASSERT_TRUE(play);
    run_ticks(play.get(), 1);
    EXPECT_EQ(play->channels[0].volume_envelope_point, 2);
    EXPECT_EQ(play->channels[0].volume_envelope_value, 32);
    EXPECT_EQ(play->channels[0].volume_envelope_done, 1);
    run_ticks(play.get(), 3);
    EXPECT_EQ(play->channels[0].volume_envelope_value, 32);

    // A full table of twelve points: the search stops at the last one.
    std::vector<std::array<uint16_t, 2>> twelve;
    for (uint16_t k = 0; k < 12; ++k) twelve.push_back({static_cast<uint16_t>(k * 10), static_cast<uint16_t>(k * 5)});
    play = start_with_envelope(twelve, true, 0xFF);
    ASSERT_TRUE(play);
    run_ticks(play.get(), 1);
    EXPECT_EQ(play->channels[0].volume_envelope_point, 11);
    EXPECT_EQ(play->channels[0].volume_envelope_value, 55);
    EXPECT_EQ(play->channels[0].volume_envelope_done, 1);
}

TEST(EnvelopePosition, NothingWhenTheEnvelopeIsOff) {
    PlayPtr play = start_with_envelope(THREE_POINTS, false, 5);
    ASSERT_TRUE(play);
    run_ticks(play.get(), 1);
    EXPECT_EQ(play->channels[0].volume_envelope_point, 0);
    EXPECT_EQ(play->channels[0].volume_envelope_tick, 0);
    EXPECT_EQ(play->channels[0].volume_envelope_value, 64);
}

}  // namespace
