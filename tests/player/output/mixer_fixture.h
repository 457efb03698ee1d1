// Shared set-up of the mixer tests: a clean voice table, the ramp settings of
// 44100 Hz, and samples whose data is exactly length + 8 frames (so that a
// sanitizer build sees any read past them), with the guard frame in place.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "player/module/song.h"
#include "player/output/mixer.h"

struct TestSample {
    Sample sample{};
    std::vector<int16_t> data;
};

// values.size() frames; loop_type LOOP_NONE ignores the loop arguments.
inline std::unique_ptr<TestSample> make_sample(const std::vector<int16_t>& values,
                                               uint8_t loop_type, uint32_t loop_start = 0,
                                               uint32_t loop_length = 0) {
    auto s = std::make_unique<TestSample>();
    uint32_t length = (uint32_t)values.size();
    s->data.assign(length + 8, 0);
    std::copy(values.begin(), values.end(), s->data.begin());
    s->sample.length = length;
    s->sample.bits = 16;
    s->sample.loop_type = loop_type;
    if (loop_type == LOOP_NONE) {
        loop_start = 0;
        loop_length = length;
    }
    s->sample.loop_start = loop_start;
    s->sample.loop_length = loop_length;
    uint32_t end = loop_start + loop_length;
    if (length > 0) {
        if (loop_type == LOOP_FORWARD) s->data[end] = s->data[loop_start];
        if (loop_type == LOOP_PINGPONG) s->data[end] = s->data[end - 1];
    }
    s->sample.data = length > 0 ? s->data.data() : nullptr;
    return s;
}

struct MixerTest : ::testing::Test {
    int32_t saved_ramp_frames = 0;
    float saved_reciprocal = 0;

    void SetUp() override {
        saved_ramp_frames = ramp_frames_total;
        saved_reciprocal = ramp_reciprocal;
        ramp_frames_total = 128;
        ramp_reciprocal = (float)(1.0 / 128);
        reset_voices();
    }
    void TearDown() override {
        reset_voices();
        ramp_frames_total = saved_ramp_frames;
        ramp_reciprocal = saved_reciprocal;
    }
    static void reset_voices() {
        std::memset(voice_table, 0, sizeof voice_table);
        for (int v = 0; v < VOICE_COUNT; ++v) {
            voice_table[v].index = v;
            voice_table[v].step_int = 1;
        }
    }
    // A voice playing `sample` from a whole position at step 1.0, at full
    // level on both sides with no ramp pending.
    static Voice* start_voice(int index, Sample* sample, uint32_t position = 0) {
        Voice* v = &voice_table[index];
        v->sample = sample;
        v->position_int = position;
        v->position_frac = 0;
        v->step_int = 1;
        v->step_frac = 0;
        v->direction = 1;
        v->left_volume = v->right_volume = 255;
        v->left_level = v->right_level = 255 * 256;
        v->ramp_frames = 0;
        return v;
    }
};
