// The nine instruments. Drums are one-shot samples made at 22050 or 44100
// frames a second and tuned so that C-4 plays them at that rate; the tonal
// instruments are loops of 64- or 128-frame cycles tuned so that a note
// sounds at its concert pitch (C-4 = 261.6 Hz).
//
// Envelope x positions are ticks: 51.6 a second at 129 BPM.
#include "tools/make_assets/instruments.h"

#include <algorithm>

#include "tools/make_assets/synth.h"

namespace {

constexpr uint8_t SAMPLE_FORWARD = 1;
constexpr uint8_t SAMPLE_PINGPONG = 2;
constexpr uint8_t SAMPLE_16_BIT = 0x10;
constexpr uint8_t ENVELOPE_FLAG_ON = 1;
constexpr uint8_t ENVELOPE_FLAG_SUSTAIN = 2;
constexpr uint8_t ENVELOPE_FLAG_LOOP = 4;

// Relative note and finetune (1/128 semitone) per kind of sample:
// 12 * log2(rate / 8363) semitones for a drum made at that rate, and for a
// cycle of 64 frames 12 semitones plus the 2.4/128 by which 8363 / 32 falls
// short of middle C.
struct Tuning {
    int8_t relative_note;
    int8_t finetune;
};
constexpr Tuning TUNING_22050 = {17, -28};
constexpr Tuning TUNING_44100 = {29, -28};
constexpr Tuning TUNING_CYCLE_64 = {12, 2};
constexpr Tuning TUNING_CYCLE_128 = {24, 2};

constexpr int32_t PEAK_16 = 30000;
constexpr int32_t PEAK_8 = 120;

int32_t clamp_q15(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, -32767, 32767));
}

// x - 4x^3/27 over -1.5..1.5: a smooth saturation that reaches 1.0 with zero slope.
int32_t soft_clip(int64_t value) {
    int64_t x = std::clamp<int64_t>(value, -49151, 49151);
    return static_cast<int32_t>(x - 4 * x * x / 32768 * x / 32768 / 27);
}

// Linear fade to silence over the last `frames` values, so a one-shot ends
// without a click.
void fade_tail(std::vector<int32_t>& values, int32_t frames) {
    int32_t size = static_cast<int32_t>(values.size());
    frames = std::min(frames, size);
    for (int32_t i = 0; i < frames; ++i) {
        int32_t index = size - frames + i;
        values[index] = static_cast<int32_t>(int64_t{values[index]} * (frames - 1 - i) / frames);
    }
}

XmSample finish_sample(std::vector<int32_t> values, bool sixteen_bit, Tuning tuning,
                       const char* name) {
    normalise(values, sixteen_bit ? PEAK_16 : PEAK_8);
    XmSample sample;
    sample.values.assign(values.begin(), values.end());
    sample.type = sixteen_bit ? SAMPLE_16_BIT : 0;
    sample.relative_note = tuning.relative_note;
    sample.finetune = tuning.finetune;
    sample.name = name;
    return sample;
}

void set_loop(XmSample& sample, uint8_t loop_kind, uint32_t start, uint32_t length) {
    sample.type = static_cast<uint8_t>(sample.type | loop_kind);
    sample.loop_start = start;
    sample.loop_length = length;
}

XmSample make_kick() {
    constexpr int32_t RATE = 22050;
    std::vector<int32_t> values(9000);
    Decay pitch = decay_start(RATE * 30 / 1000);
    Decay body = decay_start(RATE * 190 / 1000);
    Decay click = decay_start(RATE * 2 / 1000);
    Noise noise = noise_seeded(0x4B49434B);
    OnePole click_filter{0, 1};
    uint32_t phase = 0;
    for (int32_t& value : values) {
        int64_t millihertz = 46000 + int64_t{140000} * decay_step(pitch) / 32767;
        int64_t tone = int64_t{sine_q15(phase)} * decay_step(body) / 32767;
        int64_t tick = int64_t{one_pole_step(click_filter, noise_next(noise))} * decay_step(click) / 32767;
        value = soft_clip(tone * 3 / 2 + tick / 3);
        phase += phase_step(millihertz, RATE);
    }
    fade_tail(values, 400);
    return finish_sample(values, true, TUNING_22050, "kick");
}

