// mix_voices against a deliberately plain mixer written here from the rules:
// one frame at a time, the loop point and the ramp found per segment exactly
// as described, the loops repeated literally. Many random voices (steps,
// loops, ramps in progress, retargeting between calls, call lengths) must give
// the same float bits and the same voice records.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

#include "mixer_fixture.h"
#include "player/output/mixer_loops.h"

using namespace korvanti;

namespace {

const float C = 1.0f / 255;

// How often the plain mixer met each situation, so that the comparison is
// known to cover them.
struct Coverage {
    int64_t ramp_frames = 0, steady_frames = 0, silent_frames = 0, ramp_cuts = 0, ramps_carried = 0;
    int64_t wraps = 0, reflections = 0, one_shot_ends = 0, stray_reads = 0;
};
Coverage coverage;

double reference_value(const Sample* s, uint32_t i) {
    // The plain mixer reads 0 outside the data, as mix_voices does for a
    // voice that strays (which a consistent voice never does).
    uint64_t available = s->data ? (uint64_t)s->length + 8 : 0;
    if (i >= available) ++coverage.stray_reads;
    return i < available ? (double)s->data[i] : 0.0;
}

void reference_mix_voice(Voice& v, float* out, int32_t count, const MixerSettings& settings) {
    int32_t remaining = count;
    for (int guard = 0; guard < 100000; ++guard) {
        const Sample* s = v.sample;
        uint32_t start = s->loop_start;
        uint32_t end = s->loop_start + s->loop_length;
        uint64_t position = (uint64_t)v.position_int * 4294967296u + v.position_frac;
        uint64_t step = (uint64_t)(uint32_t)v.step_int * 4294967296u + v.step_frac;
        bool forward = v.direction == 1;

        // Segment length and the loop point ahead.
        int32_t len = remaining;
        bool boundary = false;
        uint64_t d = forward ? (uint64_t)end * 4294967296u - position
                             : position - (uint64_t)start * 4294967296u;
        if (d / 4294967296u < 16777216u) {
            uint32_t step24 = (uint32_t)v.step_int * 16777216u + v.step_frac / 256;
            if (step24 != 0) {
                uint64_t n = (d / 256 + step24 - 1) / step24;
                if (n <= (uint64_t)len) {
                    len = (int32_t)n;
                    boundary = true;
                }
            }
        }
        // Ramp set-up.
        int32_t ramp = 0;
        if (v.ramp_frames != 0 && v.left_volume == v.ramp_left_target &&
            v.right_volume == v.ramp_right_target) {
            ramp = v.ramp_frames;
            ++coverage.ramps_carried;
        } else {
            v.ramp_left_target = v.left_volume;
            v.ramp_right_target = v.right_volume;
            int32_t left_now = v.left_level >> 8;
            int32_t right_now = v.right_level >> 8;
            v.left_ramp_step = v.left_volume != left_now
                                   ? (float)((double)(v.left_volume - left_now) * (double)C *
                                             (double)settings.ramp_reciprocal)
                                   : 0.0f;
            v.right_ramp_step = v.right_volume != right_now
                                    ? (float)((double)(v.right_volume - right_now) * (double)C *
                                              (double)settings.ramp_reciprocal)
                                    : 0.0f;
            ramp = (v.left_volume != left_now || v.right_volume != right_now) ? settings.ramp_frames_total : 0;
            v.ramp_frames = ramp;
        }
        bool ramp_cut = false;
        if (ramp > 0 && len > ramp) {
            len = ramp;
            ramp_cut = true;
            ++coverage.ramp_cuts;
        }
        (ramp > 0 ? coverage.ramp_frames : coverage.steady_frames) += len;
        if (ramp == 0 && v.left_volume == 0 && v.right_volume == 0) coverage.silent_frames += len;
        // Gains and frames.
        double left_gain, right_gain;
        if (ramp > 0) {
            left_gain = (float)((double)v.left_level / 256.0 * (double)C);
            right_gain = (float)((double)v.right_level / 256.0 * (double)C);
        } else {
            left_gain = (float)((double)v.left_volume * (double)C);
            right_gain = (float)((double)v.right_volume * (double)C);
        }
        for (int32_t k = 0; k < len; ++k) {
            if (out == nullptr) {  // unheard: only the position and the gains move
                if (ramp > 0) {
                    left_gain += (double)v.left_ramp_step;
                    right_gain += (double)v.right_ramp_step;
                }
                position -= position % 2;
                position = forward ? position + step : position - step;
                continue;
            }
            uint32_t i = (uint32_t)(position / 4294967296u);
            double f = (double)((uint32_t)position / 2) / 2147483648.0;
            double a = reference_value(s, i);
            double b = reference_value(s, i + 1);
            double x = a + f * (b - a);
            out[0] = (float)((double)out[0] + x * left_gain);
            out[1] = (float)((double)out[1] + x * right_gain);
            out += 2;
            if (ramp > 0) {
                left_gain += (double)v.left_ramp_step;
                right_gain += (double)v.right_ramp_step;
            }
            position -= position % 2;
            position = forward ? position + step : position - step;
        }
        if (ramp > 0 && len > 0) {
            v.left_level = (int32_t)std::nearbyint(left_gain * 255 * 256);
            v.right_level = (int32_t)std::nearbyint(right_gain * 255 * 256);
        }
        remaining -= len;
        v.position_int = (uint32_t)(position >> 32);
        v.position_frac = (uint32_t)position;
        // Ramp end.
        if (ramp > 0) {
            v.ramp_frames = ramp - len;
            if (v.ramp_frames == 0) {
                v.left_ramp_step = v.right_ramp_step = 0.0f;
                v.left_level = v.left_volume * 256;
                v.right_level = v.right_volume * 256;
                if (ramp_cut) continue;
            }
        }
        // Loop point.
        if (!boundary) return;
        if (s->loop_type & LOOP_FORWARD) {
            ++coverage.wraps;
            do {
                v.position_int -= s->loop_length;
            } while (v.position_int >= end);
        } else if (s->loop_type & LOOP_PINGPONG) {
            ++coverage.reflections;
            for (;;) {
                if (v.direction == 1) {
                    position = 2 * ((uint64_t)end << 32) - 1 - position;
                    v.direction = 2;
                    if ((int32_t)(position >> 32) >= (int32_t)start) break;
                } else {
                    position = 2 * ((uint64_t)start << 32) - 1 - position;
                    v.direction = 1;
                    if ((int32_t)(position >> 32) < (int32_t)end) break;
                }
            }
            v.position_int = (uint32_t)(position >> 32);
            v.position_frac = (uint32_t)position;
        } else {
            ++coverage.one_shot_ends;
            v.sample = nullptr;
            v.position_int = v.position_frac = 0;
            return;
        }
        if (remaining <= 0) return;
    }
    FAIL() << "reference mixer did not finish";
}

void expect_same_voice(const Voice& a, const Voice& b, int index, int round) {
    SCOPED_TRACE(::testing::Message() << "voice " << index << " round " << round);
    EXPECT_EQ(a.sample, b.sample);
    EXPECT_EQ(a.position_int, b.position_int);
    EXPECT_EQ(a.position_frac, b.position_frac);
    EXPECT_EQ(a.direction, b.direction);
    EXPECT_EQ(a.ramp_frames, b.ramp_frames);
    EXPECT_EQ(a.ramp_left_target, b.ramp_left_target);
    EXPECT_EQ(a.ramp_right_target, b.ramp_right_target);
    EXPECT_EQ(a.left_level, b.left_level);
    EXPECT_EQ(a.right_level, b.right_level);
    EXPECT_EQ(std::memcmp(&a.left_ramp_step, &b.left_ramp_step, sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(&a.right_ramp_step, &b.right_ramp_step, sizeof(float)), 0);
}

struct RandomVoices {
    std::mt19937 rng;
    std::vector<std::unique_ptr<TestSample>> samples;

    int32_t ramp_frames_total;

    RandomVoices(uint32_t seed, int32_t ramp_frames) : rng(seed), ramp_frames_total(ramp_frames) {}

    uint32_t below(uint32_t n) { return n == 0 ? 0 : rng() % n; }

    Sample* random_sample() {
        uint32_t length = 1 + below(below(4) == 0 ? 20 : 5000);
        std::vector<int16_t> values(length);
        int kind = (int)below(3);
        for (auto& value : values) {
            value = kind == 0 ? (int16_t)(below(65536) - 32768)
                              : (int16_t)(below(2001) - 1000);
        }
        const uint8_t types[] = {LOOP_NONE, LOOP_FORWARD, LOOP_PINGPONG};
        uint8_t type = types[below(3)];
        uint32_t loop_start = below(length);
        uint32_t loop_length = 1 + below(length - loop_start);
        samples.push_back(make_sample(values, type, loop_start, loop_length));
        return &samples.back()->sample;
    }

    void random_step(Voice& v) {
        switch (below(5)) {
            case 0:
            case 1: {  // a note's frequency at 44100 Hz
                uint32_t g = 100 + below(below(2) ? 20000 : 400000);
                v.step_int = (int32_t)(g / 44100);
                v.step_frac = (uint32_t)((((uint64_t)(g % 44100) << 32) + g / 44100) / 44100);
                break;
            }
            case 2:  // anything below 256 frames
                v.step_int = (int32_t)below(256);
                v.step_frac = rng();
                break;
            case 3:  // whole steps
                v.step_int = (int32_t)below(4);
                v.step_frac = below(2) ? 0 : 0x80000000u;
                break;
            default:  // tiny steps, down to none
                v.step_int = 0;
                v.step_frac = below(1u << (below(24) + 1));
                break;
        }
    }

    int32_t random_volume() { return below(4) == 0 ? 0 : (below(3) == 0 ? 255 : (int32_t)below(256)); }

    void random_voice(Voice& v) {
        Sample* s = random_sample();
        uint32_t end = s->loop_start + s->loop_length;
        v.sample = s;
        v.direction = 1;
        if ((s->loop_type & LOOP_PINGPONG) && below(2)) {
            v.direction = 2;
            v.position_int = s->loop_start + below(s->loop_length);
        } else {
            v.position_int = below(end);
        }
        if (below(40) == 0) {
            // A stray voice beyond its data, such as no note start makes:
            // both mixers read zeros there.
            v.position_int = s->length + 8 + below(1000);
            v.direction = below(2) ? 1 : 2;
        }
        v.position_frac = rng();
        random_step(v);
        v.left_volume = random_volume();
        v.right_volume = random_volume();
        v.left_level = below(2) ? (int32_t)below(65281) : random_volume() * 256;
        v.right_level = below(2) ? (int32_t)below(65281) : random_volume() * 256;
        v.ramp_frames = 0;
        if (below(3) == 0) {  // a ramp in progress
            v.ramp_frames = 1 + (int32_t)below((uint32_t)ramp_frames_total);
            v.ramp_left_target = v.left_volume;
            v.ramp_right_target = below(4) ? v.right_volume : v.right_volume + 1;
            v.left_ramp_step = (float)(((double)below(511) - 255.0) / 255.0 / ramp_frames_total);
            v.right_ramp_step = (float)(((double)below(511) - 255.0) / 255.0 / ramp_frames_total);
        }
    }
};

// Returns the frames compared.
int64_t compare_random_voices_with_reference(const MixLoops* loops) {
    struct RampSetting {
        int32_t frames;
        float reciprocal;
    };
    const RampSetting settings[] = {{128, 1.0f / 128}, {139, (float)(1.0 / 139)}, {64, 1.0f / 64}};
    int64_t frames_compared = 0;
    for (int trial = 0; trial < 60; ++trial) {
        const RampSetting& setting = settings[trial % 3];
        RandomVoices random((uint32_t)trial * 7919u + 1, setting.frames);
        const MixerSettings mixer = {setting.frames, setting.reciprocal, loops};
        Voice voice_table[VOICE_COUNT];
        MixerTest::reset_voices(voice_table);
        int voice_count = 1 + (int)random.below(trial % 4 == 0 ? 64 : 4);
        for (int k = 0; k < voice_count; ++k) random.random_voice(voice_table[random.below(64)]);
        Voice reference[MIXED_VOICES];
        std::memcpy(reference, voice_table, sizeof reference);

        for (int round = 0; round < 40; ++round) {
            int32_t count = 1 + (int32_t)random.below(random.below(3) == 0 ? 3 : 1200);
            std::vector<float> mixed(2 * (size_t)count);
            for (auto& f : mixed) f = (float)((double)random.below(2001) - 1000.0) * 0.25f;
            std::vector<float> expected = mixed;
            mix_voices(voice_table, mixer, 0, mixed.data(), count);
            for (int v = 0; v < MIXED_VOICES; ++v) {
                if (reference[v].sample) reference_mix_voice(reference[v], expected.data(), count, mixer);
            }
            EXPECT_EQ(std::memcmp(mixed.data(), expected.data(), mixed.size() * sizeof(float)), 0)
                << "trial " << trial << " round " << round;
            for (int v = 0; v < MIXED_VOICES; ++v) expect_same_voice(voice_table[v], reference[v], v, round);
            if (::testing::Test::HasFailure()) {
                ADD_FAILURE() << "trial " << trial;
                return frames_compared;
            }
            frames_compared += count;

            // Between calls the replay retargets, restarts and repitches voices.
            for (int v = 0; v < MIXED_VOICES; ++v) {
                Voice& live = voice_table[v];
                if (!live.sample || random.below(4) != 0) continue;
                switch (random.below(3)) {
                    case 0:
                        live.left_volume = random.random_volume();
                        live.right_volume = random.random_volume();
                        break;
                    case 1:
                        random.random_step(live);
                        break;
                    default:
                        live.position_int = 0;
                        live.position_frac = 0;
                        live.direction = 1;
                        live.left_level = live.right_level = 0;
                        live.ramp_frames = 0;
                        break;
                }
                reference[v] = live;
            }
        }
    }
    return frames_compared;
}

// Unheard voices (no frames to mix into, as a seek or a muted channel moves
// them) against the reference, record for record: short loops crossed many
// times a call, forward and ping-pong, at the steps notes have and at any
// step, loops far into long samples (positions above 2^32 frames * 2^32),
// one-shot samples that end voices, ramps in progress and calls of any
// length.
struct UnheardVoices {
    std::mt19937 rng;
    std::vector<Sample> samples;  // never read: only their lengths and loops count
    int16_t data[16] = {};

    explicit UnheardVoices(uint32_t seed) : rng(seed) { samples.reserve(4096); }
    uint32_t below(uint32_t n) { return n == 0 ? 0 : rng() % n; }

    const Sample* random_sample() {
        Sample s{};
        uint32_t loop_length = below(3) == 0 ? 1 + below(4096) : 1 + below(below(2) ? 64 : 600);
        uint32_t loop_start = below(3) == 0 ? below(0xFFFFFFFFu - 2 * loop_length) : below(below(2) ? 8 : 5000);
        s.data = data;
        s.loop_start = loop_start;
        s.loop_length = loop_length;
        s.length = loop_start + loop_length;
        s.bits = 16;
        const uint8_t types[] = {LOOP_FORWARD, LOOP_PINGPONG, LOOP_FORWARD, LOOP_PINGPONG, LOOP_NONE};
        s.loop_type = types[below(5)];
        samples.push_back(s);
        return &samples.back();
    }

    void random_step(Voice& v) {
        if (below(4) != 0) {  // a note's frequency at 44100 Hz, or the tiny steps of low notes
            uint32_t g = 100 + below(below(2) ? 20000 : 400000);
            v.step_int = (int32_t)(g / 44100);
            v.step_frac = (uint32_t)((((uint64_t)(g % 44100) << 32) + g / 44100) / 44100);
        } else {
            v.step_int = (int32_t)below(below(2) ? 4 : 256);
            v.step_frac = rng();
        }
    }

    void random_voice(Voice& v) {
        const Sample* s = random_sample();
        v.sample = s;
        v.direction = 1;
        v.position_int = below(2) ? s->loop_start + below(s->loop_length) : below(s->loop_start + s->loop_length);
        if (s->loop_type == LOOP_PINGPONG && below(2)) v.direction = 2;
        v.position_frac = rng();
        random_step(v);
        v.left_volume = (int32_t)below(256);
        v.right_volume = below(4) == 0 ? 0 : (int32_t)below(256);
        v.left_level = (int32_t)below(65281);
        v.right_level = (int32_t)below(65281);
        v.ramp_frames = 0;
        if (below(3) == 0) {  // a ramp in progress
            v.ramp_frames = 1 + (int32_t)below(128);
            v.ramp_left_target = v.left_volume;
            v.ramp_right_target = v.right_volume;
            v.left_ramp_step = (float)(((double)below(511) - 255.0) / 255.0 / 128);
            v.right_ramp_step = (float)(((double)below(511) - 255.0) / 255.0 / 128);
        }
    }
};

TEST_F(MixerTest, UnheardVoicesMoveAsTheReferenceDoes) {
    const MixerSettings mixer = mixer_settings_for_rate(44100);
    int64_t frames_compared = 0;
    const int64_t wraps_before = coverage.wraps;
    const int64_t reflections_before = coverage.reflections;
    for (int trial = 0; trial < 40 && !HasFailure(); ++trial) {
        UnheardVoices random((uint32_t)trial * 104729u + 3);
        Voice voice_table[VOICE_COUNT];
        reset_voices(voice_table);
        for (int v = 0; v < MIXED_VOICES; ++v) random.random_voice(voice_table[v]);
        Voice reference[MIXED_VOICES];
        std::memcpy(reference, voice_table, sizeof reference);
        for (int round = 0; round < 60 && !HasFailure(); ++round) {
            int32_t count = 1 + (int32_t)random.below(random.below(4) == 0 ? 40 : 4000);
            mix_voices(voice_table, mixer, 0, nullptr, count);
            for (int v = 0; v < MIXED_VOICES; ++v) {
                if (reference[v].sample) reference_mix_voice(reference[v], nullptr, count, mixer);
            }
            for (int v = 0; v < MIXED_VOICES; ++v) expect_same_voice(voice_table[v], reference[v], v, round);
            frames_compared += count;
            // New steps, volumes and notes between calls, as the replay sets them.
            for (int v = 0; v < MIXED_VOICES; ++v) {
                Voice& live = voice_table[v];
                if (random.below(3) != 0) continue;
                if (!live.sample || random.below(8) == 0) {
                    random.random_voice(live);
                } else if (random.below(2)) {
                    random.random_step(live);
                } else {
                    live.left_volume = (int32_t)random.below(256);
                }
                reference[v] = live;
            }
        }
        if (HasFailure()) ADD_FAILURE() << "trial " << trial;
    }
    EXPECT_GT(frames_compared, 2000000);
    EXPECT_GT(coverage.wraps - wraps_before, 1000000);
    EXPECT_GT(coverage.reflections - reflections_before, 1000000);
    std::printf("compared %lld unheard frames: %lld wraps, %lld reflections\n", (long long)frames_compared,
                (long long)(coverage.wraps - wraps_before), (long long)(coverage.reflections - reflections_before));
}

// Every loop set this build and processor have: the plain one everywhere,
// SSE2 and AVX2 where the x86 loops are built and run.
TEST_F(MixerTest, MatchesTheOneFrameReferenceBitForBit) {
    int64_t frames_compared = 0;
    int sets_compared = 0;
    for (int kind = 0; kind < MIX_LOOP_COUNT && !HasFailure(); ++kind) {
        const MixLoops* loops = mix_loops_of(static_cast<MixLoop>(kind));
        if (loops == nullptr) continue;
        std::printf("comparing the %s loops\n", loops->name);
        frames_compared += compare_random_voices_with_reference(loops);
        ++sets_compared;
    }
    EXPECT_GE(sets_compared, 1);
    EXPECT_GT(frames_compared, 500000 * sets_compared);
    EXPECT_GT(coverage.ramp_frames, 10000);
    EXPECT_GT(coverage.steady_frames, 100000);
    EXPECT_GT(coverage.silent_frames, 10000);
    EXPECT_GT(coverage.ramp_cuts, 100);
    EXPECT_GT(coverage.ramps_carried, 100);
    EXPECT_GT(coverage.wraps, 100);
    EXPECT_GT(coverage.reflections, 100);
    EXPECT_GT(coverage.one_shot_ends, 10);
    EXPECT_GT(coverage.stray_reads, 100);
    std::printf("compared %lld frames: %lld ramped, %lld steady (%lld silent); %lld ramp cuts, %lld ramps "
                "carried, %lld wraps, %lld reflections, %lld one-shot ends, %lld stray reads\n",
                (long long)frames_compared, (long long)coverage.ramp_frames,
                (long long)coverage.steady_frames, (long long)coverage.silent_frames,
                (long long)coverage.ramp_cuts,
                (long long)coverage.ramps_carried, (long long)coverage.wraps,
                (long long)coverage.reflections, (long long)coverage.one_shot_ends,
                (long long)coverage.stray_reads);
}

}  // namespace
