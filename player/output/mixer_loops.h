// Inside the player only: the mixer's inner loops, and which set of them runs.
//
// A loop set mixes one segment whose every frame reads inside the sample data
// (mixer.cpp checks that first), with gains held fixed or ramping, and
// converts finished blocks to 16-bit PCM. The plain set is ordinary C++ and
// builds everywhere; mixer_x86.cpp adds SSE2, AVX2 and AVX-512 sets where the
// compiler targets x86. Every set gives the bits of the one-frame rule of mixer.cpp:
// they differ in speed only.
#pragma once

#include <cstdint>
#include <cstring>

namespace korvanti {

// In order of preference: by default the last one the processor runs is used.
enum class MixLoop { PLAIN, SSE2, AVX2, AVX512 };
constexpr int MIX_LOOP_COUNT = 4;

// What a segment reads. Every frame it mixes reads frames i and i + 1 inside
// the data; a loop may read further ahead as long as it stays below
// `available`.
struct MixSource {
    const int16_t* data;
    uint64_t available;  // frames of data that may be read: the sample's length + 8
    uint64_t position;   // 32.32 position of the first frame
    uint64_t step;       // 32.32 step per frame, modulo 2^64
    bool forward;        // positions grow by step (else they shrink by it)
};

// The two gains of a segment, float32 values held in double.
struct MixGains {
    double left;
    double right;
};

// A ramp: the gains of the first frame, growing by steps after each frame.
struct MixRamp {
    MixGains gains;  // on return: the gains after the last frame
    MixGains steps;
    // Every sum gains + k * steps up to the segment's length is a double, so
    // the sums may be formed in any order: ramp_sums_exact.
    bool sums_exact;
};

// Whether every gain a ramp of `frames` frames reaches, gains + k * steps for
// k = 0..frames on either side, is a double.
bool ramp_sums_exact(const MixRamp& ramp, int32_t frames);

struct MixLoops {
    MixLoop kind;
    const char* name;  // "plain", "sse2", "avx2", "avx512": for test and benchmark reports
    // len >= 1 frames with both gains fixed, added into out; returns the
    // position after the last frame.
    uint64_t (*steady)(float* out, int32_t len, const MixSource& source, MixGains gains);
    // The same during a ramp: after each frame the gains grow by the steps,
    // in double.
    uint64_t (*ramp)(float* out, int32_t len, const MixSource& source, MixRamp* ramp);
    // clip_to_pcm16 of value_count >= 1 values (twice the frames).
    void (*clip)(int16_t* dst, const float* src, int64_t value_count);
};

// The target's own sets (mixer_x86.cpp, or mixer_plain_only.cpp for the
// rest): null for a kind this build lacks or this processor cannot run.
const MixLoops* target_mix_loops(MixLoop kind);

// The set of `kind`; null when it is not available here.
const MixLoops* mix_loops_of(MixLoop kind);
// The fastest set available here: a player's default.
const MixLoops* fastest_mix_loops();

// Shared by every set.

constexpr double FRACTION_SCALE = 1.0 / 2147483648.0;  // 2^-31 per unit of the top 31 fraction bits
constexpr double FRACTION_UNSCALE = 2147483648.0;

// Positions read, with bit 0 cleared (which the interpolation ignores), form
// a plain progression: once the first step is taken every position has the
// parity of the step, so each later step moves by step & ~1 forward and by
// step + (step & 1) backward, and so does the first one counted from the
// cleared start. The position after the last frame is the next one read with
// the step's bit 0 put back.
inline uint64_t read_position_delta(uint64_t step, bool forward) {
    return forward ? step & ~uint64_t{1} : uint64_t{0} - (step + (step & 1));
}

// Linear interpolation at a position whose frames i and i + 1 are in the
// data, times 2^31, as an integer: s[i] * 2^31 + (top 31 fraction bits) *
// (s[i+1] - s[i]) stays below 2^48, so it converts to double exactly, and
// multiplying it by a gain scaled by 2^-31 rounds exactly as x times the gain
// does (scaling by a power of two commutes with rounding, and no gain or step
// comes near the exponent limits). One integer multiply-add and one
// conversion instead of three conversions.
inline double interpolate_scaled(const int16_t* data, uint64_t position) {
    int16_t pair[2];
    std::memcpy(pair, data + (position >> 32), sizeof pair);
    int64_t fraction = static_cast<uint32_t>(position) >> 1;
    return static_cast<double>(int64_t{pair[0]} * 2147483648 + fraction * (pair[1] - pair[0]));
}

}  // namespace korvanti