XmSample make_snare() {
    constexpr int32_t RATE = 22050;
    std::vector<int32_t> values(7000);
    Decay pitch = decay_start(RATE * 20 / 1000);
    Decay tone_level = decay_start(RATE * 45 / 1000);
    Decay noise_level = decay_start(RATE * 110 / 1000);
    Noise noise = noise_seeded(0x534E4152);
    OnePole low{0, 3};
    OnePole smooth{0, 1};
    uint32_t phase = 0;
    for (int32_t& value : values) {
        int64_t millihertz = 168000 + int64_t{40000} * decay_step(pitch) / 32767;
        int64_t tone = int64_t{sine_q15(phase)} * decay_step(tone_level) / 32767;
        int32_t white = noise_next(noise);
        int32_t bright = one_pole_step(smooth, white - one_pole_step(low, white));
        int64_t rattle = int64_t{bright} * decay_step(noise_level) / 32767;
        value = soft_clip(tone * 3 / 4 + rattle);
        phase += phase_step(millihertz, RATE);
    }
    fade_tail(values, 600);
    return finish_sample(values, true, TUNING_22050, "snare");
}

// High-passed noise: the difference between the noise and a low-passed copy.
int32_t hiss(Noise& noise, OnePole& low) {
    int32_t white = noise_next(noise);
    return white - one_pole_step(low, white);
}

XmSample make_hat() {
    constexpr int32_t RATE = 44100;
    std::vector<int32_t> values(4000);
    Decay level = decay_start(RATE * 22 / 1000);
    Noise noise = noise_seeded(0x48415421);
    OnePole low{0, 2};
    for (int32_t& value : values) value = static_cast<int32_t>(int64_t{hiss(noise, low)} * decay_step(level) / 32767);
    fade_tail(values, 300);
    return finish_sample(values, false, TUNING_44100, "closed hat");
}

// Noise with a metallic ring from inharmonic square waves; the last half is a
// steady noise loop that the volume envelope fades.
XmSample make_crash() {
    constexpr int32_t RATE = 22050;
    constexpr int32_t LENGTH = 22050;
    constexpr int32_t LOOP_START = 11025;
    static const int64_t RING_MILLIHERTZ[4] = {3150000, 4370000, 5230000, 6810000};
    std::vector<int32_t> values(LENGTH);
    Decay ring_level = decay_start(RATE * 150 / 1000);
    Decay burst = decay_start(RATE * 120 / 1000);
    Noise noise = noise_seeded(0x43524153);
    OnePole low{0, 2};
    uint32_t phases[4] = {0, 0, 0, 0};
    for (int32_t i = 0; i < LENGTH; ++i) {
        int64_t ring = 0;
        for (int osc = 0; osc < 4; ++osc) {
            ring += (phases[osc] >> 31) ? 6000 : -6000;
            phases[osc] += phase_step(RING_MILLIHERTZ[osc], RATE);
        }
        int32_t ring_gain = decay_step(ring_level);
        int32_t noise_gain = 16384 + decay_step(burst) / 2;
        if (i >= LOOP_START) ring_gain = 0, noise_gain = 16384;
        values[i] = clamp_q15(int64_t{hiss(noise, low)} * noise_gain / 32767 + ring * ring_gain / 32767);
    }
    XmSample sample = finish_sample(values, false, TUNING_22050, "crash");
    set_loop(sample, SAMPLE_FORWARD, LOOP_START, LENGTH - LOOP_START);
    return sample;
}

