// The inner loops of every set this build and processor have, called
// directly on one segment and held to the one-frame rule written out here:
// the floats, the position after the segment and, for ramps, the gains after
// the last frame, bit for bit. The gains matter beyond the floats: a wrong
// last bit of a gain of 2^14 rarely shows in a float sum, but it is carried
// into the next segment's level.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "player/output/mixer_loops.h"

using namespace korvanti;

namespace {

constexpr uint32_t SAMPLE_FRAMES = 3000;
constexpr float C = 1.0f / 255;

struct Segment {
    MixSource source;
    int32_t len;
    MixRamp ramp;
};

struct Expected {
    std::vector<float> frames;
    uint64_t position;
    MixGains gains;
};

// The one-frame rule: x = s[i] + f * (s[i+1] - s[i]) with f the top 31 bits
// of the fraction, each side += x * gain in double and stored as float; the
// gains grow by the steps after each frame; bit 0 of the position is cleared
// before each step.
Expected one_frame_rule(const Segment& segment, std::vector<float> frames) {
    uint64_t position = segment.source.position;
    MixGains g = segment.ramp.gains;
    for (int32_t k = 0; k < segment.len; ++k) {
        uint32_t i = (uint32_t)(position >> 32);
        double f = (double)((uint32_t)position >> 1) / 2147483648.0;
        double a = segment.source.data[i];
        double b = segment.source.data[i + 1];
        double x = a + f * (b - a);
        frames[2 * k] = (float)((double)frames[2 * k] + x * g.left);
        frames[2 * k + 1] = (float)((double)frames[2 * k + 1] + x * g.right);
        g.left += segment.ramp.steps.left;
        g.right += segment.ramp.steps.right;
        position &= ~uint64_t{1};
        position = segment.source.forward ? position + segment.source.step : position - segment.source.step;
    }
    return Expected{frames, position, g};
}

struct RandomSegments {
    std::mt19937 rng;
    std::vector<int16_t> data;
    int64_t rounding_ramps = 0;  // ramps whose sums round as they are added up

    explicit RandomSegments(uint32_t seed) : rng(seed), data(SAMPLE_FRAMES + 8) {
        for (auto& value : data) value = (int16_t)(rng() % 65536 - 32768);
    }

    uint32_t below(uint32_t n) { return rng() % n; }

    // A gain of a level (8.8) as the mixer forms it, and a ramp step of a
    // level difference over the ramp of 44100, 48000, 22050 or 192000 Hz (at
    // 44100 Hz, 128 frames, a step has few bits; at the others, 24).
    static double level_gain(int64_t level) { return (double)(float)((double)level / 256.0 * (double)C); }
    double ramp_step(int32_t difference) {
        const int32_t ramp_frames[] = {128, 139, 64, 557};
        float reciprocal = (float)(1.0 / ramp_frames[below(4)]);
        return (double)(float)((double)difference * (double)C * (double)reciprocal);
    }

    MixRamp random_ramp() {
        switch (below(4)) {
            case 0:  // a level far above any volume, ramping down by the smallest steps
                ++rounding_ramps;
                return MixRamp{{level_gain((1 << 30) + below(1 << 30) - (1 << 24)), level_gain(below(65281))},
                               {ramp_step(-1 - (int32_t)below(3)), ramp_step((int32_t)below(511) - 255)},
                               false};
            case 1:  // a steady segment: no steps
                return MixRamp{{level_gain(below(256) * 256), level_gain(below(256) * 256)}, {0.0, 0.0}, false};
            default:  // ramps as the replay sets them up
                return MixRamp{{level_gain(below(65281)), level_gain(below(65281))},
                               {ramp_step((int32_t)below(511) - 255), ramp_step((int32_t)below(511) - 255)},
                               false};
        }
    }

    // A segment that reads inside the data, of 1 to 400 frames, at a step
    // below 6 frames (beyond what the 512-bit loops take) or a tiny one.
    Segment random_segment() {
        Segment segment{};
        segment.len = 1 + (int32_t)below(below(3) == 0 ? 20 : 400);
        uint64_t step = below(8) == 0 ? below(1u << 20) : ((uint64_t)below(6) << 32) | rng();
        bool forward = below(3) != 0;
        uint64_t span = (uint64_t)segment.len * (step + 1);
        uint64_t room = ((uint64_t)SAMPLE_FRAMES << 32) - span;
        uint64_t start = forward ? ((uint64_t)rng() << 32 | rng()) % room
                                 : span + ((uint64_t)rng() << 32 | rng()) % room;
        segment.source = MixSource{data.data(), SAMPLE_FRAMES + 8, start, step, forward};
        segment.ramp = random_ramp();
        segment.ramp.sums_exact = ramp_sums_exact(segment.ramp, segment.len);
        return segment;
    }
};

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(MixLoops, EverySetFollowsTheOneFrameRule) {
    RandomSegments random(2024);
    int sets = 0;
    int64_t rounded_sums = 0;
    for (int trial = 0; trial < 6000 && !::testing::Test::HasFailure(); ++trial) {
        Segment segment = random.random_segment();
        std::vector<float> start(2 * (size_t)segment.len);
        for (auto& value : start) value = (float)random.below(20001) - 10000.0f;
        Expected expected = one_frame_rule(segment, start);
        Expected formed_at_once = expected;
        formed_at_once.gains.left = segment.ramp.gains.left + segment.len * segment.ramp.steps.left;
        if (!same_bits(formed_at_once.gains.left, expected.gains.left)) ++rounded_sums;
        bool steady = segment.ramp.steps.left == 0.0 && segment.ramp.steps.right == 0.0;
        sets = 0;
        for (int kind = 0; kind < MIX_LOOP_COUNT; ++kind) {
            const MixLoops* loops = mix_loops_of(static_cast<MixLoop>(kind));
            if (loops == nullptr) continue;
            ++sets;
            SCOPED_TRACE(::testing::Message() << loops->name << " trial " << trial << " len " << segment.len
                                              << " step " << segment.source.step
                                              << (segment.source.forward ? " forward" : " backward"));
            std::vector<float> frames = start;
            MixRamp ramp = segment.ramp;
            uint64_t position = steady ? loops->steady(frames.data(), segment.len, segment.source, ramp.gains)
                                       : loops->ramp(frames.data(), segment.len, segment.source, &ramp);
            EXPECT_EQ(std::memcmp(frames.data(), expected.frames.data(), frames.size() * sizeof(float)), 0);
            EXPECT_EQ(position, expected.position);
            if (!steady) {
                EXPECT_TRUE(same_bits(ramp.gains.left, expected.gains.left));
                EXPECT_TRUE(same_bits(ramp.gains.right, expected.gains.right));
            }
        }
    }
    std::printf("%d loop sets; %lld ramps far above any volume, %lld whose sums rounded\n", sets,
                (long long)random.rounding_ramps, (long long)rounded_sums);
    EXPECT_GT(rounded_sums, 100);
}

}  // namespace
