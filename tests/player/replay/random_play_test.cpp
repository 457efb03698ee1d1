// Plays modules of random cells (every effect, every volume-column byte,
// random parameters, odd speeds and tempos) for many ticks and checks that
// the replay state stays inside its ranges. Meant above all for the
// sanitizer build, which turns any read outside a table or any signed
// overflow into a failure.
#include <gtest/gtest.h>

#include <random>

#include "player/output/mixer.h"
#include "player/replay/channel.h"
#include "player/replay/effects.h"
#include "replay_harness.h"

using namespace korvanti;

namespace {

XmInstrument enveloped_instrument() {
    XmInstrument instrument = square_instrument();
    instrument.volume_envelope.points = {{0, 0}, {4, 64}, {10, 32}, {20, 48}, {30, 0}};
    instrument.volume_envelope.flags = 1 | 2 | 4;
    instrument.volume_envelope.sustain_point = 2;
    instrument.volume_envelope.loop_start = 1;
    instrument.volume_envelope.loop_end = 3;
    instrument.panning_envelope.points = {{0, 32}, {8, 64}, {16, 0}};
    instrument.panning_envelope.flags = 1;
    instrument.fadeout = 300;
    instrument.vibrato_type = 1;
    instrument.vibrato_sweep = 5;
    instrument.vibrato_depth = 12;
    instrument.vibrato_rate = 40;
    return instrument;
}

XmInstrument two_sample_instrument() {
    XmInstrument instrument;
    instrument.samples.push_back(make_sample(std::vector<int16_t>(700, 40), false, 0));
    instrument.samples.push_back(make_sample(std::vector<int16_t>(300, -900), true, 2, 100, 150));
    instrument.samples[1].relative_note = -30;
    instrument.samples[1].finetune = -100;
    for (size_t k = 0; k < instrument.keymap.size(); ++k) instrument.keymap[k] = static_cast<uint8_t>(k % 20);
    instrument.vibrato_sweep = 0;
    instrument.vibrato_depth = 200;
    instrument.vibrato_rate = 255;
    return instrument;
}

XmCell random_cell(std::mt19937& random) {
    auto pick = [&](int32_t limit) { return static_cast<uint8_t>(random() % static_cast<uint32_t>(limit)); };
    XmCell cell;
    int32_t kind = pick(10);
    cell.note = kind < 5 ? pick(98) : (kind == 5 ? static_cast<uint8_t>(98 + pick(30)) : 0);
    cell.instrument = pick(3) == 0 ? pick(6) : 0;
    cell.volume = pick(2) == 0 ? pick(256) : 0;
    cell.effect = pick(0x24);
    cell.param = pick(256);
    if (cell.effect == 0x0F && pick(4) != 0) cell.param = pick(16);  // fewer very slow tempos
    return cell;
}

XmModule random_module(uint32_t seed) {
    std::mt19937 random(seed);
    XmModule module;
    module.channel_count = 8;
    module.flags = static_cast<uint16_t>(seed & 1);
    module.default_tempo = static_cast<uint16_t>(random() % 12);
    module.default_bpm = static_cast<uint16_t>(random() % 256);
    const uint16_t rows[3] = {16, 64, 1};
    for (uint16_t pattern_rows : rows) {
        XmPattern pattern = empty_pattern(pattern_rows, module.channel_count);
        for (XmCell& cell : pattern.cells) cell = random_cell(random);
        module.patterns.push_back(pattern);
    }
    module.orders = {0, 1, 2, 1, 0};
    module.song_length = 5;
    module.restart_position = static_cast<uint16_t>(random() % 8);
    module.instruments = {square_instrument(12, 50), enveloped_instrument(), two_sample_instrument()};
    return module;
}

TEST(RandomPlay, StateStaysInRangeForManyTicks) {
    const MixerSettings mixer = mixer_settings_for_rate(44100);
    std::vector<float> mix(2 * 64);
    for (uint32_t seed = 1; seed <= 8; ++seed) {
        PlayPtr play = start_replay(random_module(seed));
        ASSERT_TRUE(play);
        int32_t rows_started = 0;
        for (int32_t t = 0; t < 20000; ++t) {
            if (play->tick == 0) ++rows_started;
            sequencer_tick(play.get());
            mix_voices(play->voice_table, mixer, 0, mix.data(), 16);
            ASSERT_GE(play->order, 0);
            ASSERT_LT(play->order, play->song->song_length);
            ASSERT_GE(play->row, 0);
            ASSERT_LE(play->row, 255);
            ASSERT_GE(play->frames_per_tick, 1);
            ASSERT_GE(play->global_volume, 0);
            ASSERT_LE(play->global_volume, 64);
            for (int32_t c = 0; c < play->song->channel_count; ++c) {
                const Channel& channel = play->channels[c];
                ASSERT_LE(channel.period, PERIOD_LIMIT) << "seed " << seed << " tick " << t << " channel " << c;
                ASSERT_GE(channel.period, -PERIOD_LIMIT);
                ASSERT_GE(channel.volume, 0);
                ASSERT_LE(channel.volume, 255);
                ASSERT_LE(channel.panning, PANNING_LIMIT);
                ASSERT_GE(channel.panning, -PANNING_LIMIT);
                ASSERT_GE(channel.vibrato_position, -32);
                ASSERT_LE(channel.vibrato_position, 31);
                ASSERT_GE(channel.tremolo_position, -32);
                ASSERT_LE(channel.tremolo_position, 31);
                ASSERT_TRUE(channel.voice == &play->voice_table[c] || channel.voice == &play->voice_table[c + 32]);
            }
        }
        // The clock really ran through rows, whatever the speeds were.
        EXPECT_GT(rows_started, 100) << "seed " << seed;
    }
}

}  // namespace