XmSample make_tom() {
    constexpr int32_t RATE = 22050;
    std::vector<int32_t> values(11000);
    Decay pitch = decay_start(RATE * 80 / 1000);
    Decay level = decay_start(RATE * 170 / 1000);
    Noise noise = noise_seeded(0x544F4D21);
    OnePole low{0, 4};
    uint32_t phase = 0;
    for (int32_t& value : values) {
        int64_t millihertz = 92000 + int64_t{60000} * decay_step(pitch) / 32767;
        int32_t gain = decay_step(level);
        int64_t tone = int64_t{sine_q15(phase)} * gain / 32767;
        int64_t skin = int64_t{one_pole_step(low, noise_next(noise))} * gain / 32767 / 4;
        value = soft_clip(tone * 5 / 4 + skin);
        phase += phase_step(millihertz, RATE);
    }
    fade_tail(values, 800);
    return finish_sample(values, true, TUNING_22050, "tom");
}

// A sawtooth with a sub sine whose brightness falls over the first 24 cycles
// (a filter sweep baked into the sample), then 8 steady cycles in a loop.
XmSample make_bass() {
    constexpr int32_t CYCLE = 128;
    constexpr int32_t SWEEP_FRAMES = 24 * CYCLE;
    constexpr int32_t LOOP_FRAMES = 8 * CYCLE;
    constexpr int64_t CUTOFF_END = 72;     // sixteenths of a harmonic
    constexpr int64_t CUTOFF_START = 420;
    std::vector<int32_t> values(SWEEP_FRAMES + LOOP_FRAMES);
    for (int32_t i = 0; i < SWEEP_FRAMES + LOOP_FRAMES; ++i) {
        uint32_t phase = static_cast<uint32_t>(i % CYCLE) << 25;
        int64_t left = std::max(0, SWEEP_FRAMES - i);
        int64_t cutoff = CUTOFF_END + (CUTOFF_START - CUTOFF_END) * left * left / SWEEP_FRAMES * left /
                                          SWEEP_FRAMES / SWEEP_FRAMES;
        int64_t saw = saw_q15(phase, 48, static_cast<int32_t>(cutoff));
        values[i] = clamp_q15(saw + sine_q15(phase) / 3);
    }
    XmSample sample = finish_sample(values, true, TUNING_CYCLE_128, "bass");
    set_loop(sample, SAMPLE_FORWARD, SWEEP_FRAMES, LOOP_FRAMES);
    return sample;
}

// Three sawtooths of 127, 128 and 129 cycles over the 8192 frames: a slow
// chorus that repeats exactly with the loop.
XmSample make_pad() {
    constexpr int32_t LENGTH = 8192;
    static const uint32_t CYCLES[3] = {127, 128, 129};
    std::vector<int32_t> values(LENGTH);
    for (int32_t i = 0; i < LENGTH; ++i) {
        int64_t sum = 0;
        for (uint32_t cycles : CYCLES) sum += saw_q15(static_cast<uint32_t>(i) * cycles << 19, 16, 72);
        values[i] = clamp_q15(sum / 2);
    }
    XmSample sample = finish_sample(values, true, TUNING_CYCLE_64, "pad");
    set_loop(sample, SAMPLE_PINGPONG, 0, LENGTH);
    return sample;
}

// A pulse whose width swings once over the loop, blended with a slightly
// detuned sawtooth.
XmSample make_lead() {
    constexpr int32_t LENGTH = 8192;
    std::vector<int32_t> values(LENGTH);
    for (int32_t i = 0; i < LENGTH; ++i) {
        uint32_t phase = static_cast<uint32_t>(i) * 128u << 19;
        uint32_t detuned = static_cast<uint32_t>(i) * 129u << 19;
        // Width 0.5 +- 0.22 of a cycle.
        int64_t width = (int64_t{1} << 31) + int64_t{sine_q15(static_cast<uint32_t>(i) << 19)} * 28836;
        int64_t pulse = int64_t{saw_q15(phase, 24, 200)} - saw_q15(phase - static_cast<uint32_t>(width), 24, 200);
        values[i] = clamp_q15(pulse + saw_q15(detuned, 24, 200) / 2);
    }
    XmSample sample = finish_sample(values, true, TUNING_CYCLE_64, "lead");
    set_loop(sample, SAMPLE_FORWARD, 0, LENGTH);
    return sample;
}

