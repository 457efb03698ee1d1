#include "tools/make_assets/synth.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Taylor coefficients of sin(x * pi / 2) for x in 0..1, in Q30. Up to x^9 the
// remainder is below 4e-6, well under one Q15 unit.
constexpr int64_t SINE_TERMS[5] = {1686629713, -693598668, 85569306, -5026995, 172272};
constexpr int64_t ONE_Q30 = int64_t{1} << 30;

// sin(x * pi / 2) for x in Q30, 0..1.
int64_t quarter_sine_q30(int64_t x) {
    int64_t x2 = (x * x) >> 30;
    int64_t sum = SINE_TERMS[4];
    for (int term = 3; term >= 0; --term) sum = SINE_TERMS[term] + ((sum * x2) >> 30);
    return (sum * x) >> 30;
}

}  // namespace

int32_t sine_q15(uint32_t phase) {
    uint32_t quarter = phase >> 30;
    int64_t x = phase & 0x3FFFFFFF;
    if (quarter & 1) x = ONE_Q30 - x;
    int64_t value = (quarter_sine_q30(x) * 32767 + (ONE_Q30 >> 1)) >> 30;
    return static_cast<int32_t>(quarter >= 2 ? -value : value);
}

namespace {

int32_t harmonic_sum(uint32_t phase, int32_t harmonic_count, int32_t cutoff, int32_t stride) {
    int64_t sum = 0;
    int64_t cutoff2 = int64_t{cutoff} * cutoff;
    for (int32_t k = 1; k <= harmonic_count; k += stride) {
        // Weights in Q16: 1/k, times the low-pass curve when there is one.
        int64_t weight = 65536 / k;
        int64_t k16 = int64_t{k} * 16;
        if (cutoff > 0) weight = weight * cutoff2 / (cutoff2 + k16 * k16);
        sum += weight * sine_q15(phase * static_cast<uint32_t>(k));
    }
    // A plain saw peaks near 1.85 (with the Gibbs overshoot): scale that to about 0.72.
    return static_cast<int32_t>((sum * 25) >> 22);
}

}  // namespace

int32_t saw_q15(uint32_t phase, int32_t harmonic_count, int32_t cutoff) {
    return harmonic_sum(phase, harmonic_count, cutoff, 1);
}

int32_t square_q15(uint32_t phase, int32_t harmonic_count, int32_t cutoff) {
    return harmonic_sum(phase, harmonic_count, cutoff, 2);
}

Noise noise_seeded(uint32_t seed) { return Noise{seed == 0 ? 0x9E3779B9u : seed}; }

int32_t noise_next(Noise& noise) {
    uint32_t x = noise.state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    noise.state = x;
    return static_cast<int32_t>(x >> 16) - 32768;
}

int32_t one_pole_step(OnePole& filter, int32_t input) {
    // Division instead of a shift keeps the rounding symmetric for negative values.
    filter.value += (input - filter.value) / (1 << filter.shift);
    return filter.value;
}

Decay decay_start(int64_t frames) { return Decay{ONE_Q30, frames < 1 ? 1 : frames}; }

int32_t decay_step(Decay& decay) {
    int32_t level = static_cast<int32_t>(decay.level >> 15);
    decay.level -= decay.level / decay.frames;
    return level;
}

uint32_t phase_step(int64_t millihertz, int64_t rate) {
    return static_cast<uint32_t>((millihertz << 32) / (rate * 1000));
}

void normalise(std::vector<int32_t>& values, int32_t peak) {
    int64_t largest = 0;
    for (int32_t value : values) largest = std::max<int64_t>(largest, std::llabs(value));
    if (largest == 0) return;
    for (int32_t& value : values) value = static_cast<int32_t>(int64_t{value} * peak / largest);
}
