// The mixer's rules on voices set up by hand: exact sums, one-shot ends, ramps,
// loops, the voices that are never mixed, clipping, and voices in states the
// replay never produces (which must stay inside their data and end).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "mixer_fixture.h"
#include "player/output/mixer_loops.h"

using namespace korvanti;

namespace {

constexpr float C = 1.0f / 255;

std::vector<int16_t> random_values(size_t count, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> value(-32768, 32767);
    std::vector<int16_t> values(count);
    for (auto& v : values) v = (int16_t)value(rng);
    values[0] = -32768;
    values[1] = 32767;
    return values;
}

TEST_F(MixerTest, UnitStepAddsTheSampleValuesExactly) {
    auto values = random_values(1000, 1);
    auto s = make_sample(values, LOOP_FORWARD, 0, 1000);
    start_voice(3, &s->sample);
    std::vector<float> frames(2 * 999, 0.5f);  // mixing adds to what is there
    mix(frames.data(), 999);
    for (int k = 0; k < 999; ++k) {
        ASSERT_EQ(frames[2 * k], (float)values[k] + 0.5f) << k;
        ASSERT_EQ(frames[2 * k + 1], (float)values[k] + 0.5f) << k;
    }
    EXPECT_EQ(voice_table[3].position_int, 999u);
    EXPECT_EQ(voice_table[3].ramp_frames, 0);
}

TEST_F(MixerTest, OneShotPlaysExactlyItsLengthThenIdles) {
    const uint32_t lengths[] = {1, 2, 3, 37, 884};
    for (uint32_t length : lengths) {
        reset_voices();
        auto values = random_values(length + 2, length);
        values.resize(length);
        auto s = make_sample(values, LOOP_NONE);
        Voice* v = start_voice(0, &s->sample);
        std::vector<float> frames(2 * (length + 40), 0.0f);
        // Split into calls of 7 frames so that the end falls inside a call.
        for (uint32_t done = 0; done < length + 40; done += 7) {
            mix(frames.data() + 2 * done, (int32_t)std::min<uint32_t>(7, length + 40 - done));
        }
        for (uint32_t k = 0; k < length + 40; ++k) {
            float expected = k < length ? (float)values[k] : 0.0f;
            ASSERT_EQ(frames[2 * k], expected) << length << " frame " << k;
        }
        EXPECT_EQ(v->sample, nullptr);
        EXPECT_EQ(v->position_int, 0u);
        EXPECT_EQ(v->position_frac, 0u);
    }
}

TEST_F(MixerTest, EmptySampleEndsWithoutReading) {
    Voice* v = start_voice(0, &empty_sample);
    v->left_level = v->right_level = 0;  // a new note: a ramp is set up, no frame mixed
    std::vector<float> frames(2 * 16, 0.0f);
    mix(frames.data(), 16);
    EXPECT_EQ(v->sample, nullptr);
    EXPECT_EQ(v->position_int, 0u);
    for (float f : frames) EXPECT_EQ(f, 0.0f);
}

TEST_F(MixerTest, RampFromSilenceToFull) {
    auto s = make_sample(std::vector<int16_t>(400, 1000), LOOP_FORWARD, 0, 400);
    Voice* v = start_voice(0, &s->sample);
    v->left_level = v->right_level = 0;
    v->right_volume = 0;  // only the left side ramps
    std::vector<float> frames(2 * 200, 0.0f);
    mix(frames.data(), 200);
    EXPECT_EQ(v->left_ramp_step, 0.0f);  // cleared at the ramp's end
    for (int k = 0; k < 128; ++k) {
        ASSERT_EQ(frames[2 * k], 1000.0f * (float)k / 128) << k;
        ASSERT_EQ(frames[2 * k + 1], 0.0f);
    }
    for (int k = 128; k < 200; ++k) ASSERT_EQ(frames[2 * k], 1000.0f) << k;
    EXPECT_EQ(v->left_level, 65280);
    EXPECT_EQ(v->right_level, 0);
    EXPECT_EQ(v->ramp_frames, 0);
    EXPECT_EQ(v->ramp_left_target, 255);
}

TEST_F(MixerTest, InterruptedRampGoesOnFromTheStoredLevel) {
    auto s = make_sample(std::vector<int16_t>(400, 1000), LOOP_FORWARD, 0, 400);
    Voice* v = start_voice(0, &s->sample);
    v->left_level = v->right_level = 0;
    std::vector<float> frames(2 * 128, 0.0f);
    mix(frames.data(), 50);
    // The gain after 50 frames is exactly 50/128; stored as a rounded 8.8 level.
    EXPECT_EQ(v->left_level, 25500);
    EXPECT_EQ(v->ramp_frames, 78);
    float step = v->left_ramp_step;
    EXPECT_EQ(step, 1.0f / 128);

    mix(frames.data() + 2 * 50, 78);
    double gain = (double)(float)(25500.0 * (1.0 / 256) * (double)C);
    for (int k = 50; k < 128; ++k) {
        ASSERT_EQ(frames[2 * k], (float)(1000.0 * gain)) << k;
        gain += (double)step;
    }
    EXPECT_EQ(v->ramp_frames, 0);
    EXPECT_EQ(v->left_level, 65280);

    // A target change in mid-ramp starts a new ramp from the level heard now.
    v->left_level = 0;
    v->left_volume = 255;
    v->ramp_left_target = 255;
    v->ramp_frames = 0;
    mix(frames.data(), 30);
    int32_t heard = v->left_level;
    v->left_volume = 10;
    mix(frames.data(), 1);
    EXPECT_EQ(v->ramp_left_target, 10);
    EXPECT_EQ(v->ramp_frames, 127);
    EXPECT_EQ(v->left_ramp_step,
              (float)((double)(10 - (heard >> 8)) * (double)C * (double)(1.0f / 128)));
}

TEST_F(MixerTest, RampOfNoFramesKeepsFractionalLevels) {
    auto s = make_sample(std::vector<int16_t>(400, 1000), LOOP_FORWARD, 0, 400);
    Voice* v = start_voice(0, &s->sample);
    v->left_level = 25500;  // floor(25500 / 256) = 99 = target: nothing to ramp
    v->left_volume = 99;
    v->right_level = 99 * 256;
    v->right_volume = 99;
    std::vector<float> frames(2 * 4, 0.0f);
    mix(frames.data(), 4);
    EXPECT_EQ(v->ramp_frames, 0);
    EXPECT_EQ(v->left_level, 25500);
    EXPECT_EQ(frames[0], (float)(1000.0 * (double)(float)(99.0 * (double)C)));
}

TEST_F(MixerTest, ForwardLoopWrapKeepsTheFraction) {
    auto values = random_values(150, 7);
    auto s = make_sample(values, LOOP_FORWARD, 100, 50);
    Voice* v = start_voice(0, &s->sample, 149);
    v->position_frac = 0x80000000u;
    std::vector<float> frames(2 * 2, 0.0f);
    mix(frames.data(), 1);
    double x = (double)values[149] + 0.5 * ((double)values[100] - (double)values[149]);
    EXPECT_EQ(frames[0], (float)x);
    EXPECT_EQ(v->position_int, 100u);
    EXPECT_EQ(v->position_frac, 0x80000000u);
    EXPECT_EQ(v->direction, 1);
    mix(frames.data() + 2, 1);
    EXPECT_EQ(frames[2], (float)((double)values[100] + 0.5 * ((double)values[101] - values[100])));
}

TEST_F(MixerTest, PingPongReflectsAtTheEndAndTheStart) {
    auto values = random_values(150, 8);
    auto s = make_sample(values, LOOP_PINGPONG, 100, 50);
    Voice* v = start_voice(0, &s->sample, 149);
    v->position_frac = 0x80000000u;
    std::vector<float> frames(2 * 200, 0.0f);
    mix(frames.data(), 1);
    EXPECT_EQ(frames[0], (float)values[149]);  // the guard repeats the last frame
    EXPECT_EQ(v->position_int, 149u);
    EXPECT_EQ(v->position_frac, 0x7FFFFFFFu);
    EXPECT_EQ(v->direction, 2);
    // Backwards: bit 0 of the fraction is cleared before the step.
    mix(frames.data() + 2, 1);
    double f = (double)(0x7FFFFFFFu >> 1) / 2147483648.0;
    EXPECT_EQ(frames[2], (float)((double)values[149] + f * 0.0));
    EXPECT_EQ(v->position_int, 148u);
    EXPECT_EQ(v->position_frac, 0x7FFFFFFEu);
    // 49 more frames play 148 down to 100; the step after the last one ends at
    // 99 + 0x7FFFFFFE units and reflects at the start to 100 + 0x80000001.
    mix(frames.data() + 4, 49);
    EXPECT_EQ(frames[4 + 2 * 48], (float)((double)values[100] + f * ((double)values[101] - values[100])));
    EXPECT_EQ(v->position_int, 100u);
    EXPECT_EQ(v->position_frac, 0x80000001u);
    EXPECT_EQ(v->direction, 1);
}

// The table holds the voices of 32 channels and their twins, every one mixed.
TEST_F(MixerTest, EveryVoiceOfTheTableIsMixed) {
    auto s = make_sample(random_values(500, 9), LOOP_FORWARD, 0, 500);
    ASSERT_EQ(VOICE_COUNT, MIXED_VOICES);
    for (int index = 0; index < VOICE_COUNT; ++index) start_voice(index, &s->sample, 10);
    std::vector<float> frames(2 * 100, 0.0f);
    mix(frames.data(), 100);
    for (int index = 0; index < VOICE_COUNT; ++index) ASSERT_EQ(voice_table[index].position_int, 110u) << index;
}

TEST_F(MixerTest, NothingHappensForEmptyCalls) {
    auto s = make_sample(random_values(100, 10), LOOP_FORWARD, 0, 100);
    Voice* v = start_voice(0, &s->sample, 5);
    float frames[4] = {1, 2, 3, 4};
    mix(frames, 0);
    mix(frames, -5);
    EXPECT_EQ(v->position_int, 5u);
    EXPECT_EQ(frames[0], 1.0f);
    int16_t out[4] = {7, 7, 7, 7};
    clip_to_pcm16(settings, out, frames, 0);
    clip_to_pcm16(settings, out, nullptr, 2);
    clip_to_pcm16(settings, nullptr, frames, 2);
    EXPECT_EQ(out[0], 7);
}

// The loop sets this build and processor have, each in turn in the settings
// `check` mixes with.
template <typename Check>
void for_each_loop_set(Check check) {
    for (int kind = 0; kind < MIX_LOOP_COUNT; ++kind) {
        MixerSettings settings = mixer_settings_for_rate(44100);
        settings.loops = mix_loops_of(static_cast<MixLoop>(kind));
        if (settings.loops == nullptr) continue;
        SCOPED_TRACE(settings.loops->name);
        check(settings);
    }
}

TEST(Clip, RoundsTiesToEvenAndClamps) {
    const float in[] = {2.5f, 3.5f, -2.5f, 32767.5f, -40000.0f, 40000.0f, -32768.5f, -0.5f,
                        0.49999997f, 1.5f, -32767.5f, 12345.0f, INFINITY, -INFINITY, NAN, 0.0f,
                        -0.0f, 32766.5f, -32767.49f, 4194303.5f, -NAN, 1e30f, -1e-30f, 0.5f};
    const int16_t expected[] = {2, 4, -2, 32767, -32768, 32767, -32768, 0,
                                0, 2, -32768, 12345, 32767, -32768, 0, 0,
                                0, 32766, -32767, 32767, 0, 32767, 0, 0};
    for_each_loop_set([&](const MixerSettings& settings) {
        int16_t out[24] = {};
        clip_to_pcm16(settings, out, in, 12);
        for (int k = 0; k < 24; ++k) EXPECT_EQ(out[k], expected[k]) << "value " << in[k];
    });
}

// Every kind of float, in runs of every length (the converter takes eight
// values at a time and the rest one by one), against the plain rule: round to
// nearest with ties to even, then clamp; NaN gives 0.
TEST(Clip, MatchesPlainRoundingOnRandomFloats) {
    std::mt19937 rng(99);
    auto plain = [](float value) -> int16_t {
        if (value != value) return 0;
        float rounded = std::nearbyint(value);
        if (rounded <= -32768.0f) return -32768;
        if (rounded >= 32767.0f) return 32767;
        return (int16_t)rounded;
    };
    std::vector<float> in;
    for (int k = 0; k < 20000; ++k) {
        switch (rng() % 4) {
            case 0: {  // any bit pattern: NaNs, infinities, subnormals, huge values
                uint32_t bits = rng();
                float value;
                std::memcpy(&value, &bits, sizeof value);
                in.push_back(value);
                break;
            }
            case 1:  // halves, where the tie rule decides
                in.push_back((float)((int32_t)(rng() % 80000) - 40000) + 0.5f);
                break;
            case 2:  // just around the clamp limits
                in.push_back((rng() % 2 ? 32767.0f : -32768.0f) + (float)((int32_t)(rng() % 9) - 4) * 0.25f);
                break;
            default:  // the ordinary range
                in.push_back((float)((double)(int32_t)(rng() % 80000 - 40000) + (double)(rng() % 1000) / 1000.0));
                break;
        }
    }
    for_each_loop_set([&](const MixerSettings& settings) {
        size_t at = 0;
        for (int32_t frames = 1; at + 2 * (size_t)frames <= in.size(); frames = frames % 13 + 1) {
            std::vector<int16_t> out(2 * (size_t)frames + 1, 77);
            clip_to_pcm16(settings, out.data(), in.data() + at, frames);
            for (int32_t k = 0; k < 2 * frames; ++k) {
                ASSERT_EQ(out[(size_t)k], plain(in[at + (size_t)k])) << "value " << in[at + (size_t)k];
            }
            EXPECT_EQ(out.back(), 77) << "written past " << frames << " frames";
            at += 2 * (size_t)frames;
        }
    });
}

// Voices the replay never produces: huge steps in both directions, positions
// beyond the data, loops of no frames or beyond the sample. A sanitizer build
// sees any read outside the data; every call must also return.
TEST_F(MixerTest, HostileVoicesStayInsideTheirData) {
    std::mt19937 rng(1234);
    const uint32_t steps[] = {256, 257, 1000, 48695, 0x7FFFFFFF, 0xFFFFFFFF, 0x80000000u, 0, 1};
    const uint8_t loops[] = {LOOP_NONE, LOOP_FORWARD, LOOP_PINGPONG, 0, 6};
    int cases = 0;
    for (uint32_t step : steps) {
        for (uint8_t loop : loops) {
            for (int shape = 0; shape < 6; ++shape) {
                reset_voices();
                uint32_t length = 1 + rng() % 300;
                auto s = make_sample(random_values(length + 2, rng()), loop == 6 ? LOOP_FORWARD : loop,
                                     length / 3, length - length / 3);
                if (loop == 0) s->sample.loop_type = 0;
                if (shape == 1) s->sample.loop_length = 0;
                if (shape == 2) s->sample.loop_length = length * 5;  // beyond the data
                if (shape == 3) s->sample.loop_start = 0xFFFFFFF0u;  // end wraps
                Voice* v = start_voice((int)(rng() % 64), &s->sample, rng() % (length + 1));
                v->step_int = (int32_t)step;
                v->step_frac = rng();
                v->direction = shape == 4 ? 2 : 1;
                if (shape == 5) v->position_int = 0xFFFFFFFFu - rng() % 4;
                v->left_level = 0;
                std::vector<float> frames(2 * 600, 0.0f);
                for (int call = 0; call < 4 && v->sample; ++call) {
                    mix(frames.data(), 1 + (int32_t)(rng() % 600));
                }
                for (float f : frames) ASSERT_TRUE(std::isfinite(f));
                ++cases;
            }
        }
    }
    EXPECT_EQ(cases, 9 * 5 * 6);
}

}  // namespace
