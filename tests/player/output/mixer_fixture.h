// Shared set-up of the mixer tests: a clean voice table of the test's own,
// the mixer settings of 44100 Hz (128-frame ramps), and samples whose data is
// exactly length + 8 frames (so that a sanitizer build sees any read past
// them), with the guard frame in place.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "player/module/song.h"
#include "player/output/mixer.h"
#include "player/replay/voice.h"

struct TestSample {
    korvanti::Sample sample{};
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
    if (loop_type == korvanti::LOOP_NONE) {
        loop_start = 0;
        loop_length = length;
    }
    s->sample.loop_start = loop_start;
    s->sample.loop_length = loop_length;
    uint32_t end = loop_start + loop_length;
    if (length > 0) {
        if (loop_type == korvanti::LOOP_FORWARD) s->data[end] = s->data[loop_start];
        if (loop_type == korvanti::LOOP_PINGPONG) s->data[end] = s->data[end - 1];
    }
    s->sample.data = length > 0 ? s->data.data() : nullptr;
    return s;
}

struct MixerTest : ::testing::Test {
    korvanti::Voice voice_table[korvanti::VOICE_COUNT];
    korvanti::MixerSettings settings = korvanti::mixer_settings_for_rate(44100);

    void SetUp() override { reset_voices(voice_table); }
    static void reset_voices(korvanti::Voice* table) { korvanti::voices_reset(table); }
    void reset_voices() { reset_voices(voice_table); }
    // The voices 0..63 of the table into `frames`, nothing muted.
    void mix(float* frames, int32_t count) { korvanti::mix_voices(voice_table, settings, 0, frames, count); }
    // A voice playing `sample` from a whole position at step 1.0, at full
    // level on both sides with no ramp pending.
    korvanti::Voice* start_voice(int index, const korvanti::Sample* sample, uint32_t position = 0) {
        korvanti::Voice* v = &voice_table[index];
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