// One cycle of a soft square in 8 bits: the chip-tune voice for arpeggios.
XmSample make_arp() {
    constexpr int32_t CYCLE = 64;
    std::vector<int32_t> values(CYCLE);
    for (int32_t i = 0; i < CYCLE; ++i) values[i] = square_q15(static_cast<uint32_t>(i) << 26, 15, 160);
    XmSample sample = finish_sample(values, false, TUNING_CYCLE_64, "arp");
    set_loop(sample, SAMPLE_FORWARD, 0, CYCLE);
    return sample;
}

XmEnvelope envelope(std::vector<std::array<uint16_t, 2>> points, uint8_t flags, uint8_t sustain = 0,
                    uint8_t loop_start = 0, uint8_t loop_end = 0) {
    XmEnvelope result;
    result.points = std::move(points);
    result.flags = flags;
    result.sustain_point = sustain;
    result.loop_start = loop_start;
    result.loop_end = loop_end;
    return result;
}

XmInstrument instrument(const char* name, XmSample sample, uint8_t volume, uint8_t panning) {
    XmInstrument result;
    result.name = name;
    sample.volume = volume;
    sample.panning = panning;
    result.samples.push_back(std::move(sample));
    return result;
}

}  // namespace

std::vector<XmInstrument> build_instruments() {
    std::vector<XmInstrument> instruments;
    instruments.push_back(instrument("kick", make_kick(), 64, 128));
    instruments.push_back(instrument("snare", make_snare(), 52, 120));
    instruments.push_back(instrument("hat", make_hat(), 40, 150));

    XmInstrument crash = instrument("crash", make_crash(), 40, 100);
    crash.volume_envelope = envelope({{0, 64}, {6, 46}, {30, 24}, {80, 10}, {160, 0}}, ENVELOPE_FLAG_ON);
    crash.fadeout = 400;
    instruments.push_back(crash);

    instruments.push_back(instrument("tom", make_tom(), 56, 128));

    XmInstrument bass = instrument("bass", make_bass(), 50, 128);
    bass.volume_envelope =
        envelope({{0, 64}, {3, 60}, {20, 46}, {40, 42}}, ENVELOPE_FLAG_ON | ENVELOPE_FLAG_SUSTAIN, 3);
    bass.fadeout = 1600;
    instruments.push_back(bass);

    XmInstrument pad = instrument("pad", make_pad(), 40, 128);
    pad.volume_envelope =
        envelope({{0, 0}, {12, 50}, {30, 64}, {60, 52}}, ENVELOPE_FLAG_ON | ENVELOPE_FLAG_SUSTAIN, 3);
    pad.panning_envelope = envelope({{0, 32}, {40, 44}, {120, 20}, {160, 32}},
                                    ENVELOPE_FLAG_ON | ENVELOPE_FLAG_LOOP, 0, 0, 3);
    pad.fadeout = 400;
    pad.vibrato_depth = 3;
    pad.vibrato_rate = 6;
    instruments.push_back(pad);

    XmInstrument lead = instrument("lead", make_lead(), 48, 128);
    lead.volume_envelope =
        envelope({{0, 20}, {2, 64}, {10, 54}, {30, 48}}, ENVELOPE_FLAG_ON | ENVELOPE_FLAG_SUSTAIN, 3);
    lead.fadeout = 900;
    lead.vibrato_sweep = 50;
    lead.vibrato_depth = 8;
    lead.vibrato_rate = 20;
    instruments.push_back(lead);

    XmInstrument arp = instrument("arp", make_arp(), 36, 128);
    arp.volume_envelope =
        envelope({{0, 64}, {3, 44}, {10, 26}, {30, 14}, {70, 6}, {120, 0}}, ENVELOPE_FLAG_ON);
    arp.panning_envelope =
        envelope({{0, 20}, {24, 44}, {48, 20}}, ENVELOPE_FLAG_ON | ENVELOPE_FLAG_LOOP, 0, 0, 2);
    arp.fadeout = 800;
    instruments.push_back(arp);
    return instruments;
}
