// Periods, frequencies, volumes, panning, envelopes, fadeout, auto-vibrato and
// the twin-voice switch, on records set up directly.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "player/module/song.h"
#include "player/output/mixer.h"
#include "player/replay/play_state.h"
#include "player/replay/channel.h"
#include "player/replay/voice_update.h"

using namespace korvanti;

namespace {

// A play's clean voice table (as every start leaves it) and one channel on
// voice 0, at 44100 Hz.
struct VoiceUpdateTest : ::testing::Test {
    Song song{};
    std::unique_ptr<PlayState> play{new PlayState()};
    Voice* voice_table = play->voice_table;
    Channel channel{};
    Sample sample{};
    Instrument instrument{};
    std::vector<int16_t> data;
    MixerSettings mixer = mixer_settings_for_rate(44100);

    void SetUp() override {
        voices_reset(voice_table);
        play->song = &song;
        play->mixing_rate = 44100;
        play->global_volume = 64;
        song.flags = SONG_LINEAR_FREQUENCIES;
        channel.voice = &voice_table[0];
        data.assign(3000 + 8, 0);
        sample.data = data.data();
        sample.length = 3000;
        sample.loop_start = 0;
        sample.loop_length = 3000;
        sample.loop_type = LOOP_NONE;
        sample.volume = 64;
        sample.panning = 128;
        sample.bits = 16;
    }

