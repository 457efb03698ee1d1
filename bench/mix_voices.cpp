// Throughput of mix_voices in voice-frames per second (items_per_second):
// 8 and 32 looping voices at the steps of ordinary notes, mixed in blocks of
// 884 frames, with steady levels or with a volume ramp in every block, on
// each loop set the build and processor have (loop 0 plain, 1 SSE2, 2 AVX2, 3 AVX-512;
// the label names it). The twins case adds 32 voices left behind at level 0,
// as note changes leave them; they count as voice-frames too. The chip case
// plays 32-frame loops, where the work per segment counts.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "player/module/song.h"
#include "player/output/mixer.h"
#include "player/output/mixer_loops.h"

using namespace korvanti;

namespace {

constexpr int32_t BLOCK_FRAMES = 884;
constexpr uint32_t SAMPLE_FRAMES = 20000;
constexpr uint32_t CHIP_FRAMES = 32;  // a single-cycle chip sample, looped whole

// A forward and a ping-pong loop: long ones, or (chip) 32-frame ones, over
// which a segment lasts some 170 frames at these steps.
struct BenchSamples {
    std::vector<int16_t> data[2];
    Sample samples[2] = {};

    explicit BenchSamples(bool chip) {
        uint32_t length = chip ? CHIP_FRAMES : SAMPLE_FRAMES;
        for (int k = 0; k < 2; ++k) {
            data[k].assign(length + 8, 0);
            for (uint32_t i = 0; i < length; ++i) {
                data[k][i] = (int16_t)(12000.0 * std::sin(i * 0.031 * (k + 1)) + (i * 7919 % 2001) - 1000);
            }
            Sample& s = samples[k];
            s.data = data[k].data();
            s.length = length;
            s.bits = 16;
            s.loop_start = chip ? 0 : 2000 + 1000 * k;
            s.loop_length = length - s.loop_start;
            s.loop_type = k == 0 ? LOOP_FORWARD : LOOP_PINGPONG;
            uint32_t end = s.loop_start + s.loop_length;
            data[k][end] = k == 0 ? data[k][s.loop_start] : data[k][end - 1];
        }
    }
};

void setup_voices(Voice* voice_table, BenchSamples& samples, int voices) {
    voices_reset(voice_table);
    for (int v = 0; v < voices; ++v) {
        Voice& voice = voice_table[v];
        // Notes spread over three octaves around the middle note (8363 Hz).
        double frequency = 8363.0 * std::pow(2.0, ((v * 5) % 37 - 18) / 12.0);
        uint32_t g = (uint32_t)frequency;
        voice.step_int = (int32_t)(g / 44100);
        voice.step_frac = (uint32_t)((((uint64_t)(g % 44100) << 32) + g / 44100) / 44100);
        voice.sample = &samples.samples[v % 2];
        const Sample& sample = *voice.sample;
        voice.position_int = sample.loop_start + (uint32_t)(v * 397) % sample.loop_length;
        voice.direction = 1;
        voice.left_volume = 60 + v;
        voice.right_volume = 200 - v;
        voice.left_level = voice.left_volume * 256;
        voice.right_level = voice.right_volume * 256;
    }
}

// The voices from `first` on: silent twins of the ones before them.
void silence_twins(Voice* voice_table, int first, int voices) {
    for (int v = first; v < voices; ++v) {
        voice_table[v].left_volume = voice_table[v].right_volume = 0;
        voice_table[v].left_level = voice_table[v].right_level = 0;
    }
}

void BM_mix_voices(benchmark::State& state) {
    int voices = (int)state.range(0);
    bool ramps = state.range(1) != 0;
    auto loop = static_cast<MixLoop>(state.range(2));
    bool twins = state.range(3) != 0;
    bool chip = state.range(4) != 0;
    MixerSettings settings = mixer_settings_for_rate(44100);
    settings.loops = mix_loops_of(loop);
    if (settings.loops == nullptr) {
        state.SkipWithError("loop set not in this build or processor");
        return;
    }
    state.SetLabel(settings.loops->name);
    BenchSamples samples(chip);
    Voice voice_table[VOICE_COUNT];
    setup_voices(voice_table, samples, twins ? 2 * voices : voices);
    if (twins) silence_twins(voice_table, voices, 2 * voices);
    std::vector<float> block(2 * BLOCK_FRAMES);
    int32_t flip = 0;
    for (auto _ : state) {
        std::memset(block.data(), 0, block.size() * sizeof(float));
        if (ramps) {
            // A new target on every voice: a 128-frame ramp starts each block.
            flip ^= 1;
            for (int v = 0; v < voices; ++v) voice_table[v].left_volume = flip ? 30 : 220;
        }
        mix_voices(voice_table, settings, 0, block.data(), BLOCK_FRAMES);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (twins ? 2 : 1) * voices * BLOCK_FRAMES);
}

// clip_to_pcm16 of one block of mixed frames, in frames per second.
void BM_clip_to_pcm16(benchmark::State& state) {
    MixerSettings settings = mixer_settings_for_rate(44100);
    settings.loops = mix_loops_of(static_cast<MixLoop>(state.range(0)));
    if (settings.loops == nullptr) {
        state.SkipWithError("loop set not in this build or processor");
        return;
    }
    state.SetLabel(settings.loops->name);
    std::vector<float> block(2 * BLOCK_FRAMES);
    for (size_t i = 0; i < block.size(); ++i) block[i] = (float)(40000.0 * std::sin((double)i * 0.01));
    std::vector<int16_t> pcm(2 * BLOCK_FRAMES);
    for (auto _ : state) {
        clip_to_pcm16(settings, pcm.data(), block.data(), BLOCK_FRAMES);
        benchmark::DoNotOptimize(pcm.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * BLOCK_FRAMES);
}

}  // namespace

BENCHMARK(BM_clip_to_pcm16)->ArgName("loop")->DenseRange(0, 3);

BENCHMARK(BM_mix_voices)
    ->ArgNames({"voices", "ramps", "loop", "twins", "chip"})
    ->ArgsProduct({{8, 32}, {0, 1}, {0, 1, 2, 3}, {0}, {0}})
    ->ArgsProduct({{32}, {0}, {0, 1, 2, 3}, {1}, {0}})
    ->ArgsProduct({{32}, {0, 1}, {0, 1, 2, 3}, {0}, {1}});

BENCHMARK_MAIN();
