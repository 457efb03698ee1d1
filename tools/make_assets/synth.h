// Integer building blocks for the instrument samples: sine, band-limited
// oscillators, noise and simple filters. Everything is fixed point so that
// the generated samples are the same bytes on every build and machine.
//
// Units: a phase is a 32-bit fraction of a turn (2^32 = one cycle); a Q15
// value is a sample value scaled so that 32767 is 1.0; a Q30 value has 2^30
// as 1.0.
#pragma once

#include <cstdint>
#include <vector>

// Sine of a phase, -32767..32767; the error is below one unit.
int32_t sine_q15(uint32_t phase);

// Sum of harmonics 1..harmonic_count of a sawtooth (amplitude 1/k) with an
// extra low-pass weight c^2 / (c^2 + k^2), c = cutoff / 16 (the cutoff is
// in sixteenths of a harmonic); cutoff 0 means none.
// A plain saw peaks at about 0.72 of full scale.
int32_t saw_q15(uint32_t phase, int32_t harmonic_count, int32_t cutoff);
// Odd harmonics only: a band-limited square.
int32_t square_q15(uint32_t phase, int32_t harmonic_count, int32_t cutoff);

// A white-noise source: xorshift32 from a fixed seed.
struct Noise {
    uint32_t state;  // never 0
};
Noise noise_seeded(uint32_t seed);
int32_t noise_next(Noise& noise);  // -32768..32767

// One-pole low-pass: output follows input by 1/2^shift of the difference a frame.
struct OnePole {
    int32_t value;  // the filtered value, Q15 scale
    int32_t shift;  // 0..15: larger is darker
};
int32_t one_pole_step(OnePole& filter, int32_t input);

// Exponential decay: level loses 1/frames of itself every frame, so it falls to
// about 37% after `frames` frames.
struct Decay {
    int64_t level;   // Q30, starts at 1.0
    int64_t frames;  // time constant in frames, >= 1
};
Decay decay_start(int64_t frames);
int32_t decay_step(Decay& decay);  // the level before the step, Q15

// Phase step per frame for a frequency at a sample rate: 2^32 * hz / rate, with
// the frequency given in thousandths of a hertz.
uint32_t phase_step(int64_t millihertz, int64_t rate);

// Scales the values so that the largest magnitude becomes `peak`.
void normalise(std::vector<int32_t>& values, int32_t peak);