    // What process_row and the later ticks do around the voice update.
    void tick() {
        channel_step_envelopes(&channel, &instrument);
        fadeout_step(&channel, &instrument);
        auto_vibrato(&channel, &instrument);
        update_voice(play.get(), &channel, &sample);
        channel.update_flags = 0;
        channel.period_delta = 0;
    }
};

TEST(Periods, LinearAndAmigaTables) {
    EXPECT_EQ(linear_period(48, 0), 4608);
    EXPECT_EQ(linear_period(49, 0), 4544);
    EXPECT_EQ(linear_period(48, 127), 4608 - 63);  // the halving truncates toward zero
    EXPECT_EQ(linear_period(48, -127), 4608 + 63);

    EXPECT_EQ(amiga_period(48, 0), 1712);
    EXPECT_EQ(amiga_period(48, 127), 1616);
    EXPECT_EQ(amiga_period(48, -128), 1813);
    EXPECT_EQ(amiga_period(49, 0), 1615);
    EXPECT_EQ(amiga_period(0, 0), 27392);
    EXPECT_EQ(amiga_period(95, 0), 113);
    // Note 0 with a negative finetune still takes the semitone above
    // (27392 + 1538 * 64 / 128), not the one below (which would give 28206).
    EXPECT_EQ(amiga_period(0, -64), 28161);
    // Far outside the notes a period stays a number instead of overflowing.
    EXPECT_EQ(linear_period(INT32_MIN, 0), INT32_MAX);
    EXPECT_GT(amiga_period(-100000, 0), 0);
}

TEST_F(VoiceUpdateTest, FrequencyAndStepOfMiddleNote) {
    channel.period = linear_period(48, 0);
    channel.update_flags = FREQUENCY;
    update_voice(play.get(), &channel, &sample);
    EXPECT_EQ(voice_table[0].frequency, 8363);
    EXPECT_EQ(voice_table[0].step_int, 0);
    EXPECT_EQ(voice_table[0].step_frac, 814485521u);

    song.flags = 0;
    channel.period = amiga_period(48, 0);
    channel.update_flags = FREQUENCY;
    update_voice(play.get(), &channel, &sample);
    EXPECT_EQ(voice_table[0].frequency, 8362);
    EXPECT_EQ(voice_table[0].step_frac, 814388129u);
}

TEST_F(VoiceUpdateTest, LinearNeighboursAndDeltaDirection) {
    const int32_t expected[][2] = {{49, 8860}, {47, 7893}};
    for (const auto& note : expected) {
        channel.period = linear_period(note[0], 0);
        channel.update_flags = FREQUENCY;
        update_voice(play.get(), &channel, &sample);
        EXPECT_EQ(voice_table[0].frequency, note[1]) << "note " << note[0];
    }
    // A positive delta raises the pitch with the linear table, lowers it with Amiga.
    channel.period = 4608;
    channel.period_delta = 64;
    channel.update_flags = FREQUENCY;
    update_voice(play.get(), &channel, &sample);
    EXPECT_EQ(voice_table[0].frequency, 8860);
    song.flags = 0;
    channel.period = 1712;
    channel.period_delta = 100;
    channel.update_flags = FREQUENCY;
    update_voice(play.get(), &channel, &sample);
    EXPECT_EQ(voice_table[0].frequency, 14317056 / 1812);
}

TEST_F(VoiceUpdateTest, LowFrequenciesAreSteppedAt100Hz) {
    song.flags = 0;
    channel.period = 150000;
    channel.period_delta = 50000;
    channel.update_flags = FREQUENCY;
    update_voice(play.get(), &channel, &sample);
    EXPECT_EQ(voice_table[0].frequency, 71);
    EXPECT_EQ(voice_table[0].step_int, 0);
    // 100 Hz at 44100: (100 * 2^32 + 0) / 44100.
    EXPECT_EQ(voice_table[0].step_frac, (uint32_t)((uint64_t{100} << 32) / 44100));

    // A negative Amiga period gives a negative frequency, also stepped as 100 Hz.
    channel.period = -1712;
    channel.period_delta = 0;
    channel.update_flags = FREQUENCY;
    update_voice(play.get(), &channel, &sample);
    EXPECT_EQ(voice_table[0].frequency, -8362);
    EXPECT_EQ(voice_table[0].step_frac, (uint32_t)((uint64_t{100} << 32) / 44100));

    // A period sum of 0 leaves the frequency as it was.
    channel.period = 5;
    channel.period_delta = -5;
    channel.update_flags = FREQUENCY;
    update_voice(play.get(), &channel, &sample);
    EXPECT_EQ(voice_table[0].frequency, -8362);
}

TEST_F(VoiceUpdateTest, StepOfHighFrequencyCarriesIntoWholeFrames) {
    channel.period = linear_period(48 + 36, 0);  // three octaves up: 66904 Hz
    channel.update_flags = FREQUENCY;
    update_voice(play.get(), &channel, &sample);
    int32_t f = voice_table[0].frequency;
    EXPECT_EQ(f, 8363 * 8);
    EXPECT_EQ(voice_table[0].step_int, f / 44100);
    uint64_t numerator = ((uint64_t)(f % 44100) << 32) + (uint64_t)(f / 44100);
    EXPECT_EQ(voice_table[0].step_frac, (uint32_t)(numerator / 44100));
}

TEST_F(VoiceUpdateTest, ExtremePeriodsKeepTheFrequencyInRange) {
    // Unlimited slides: the exact frequency would not fit 32 bits.
    // (4608 - period) + period_delta is about 4e9, beyond 32 bits.
    channel.period = -2000000000;
    channel.period_delta = 1999999999;
    channel.update_flags = FREQUENCY;
    update_voice(play.get(), &channel, &sample);
    EXPECT_EQ(voice_table[0].frequency, INT32_MAX);
    EXPECT_EQ(voice_table[0].step_int, INT32_MAX / 44100);

    channel.period = INT32_MAX;
    channel.period_delta = INT32_MIN;
    channel.update_flags = FREQUENCY;
    update_voice(play.get(), &channel, &sample);
    EXPECT_EQ(voice_table[0].frequency, 0);
    EXPECT_EQ(voice_table[0].step_int, 0);
}

TEST_F(VoiceUpdateTest, FinalVolumeAndGains) {
    channel.volume = 64;
    channel.volume_envelope_value = 64;
    channel.fadeout_volume = 65536;
    channel.panning = 128;
    channel.panning_envelope_value = 32;
    channel.update_flags = VOLUME | PANNING;
    update_voice(play.get(), &channel, &sample);
    const Voice& v = voice_table[0];
    EXPECT_EQ(v.volume, 127);
    EXPECT_EQ(v.volume_copy, 127);
    EXPECT_EQ(v.panning, 128);
    // Both gain pairs use the new volume and the new panning.
    EXPECT_EQ(v.left_volume, 127 * 128 / 255);
    EXPECT_EQ(v.right_volume, 127 * 127 / 255);

    channel.volume = 32;
    channel.update_flags = VOLUME;
    update_voice(play.get(), &channel, &sample);
    EXPECT_EQ(v.volume, 63);
    EXPECT_EQ(v.left_volume, 63 * 128 / 255);

    // volume_delta takes part; global volume scales.
    channel.volume_delta = -16;
    play->global_volume = 32;
    channel.update_flags = VOLUME;
    update_voice(play.get(), &channel, &sample);
    EXPECT_EQ(v.volume, 15);  // 16 * 64 * 65536 * 32 * 255 / 2^35 = 15.9
}

TEST_F(VoiceUpdateTest, HugeVolumesDoNotOverflow) {
    channel.volume = INT32_MAX;
    channel.volume_delta = INT32_MAX;
    channel.volume_envelope_value = 64;
    channel.fadeout_volume = 65536;
    play->global_volume = 64;
    channel.panning = 255;
    channel.update_flags = VOLUME | PANNING;
    update_voice(play.get(), &channel, &sample);
    EXPECT_EQ(voice_table[0].volume, INT32_MAX);
    EXPECT_EQ(voice_table[0].left_volume, INT32_MAX);
    EXPECT_EQ(voice_table[0].right_volume, 0);
}

TEST_F(VoiceUpdateTest, PanningEnvelope) {
    channel.volume = 64;
    channel.volume_envelope_value = 64;
    channel.fadeout_volume = 65536;
    struct Case {
        int32_t panning, envelope, expected;
    };
    const Case cases[] = {{128, 64, 255}, {128, 0, 0}, {0, 64, 0}, {0, 0, 0},
                          {255, 0, 255}, {128, 32, 128}, {64, 40, 80}, {200, 20, 188}};
    for (const Case& c : cases) {
        channel.panning = c.panning;
        channel.panning_envelope_value = c.envelope;
        channel.update_flags = PANNING;
        update_voice(play.get(), &channel, &sample);
        EXPECT_EQ(voice_table[0].panning, c.expected) << c.panning << " " << c.envelope;
        EXPECT_EQ(voice_table[0].panning_copy, c.expected);
    }
}

TEST_F(VoiceUpdateTest, SustainThenKeyOffEnvelope) {
    instrument.volume_envelope[0] = {0, 64};
    instrument.volume_envelope[1] = {10, 0};
    instrument.volume_point_count = 2;
    instrument.volume_sustain_point = 0;
    instrument.volume_envelope_flags = ENVELOPE_ON | ENVELOPE_SUSTAIN;
    reset_channel(&channel, &sample);
    for (int t = 0; t < 20; ++t) {
        tick();
        ASSERT_EQ(channel.volume_envelope_value, 64) << "tick " << t;
    }
    channel.released = 1;
    const int32_t expected[] = {64, 57, 51, 44, 38, 32, 25, 19, 12, 6, 0};
    for (int32_t value : expected) {
        ASSERT_FALSE(channel.volume_envelope_done);
        channel_step_envelopes(&channel, &instrument);
        EXPECT_EQ(channel.volume_envelope_value, value);
        EXPECT_TRUE(channel.update_flags & VOLUME);
        channel.update_flags = 0;
    }
    EXPECT_TRUE(channel.volume_envelope_done);
    // A done envelope is no longer stepped.
    channel_step_envelopes(&channel, &instrument);
    EXPECT_EQ(channel.volume_envelope_value, 0);
    EXPECT_EQ(channel.update_flags & VOLUME, 0);
}

TEST_F(VoiceUpdateTest, EnvelopeLoopNeverEnds) {
    // Loop from point 1 to the last point 2: the end check never fires.
    instrument.panning_envelope[0] = {0, 32};
    instrument.panning_envelope[1] = {2, 0};
    instrument.panning_envelope[2] = {4, 64};
    instrument.panning_point_count = 3;
    instrument.panning_loop_start = 1;
    instrument.panning_loop_end = 2;
    instrument.panning_envelope_flags = ENVELOPE_ON | ENVELOPE_LOOP;
    reset_channel(&channel, &sample);
    std::vector<int32_t> values;
    for (int t = 0; t < 9; ++t) {
        channel_step_envelopes(&channel, &instrument);
        values.push_back(channel.panning_envelope_value);
    }
    EXPECT_EQ(values, (std::vector<int32_t>{32, 16, 0, 32, 0, 32, 0, 32, 0}));
    EXPECT_FALSE(channel.panning_envelope_done);
}

TEST_F(VoiceUpdateTest, HostileEnvelopesStayInsideTheirTables) {
    // Indices beyond the points and beyond the table, x that do not increase,
    // a point count above 12 and y that overflow 16.16.
    for (int variant = 0; variant < 64; ++variant) {
        Instrument hostile{};
        for (int p = 0; p < 12; ++p) {
            hostile.volume_envelope[p] = {(uint16_t)(variant & 1 ? 5 : 60 - 5 * p),
                                          (uint16_t)(variant & 2 ? 65535 - p : p * 3)};
        }
        hostile.volume_point_count = (uint8_t)(variant & 4 ? 255 : 12);
        hostile.volume_sustain_point = (uint8_t)(variant & 8 ? 200 : 11);
        hostile.volume_loop_start = (uint8_t)(variant & 16 ? 255 : 11);
        hostile.volume_loop_end = (uint8_t)(variant & 32 ? 11 : 0);
        hostile.volume_envelope_flags = ENVELOPE_ON | ENVELOPE_SUSTAIN | ENVELOPE_LOOP;
        hostile.panning_envelope_flags = 0;
        Channel c{};
        c.voice = &voice_table[0];
        reset_channel(&c, &sample);
        for (int t = 0; t < 300; ++t) {
            if (t == 100) c.released = 1;
            channel_step_envelopes(&c, &hostile);
        }
        EXPECT_GE(c.volume_envelope_point, 0);
        EXPECT_LT(c.volume_envelope_point, 12) << "variant " << variant;
    }
    // Every point at x 0 except the last: segments of zero width have slope 0.
    Instrument flat{};
    flat.volume_envelope[0] = {0, 10};
    flat.volume_envelope[1] = {0, 50};
    flat.volume_envelope[2] = {0, 20};
    flat.volume_point_count = 3;
    flat.volume_envelope_flags = ENVELOPE_ON;
    reset_channel(&channel, &sample);
    channel_step_envelopes(&channel, &flat);
    EXPECT_EQ(channel.volume_envelope_value, 10);
    EXPECT_EQ(channel.volume_envelope_slope, 0);
    // Tick 1 never meets x 0 again: the envelope holds at 10 from then on.
    for (int t = 0; t < 5; ++t) channel_step_envelopes(&channel, &flat);
    EXPECT_EQ(channel.volume_envelope_value, 10);
    EXPECT_FALSE(channel.volume_envelope_done);
}

TEST_F(VoiceUpdateTest, FadeoutSilencesAfter128Ticks) {
    instrument.fadeout = 512;
    reset_channel(&channel, &sample);
    channel.released = 1;
    for (int t = 0; t < 127; ++t) fadeout_step(&channel, &instrument);
    EXPECT_EQ(channel.fadeout_volume, 512);
    channel.update_flags = 0;
    fadeout_step(&channel, &instrument);
    EXPECT_EQ(channel.fadeout_volume, 0);
    EXPECT_TRUE(channel.update_flags & VOLUME);
    fadeout_step(&channel, &instrument);
    EXPECT_EQ(channel.fadeout_volume, 0);  // not below 0

    channel.released = 0;
    channel.fadeout_volume = 65536;
    channel.update_flags = 0;
    fadeout_step(&channel, &instrument);
    EXPECT_EQ(channel.fadeout_volume, 65536);
    EXPECT_EQ(channel.update_flags, 0);
}

TEST_F(VoiceUpdateTest, AutoVibratoSweepAndWaveforms) {
    instrument.vibrato_type = 1;  // square: +64 for the first half cycle
    instrument.vibrato_depth = 16;
    instrument.vibrato_rate = 1;
    instrument.vibrato_sweep = 8;
    reset_channel(&channel, &sample);
    std::vector<int32_t> deltas;
    for (int t = 0; t <= 9; ++t) {
        channel.period_delta = 0;
        channel.update_flags = 0;
        auto_vibrato(&channel, &instrument);
        EXPECT_TRUE(channel.update_flags & FREQUENCY);
        deltas.push_back(channel.period_delta);
    }
    // Full depth is 64 * 16 >> 6 = 16, reached on the eighth tick after the reset.
    EXPECT_EQ(deltas, (std::vector<int32_t>{0, 2, 4, 6, 8, 10, 12, 14, 16, 16}));

    // Sweep 0: full depth at once; negative amounts shift arithmetically.
    instrument.vibrato_sweep = 0;
    instrument.vibrato_type = 2;  // falling ramp
    reset_channel(&channel, &sample);
    channel.auto_vibrato_position = 127;
    channel.period_delta = 0;
    auto_vibrato(&channel, &instrument);
    EXPECT_EQ(channel.period_delta, (-64 * 16) >> 6);  // -16

    // Sine at a quarter cycle: trunc(sin(64 * 0.024543688f) * 64) = 63.
    instrument.vibrato_type = 0;
    instrument.vibrato_depth = 64;
    channel.auto_vibrato_position = 64;
    channel.period_delta = 0;
    auto_vibrato(&channel, &instrument);
    EXPECT_EQ(channel.period_delta, 63 * 64 >> 6);

    // Rising ramp at 129 is -64; the phase wraps past 255.
    instrument.vibrato_type = 3;
    instrument.vibrato_depth = 64;
    instrument.vibrato_rate = 200;
    channel.auto_vibrato_position = 129;
    channel.period_delta = 0;
    auto_vibrato(&channel, &instrument);
    EXPECT_EQ(channel.period_delta, -64);
    EXPECT_EQ(channel.auto_vibrato_position, 129 + 200 - 256);

    // A type without a waveform adds nothing but still moves the phase.
    instrument.vibrato_type = 7;
    channel.auto_vibrato_position = 10;
    channel.period_delta = 0;
    auto_vibrato(&channel, &instrument);
    EXPECT_EQ(channel.period_delta, 0);
    EXPECT_EQ(channel.auto_vibrato_position, 210);
}

TEST_F(VoiceUpdateTest, NewNoteWhileSoundingMovesToTheTwin) {
    channel.period = 4608;
    channel.volume = 64;
    channel.volume_envelope_value = 64;
    channel.fadeout_volume = 65536;
    channel.panning = 128;
    channel.panning_envelope_value = 32;
    channel.update_flags = TRIGGER | VOLUME | PANNING | FREQUENCY;
    voice_table[0].start_offset = 100;
    update_voice(play.get(), &channel, &sample);
    ASSERT_EQ(channel.voice, &voice_table[0]);
    EXPECT_EQ(voice_table[0].sample, &sample);
    EXPECT_EQ(voice_table[0].position_int, 100u);
    EXPECT_EQ(voice_table[0].start_offset, 0);

    float buffer[2 * 300] = {};
    voice_table[0].position_frac = 12345;
    mix_voices(voice_table, mixer, 0, buffer, 300);
    const Voice old = voice_table[0];

    channel.update_flags = TRIGGER | VOLUME | PANNING | FREQUENCY;
    update_voice(play.get(), &channel, &sample);
    ASSERT_EQ(channel.voice, &voice_table[32]);
    const Voice& twin = voice_table[32];
    const Voice& left = voice_table[0];
    EXPECT_EQ(twin.index, 32);
    EXPECT_EQ(twin.position_int, 0u);
    EXPECT_EQ(twin.left_level, 0);
    EXPECT_EQ(twin.ramp_frames, 0);
    EXPECT_EQ(twin.volume, 127);
    EXPECT_EQ(twin.left_volume, old.left_volume);
    EXPECT_EQ(twin.step_frac, old.step_frac);
    // The voice left behind keeps its sample, position and levels, with zero targets.
    EXPECT_EQ(left.index, 0);
    EXPECT_EQ(left.sample, &sample);
    EXPECT_EQ(left.position_int, old.position_int);
    EXPECT_EQ(left.position_frac, old.position_frac);
    EXPECT_EQ(left.left_level, old.left_level);
    EXPECT_EQ(left.volume, 0);
    EXPECT_EQ(left.volume_copy, 0);
    EXPECT_EQ(left.left_volume, 0);
    EXPECT_EQ(left.right_volume, 0);

    // And back on the next note.
    mix_voices(voice_table, mixer, 0, buffer, 10);
    channel.update_flags = TRIGGER;
    update_voice(play.get(), &channel, &sample);
    EXPECT_EQ(channel.voice, &voice_table[0]);
    EXPECT_EQ(voice_table[0].index, 0);
    EXPECT_EQ(voice_table[32].left_volume, 0);

    // An idle voice is reused in place.
    Channel quiet{};
    quiet.voice = &voice_table[5];
    quiet.update_flags = TRIGGER;
    update_voice(play.get(), &quiet, &sample);
    EXPECT_EQ(quiet.voice, &voice_table[5]);
    EXPECT_EQ(voice_table[37].sample, nullptr);
}

TEST_F(VoiceUpdateTest, StartOffsetAndResetPosition) {
    // An offset at or beyond the loop end starts from frame 0.
    voice_table[0].start_offset = 3000;
    channel.update_flags = TRIGGER;
    update_voice(play.get(), &channel, &sample);
    EXPECT_EQ(voice_table[0].position_int, 0u);
    EXPECT_EQ(voice_table[0].direction, 1);

    // 9xx beyond the loop end: no TRIGGER but RESET_POSITION; the playing
    // voice goes back to frame 0 of its own sample.
    Sample other = sample;
    voice_table[0].position_int = 1234;
    voice_table[0].position_frac = 99;
    voice_table[0].start_offset = 4096;
    channel.update_flags = RESET_POSITION;
    update_voice(play.get(), &channel, &other);
    EXPECT_EQ(channel.voice, &voice_table[0]);
    EXPECT_EQ(voice_table[0].sample, &sample);
    EXPECT_EQ(voice_table[0].position_int, 0u);
    EXPECT_EQ(voice_table[0].position_frac, 0u);
    EXPECT_EQ(voice_table[0].start_offset, 0);
}

TEST(ChannelState, ChoiceOfInstrumentAndSample) {
    Sample own{};
    own.length = 10;
    Instrument instruments[2] = {};
    instruments[1].sample_count = 1;
    instruments[1].samples[0] = &own;
    for (int s = 1; s < 16; ++s) instruments[1].samples[s] = &empty_sample;
    instruments[1].keymap[40] = 0;
    instruments[1].keymap[41] = 16;
    instruments[1].keymap[42] = 3;
    Song song{};
    song.instruments = instruments;
    song.instrument_count = 2;
    Channel channel{};
    channel.instrument = 1;

    channel.note = 40;
    ChannelSource source = channel_choose_sample(&channel, &song);
    EXPECT_EQ(source.instrument, &instruments[1]);
    EXPECT_EQ(source.sample, &own);

    const int notes[] = {41, 42, 96, 200, 255};
    for (int note : notes) {
        channel.note = (uint8_t)note;
        source = channel_choose_sample(&channel, &song);
        EXPECT_EQ(source.instrument, &instruments[1]) << note;
        EXPECT_EQ(source.sample, &empty_sample) << note;
    }
    EXPECT_EQ(empty_sample.data, nullptr);

    channel.note = 40;
    channel.instrument = 2;  // beyond instrument_count
    source = channel_choose_sample(&channel, &song);
    EXPECT_EQ(source.instrument, &empty_instrument);
    EXPECT_EQ(source.sample, &empty_sample);
}

TEST(ChannelState, ResetLoadsDefaultsAndKeepsWhatItDoesNotList) {
    Sample sample{};
    sample.volume = 40;
    sample.panning = 200;
    Channel channel{};
    channel.volume_envelope_fixed = 123456;
    channel.panning_envelope_fixed = -7;
    channel.volume_envelope_point = 3;
    channel.volume_envelope_done = 1;
    channel.released = 1;
    channel.fadeout_volume = 5;
    channel.vibrato_position = 20;
    channel.tremolo_position = -9;
    channel.tremor_counter = 3;
    channel.auto_vibrato_sweep = 4;
    channel.waveforms = 0x40;  // vibrato control 0, tremolo control 4
    channel.update_flags = FREQUENCY;
    channel.porta_speed = 7;
    reset_channel(&channel, &sample);
    EXPECT_EQ(channel.volume, 40);
    EXPECT_EQ(channel.panning, 200);
    EXPECT_EQ(channel.volume_envelope_value, 64);
    EXPECT_EQ(channel.panning_envelope_value, 32);
    EXPECT_EQ(channel.volume_envelope_point, 0);
    EXPECT_EQ(channel.volume_envelope_done, 0);
    EXPECT_EQ(channel.volume_envelope_fixed, 123456);
    EXPECT_EQ(channel.panning_envelope_fixed, -7);
    EXPECT_EQ(channel.released, 0);
    EXPECT_EQ(channel.fadeout_volume, 65536);
    EXPECT_EQ(channel.auto_vibrato_sweep, 0);
    EXPECT_EQ(channel.tremor_counter, 0);
    EXPECT_EQ(channel.vibrato_position, 0);
    EXPECT_EQ(channel.tremolo_position, -9);
    EXPECT_EQ(channel.update_flags, FREQUENCY | VOLUME | PANNING);
    EXPECT_EQ(channel.porta_speed, 7);

    channel.waveforms = 0x04;
    channel.vibrato_position = 12;
    reset_channel(&channel, &sample);
    EXPECT_EQ(channel.vibrato_position, 12);
    EXPECT_EQ(channel.tremolo_position, 0);
}

}  // namespace
