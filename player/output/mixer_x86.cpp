// The mixer's loops on x86 vector units, built only where the compiler
// targets x86 with SSE2 (the build checks): an SSE2 set, which every x86-64
// processor runs, an AVX2 set for processors with 256-bit units and an
// AVX-512 set for those with 512-bit ones, chosen at run time. All follow the
// one-frame rule of mixer.cpp with the same roundings in the same order, lane
// by lane: products and sums are separate instructions, never fused.
//
// Where the time goes: on the processors measured (AMD Zen), adds and
// conversions between integers, floats and doubles share two of the four
// floating-point pipes, and gathering the sample pairs of scattered positions
// costs a load and an insert each; the wide loops avoid both where integer
// operations serve.

// GCC 12's 512-bit intrinsics pass an uninitialised placeholder to their
// builtins, which -Wmaybe-uninitialized reports at every use (clang has no
// such warning).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#include "player/output/mixer_loops.h"

namespace korvanti {

namespace {

__m128d load_frame(const float* frame) {
    return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64((const __m128i*)frame)));
}

void store_frame(float* frame, __m128d value) {
    _mm_storel_epi64((__m128i*)frame, _mm_castps_si128(_mm_cvtpd_ps(value)));
}

// (left, right) in the lanes of one pair, scaled by 2^-31 (see interpolate_scaled).
__m128d scaled_gains(MixGains gains) {
    return _mm_mul_pd(_mm_set_pd(gains.right, gains.left), _mm_set1_pd(FRACTION_SCALE));
}

MixGains unscaled_gains(__m128d scaled) {
    __m128d gains = _mm_mul_pd(scaled, _mm_set1_pd(FRACTION_UNSCALE));
    return MixGains{_mm_cvtsd_f64(gains), _mm_cvtsd_f64(_mm_unpackhi_pd(gains, gains))};
}

// Frames i and i + 1 as one 32-bit word, s[i] in the low half (x86 is little-endian).
int32_t sample_pair(const int16_t* data, uint64_t position) {
    int32_t pair;
    std::memcpy(&pair, data + (position >> 32), sizeof pair);
    return pair;
}

// One frame at `at` += x * gains, gains scaled.
void add_frame(float* at, const int16_t* data, uint64_t read, __m128d gains) {
    __m128d x = _mm_set1_pd(interpolate_scaled(data, read));
    store_frame(at, _mm_add_pd(load_frame(at), _mm_mul_pd(x, gains)));
}

// Gains fixed for the whole segment: two frames per round, the interpolation
// of both in one pair of doubles.
uint64_t mix_steady_sse2(float* out, int32_t len, const MixSource& source, MixGains segment_gains) {
    const int16_t* data = source.data;
    uint64_t delta = read_position_delta(source.step, source.forward);
    uint64_t read = source.position & ~uint64_t{1};
    __m128d gains = scaled_gains(segment_gains);
    __m128i fractions =
        _mm_setr_epi32((int32_t)(uint32_t)read, (int32_t)(uint32_t)(read + delta), 0, 0);
    const __m128i fraction_step = _mm_set1_epi32((int32_t)(uint32_t)(2 * delta));
    const __m128d whole_scale = _mm_set1_pd(2147483648.0);
    int32_t k = 0;
    for (; k + 2 <= len; k += 2) {
        uint64_t read1 = read + delta;
        __m128i pairs = _mm_unpacklo_epi32(_mm_cvtsi32_si128(sample_pair(data, read)),
                                           _mm_cvtsi32_si128(sample_pair(data, read1)));
        read = read1 + delta;
        // s[i] and s[i+1] - s[i] as 32-bit words, each by one multiply-add
        // of the 16-bit halves (exact: the sums fit 17 bits).
        __m128i first = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00000001));
        __m128i difference = _mm_madd_epi16(pairs, _mm_set1_epi32(0x0001FFFF));
        __m128d f = _mm_cvtepi32_pd(_mm_srli_epi32(fractions, 1));
        fractions = _mm_add_epi32(fractions, fraction_step);
        __m128d x = _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(first), whole_scale),
                               _mm_mul_pd(f, _mm_cvtepi32_pd(difference)));
        __m128 pair = _mm_loadu_ps(out + 2 * k);
        __m128d first_frame =
            _mm_add_pd(_mm_cvtps_pd(pair), _mm_mul_pd(_mm_unpacklo_pd(x, x), gains));
        __m128d second_frame = _mm_add_pd(_mm_cvtps_pd(_mm_movehl_ps(pair, pair)),
                                          _mm_mul_pd(_mm_unpackhi_pd(x, x), gains));
        _mm_storeu_ps(out + 2 * k,
                      _mm_movelh_ps(_mm_cvtpd_ps(first_frame), _mm_cvtpd_ps(second_frame)));
    }
    if (k < len) {
        add_frame(out + 2 * k, data, read, gains);
        read += delta;
    }
    return read + (source.step & 1);
}

// A ramp: one frame per round, the gains carried in double.
uint64_t mix_ramp_sse2(float* out, int32_t len, const MixSource& source, MixRamp* ramp) {
    uint64_t delta = read_position_delta(source.step, source.forward);
    uint64_t read = source.position & ~uint64_t{1};
    __m128d gains = scaled_gains(ramp->gains);
    __m128d steps = scaled_gains(ramp->steps);
    for (int32_t k = 0; k < len; ++k) {
        add_frame(out + 2 * k, source.data, read, gains);
        gains = _mm_add_pd(gains, steps);
        read += delta;
    }
    ramp->gains = unscaled_gains(gains);
    return read + (source.step & 1);
}

// Clamped first, then rounded by cvtps2dq, which rounds to nearest, ties to
// even, in the default rounding mode (see clip_plain). NaN compares unordered
// with itself and becomes 0.
__m128i clip_four(__m128 value) {
    value = _mm_and_ps(value, _mm_cmpord_ps(value, value));
    value = _mm_min_ps(_mm_max_ps(value, _mm_set1_ps(-32768.0f)), _mm_set1_ps(32767.0f));
    return _mm_cvtps_epi32(value);
}

void clip_sse2(int16_t* dst, const float* src, int64_t value_count) {
    int64_t k = 0;
    for (; k + 8 <= value_count; k += 8) {
        __m128i first = clip_four(_mm_loadu_ps(src + k));
        __m128i second = clip_four(_mm_loadu_ps(src + k + 4));
        _mm_storeu_si128((__m128i*)(dst + k), _mm_packs_epi32(first, second));
    }
    for (; k < value_count; ++k) dst[k] = (int16_t)_mm_cvtsi128_si32(clip_four(_mm_set_ss(src[k])));
}

// The wide loops: four frames per round on 256-bit units. The interpolation
// is the exact integer of interpolate_scaled, s[i] * 2^31 + f * (s[i+1] -
// s[i]) below 2^48 in magnitude, formed by 32-by-32-bit multiplies in 64-bit
// lanes and converted once: adding the bits of 2^52 + 2^51 and subtracting
// that double is exact for any integer below 2^51 in magnitude.

constexpr int64_t DOUBLE_BIAS_BITS = 0x4338000000000000;  // the double 2^52 + 2^51
constexpr double DOUBLE_BIAS = 6755399441055744.0;

// Where the next four frames read. The four lanes hold frames 0, 2, 1, 3 of
// the round in that order, so that each 128-bit half holds the x of two
// frames that become neighbours in the output by an in-lane duplication.
struct WideReader {
    const int16_t* data;
    uint64_t read;          // position of the next frame, bit 0 clear
    uint64_t delta;         // read_position_delta
    __m256i fractions;      // low word of read + k * delta in the low half of lane (0, 2, 1, 3)[k]
    __m256i fraction_step;  // low word of 4 * delta in the low half of every lane
};

__attribute__((target("avx2")))
WideReader wide_reader(const MixSource& source) {
    uint64_t delta = read_position_delta(source.step, source.forward);
    uint64_t read = source.position & ~uint64_t{1};
    __m256i fractions = _mm256_setr_epi64x((int64_t)(uint32_t)read, (int64_t)(uint32_t)(read + 2 * delta),
                                           (int64_t)(uint32_t)(read + delta),
                                           (int64_t)(uint32_t)(read + 3 * delta));
    return WideReader{source.data, read, delta, fractions,
                      _mm256_set1_epi64x((int64_t)(uint32_t)(4 * delta))};
}

// x of the next four frames, times 2^31, in lanes (x0, x2, x1, x3); moves the reader on.
__attribute__((target("avx2")))
inline __m256d interpolate_four(WideReader* reader) {
    uint64_t read1 = reader->read + reader->delta;
    uint64_t read2 = read1 + reader->delta;
    uint64_t read3 = read2 + reader->delta;
    const int16_t* data = reader->data;
    // Pair k in the low half of its lane; only low halves count below.
    __m128i low = _mm_insert_epi32(_mm_cvtsi32_si128(sample_pair(data, reader->read)),
                                   sample_pair(data, read2), 2);
    __m128i high = _mm_insert_epi32(_mm_cvtsi32_si128(sample_pair(data, read1)), sample_pair(data, read3), 2);
    __m256i pairs = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
    reader->read = read3 + reader->delta;
    // s[i] and s[i+1] - s[i] as 32-bit words, each by one multiply-add of
    // the 16-bit halves (exact: the sums fit 17 bits).
    __m256i first = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00000001));
    __m256i difference = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x0001FFFF));
    __m256i f = _mm256_srli_epi32(reader->fractions, 1);
    reader->fractions = _mm256_add_epi32(reader->fractions, reader->fraction_step);
    // Signed 32-by-32-bit products of the low halves: f * difference, and
    // s[i] * -2^31 (the low half 0x80000000 reads as -2^31).
    __m256i product = _mm256_mul_epi32(f, difference);
    __m256i whole = _mm256_mul_epi32(first, _mm256_set1_epi64x(0x80000000));
    __m256i x = _mm256_add_epi64(_mm256_sub_epi64(product, whole), _mm256_set1_epi64x(DOUBLE_BIAS_BITS));
    return _mm256_sub_pd(_mm256_castsi256_pd(x), _mm256_set1_pd(DOUBLE_BIAS));
}

// Two frames at `at` += x * gains, with x = (x0 x0 x1 x1) and gains (left right left right).
__attribute__((target("avx2")))
inline void add_two_frames(float* at, __m256d x, __m256d gains) {
    __m256d sum = _mm256_add_pd(_mm256_cvtps_pd(_mm_loadu_ps(at)), _mm256_mul_pd(x, gains));
    _mm_storeu_ps(at, _mm256_cvtpd_ps(sum));
}

// clip_sse2 eight values at a time; packing works within 128-bit halves, so
// the quarters are put back in order.
__attribute__((target("avx2")))
inline __m256i clip_eight(__m256 value) {
    value = _mm256_and_ps(value, _mm256_cmp_ps(value, value, _CMP_ORD_Q));
    value = _mm256_min_ps(_mm256_max_ps(value, _mm256_set1_ps(-32768.0f)), _mm256_set1_ps(32767.0f));
    return _mm256_cvtps_epi32(value);
}

__attribute__((target("avx2")))
void clip_avx2(int16_t* dst, const float* src, int64_t value_count) {
    int64_t k = 0;
    for (; k + 16 <= value_count; k += 16) {
        __m256i first = clip_eight(_mm256_loadu_ps(src + k));
        __m256i packed = _mm256_packs_epi32(first, clip_eight(_mm256_loadu_ps(src + k + 8)));
        _mm256_storeu_si256((__m256i*)(dst + k), _mm256_permute4x64_epi64(packed, 0xD8));
    }
    if (k < value_count) clip_sse2(dst + k, src + k, value_count - k);
}

// A few frames are not worth the wide loop's set-up: below this the SSE2 loops run.
constexpr int32_t WIDE_MIN_FRAMES = 8;

__attribute__((target("avx2")))
uint64_t mix_steady_avx2(float* out, int32_t len, const MixSource& source, MixGains segment_gains) {
    if (len < WIDE_MIN_FRAMES) return mix_steady_sse2(out, len, source, segment_gains);
    WideReader reader = wide_reader(source);
    __m128d scaled = scaled_gains(segment_gains);
    __m256d g = _mm256_set_m128d(scaled, scaled);
    int32_t k = 0;
    for (; k + 4 <= len; k += 4) {
        __m256d x = interpolate_four(&reader);
        add_two_frames(out + 2 * k, _mm256_unpacklo_pd(x, x), g);      // x0 x0 x1 x1
        add_two_frames(out + 2 * k + 4, _mm256_unpackhi_pd(x, x), g);  // x2 x2 x3 x3
    }
    for (; k < len; ++k) {
        add_frame(out + 2 * k, reader.data, reader.read, scaled);
        reader.read += reader.delta;
    }
    return reader.read + (source.step & 1);
}

// The gains grow one frame at a time in double, as in mix_ramp_sse2. Where
// the sums are exact (MixRamp), the gains of the four frames of a round are
// formed side by side, each from the one four frames before; otherwise one
// after another, which takes four additions' latency per round.
__attribute__((target("avx2")))
uint64_t mix_ramp_avx2(float* out, int32_t len, const MixSource& source, MixRamp* ramp) {
    if (len < WIDE_MIN_FRAMES) return mix_ramp_sse2(out, len, source, ramp);
    WideReader reader = wide_reader(source);
    __m128d g = scaled_gains(ramp->gains);
    __m128d steps = scaled_gains(ramp->steps);
    int32_t k = 0;
    if (ramp->sums_exact) {
        __m128d two_steps = _mm_add_pd(steps, steps);
        __m256d first = _mm256_set_m128d(_mm_add_pd(g, steps), g);  // frames 0, 1 of the round
        __m256d second = _mm256_add_pd(first, _mm256_set_m128d(two_steps, two_steps));
        __m128d four_steps = _mm_add_pd(two_steps, two_steps);
        __m256d round_steps = _mm256_set_m128d(four_steps, four_steps);
        for (; k + 4 <= len; k += 4) {
            __m256d x = interpolate_four(&reader);
            add_two_frames(out + 2 * k, _mm256_unpacklo_pd(x, x), first);
            add_two_frames(out + 2 * k + 4, _mm256_unpackhi_pd(x, x), second);
            first = _mm256_add_pd(first, round_steps);
            second = _mm256_add_pd(second, round_steps);
        }
        g = _mm256_castpd256_pd128(first);
    } else {
        for (; k + 4 <= len; k += 4) {
            __m256d x = interpolate_four(&reader);
            __m128d g1 = _mm_add_pd(g, steps);
            __m128d g2 = _mm_add_pd(g1, steps);
            __m128d g3 = _mm_add_pd(g2, steps);
            add_two_frames(out + 2 * k, _mm256_unpacklo_pd(x, x), _mm256_set_m128d(g1, g));
            add_two_frames(out + 2 * k + 4, _mm256_unpackhi_pd(x, x), _mm256_set_m128d(g3, g2));
            g = _mm_add_pd(g3, steps);
        }
    }
    for (; k < len; ++k) {
        add_frame(out + 2 * k, reader.data, reader.read, g);
        g = _mm_add_pd(g, steps);
        reader.read += reader.delta;
    }
    ramp->gains = unscaled_gains(g);
    return reader.read + (source.step & 1);
}

// The 512-bit loops: eight frames per round. The sample pairs of all eight
// come from one 64-byte load of 32 sample frames, picked out by a permutation
// of 16-bit words, which is why they need steps below about 4.28 frames (the
// eight frames of a round then lie within 31 sample frames); other segments
// go to the AVX2 loops. Near the end of the data the load is masked: the
// words past it are neither read nor used. The last round of a segment may
// be short: its missing frames are computed from whatever the window holds
// and never stored.
constexpr int32_t WINDOW_FRAMES = 32;
constexpr int32_t ROUND_FRAMES = 8;

// Where the next eight frames read. Lanes hold frames 0, 4, 1, 5, 2, 6, 3, 7
// of the round, so that an in-lane duplication gives four neighbouring frames.
struct WindowReader {
    const int16_t* data;
    uint64_t available;     // frames of data that may be read
    uint64_t read;          // position of the next frame, bit 0 clear
    uint64_t delta;         // read_position_delta
    bool forward;
    uint64_t round_lowest;  // from a full round's first position to its lowest: 0 forward, 7 * delta backward
    __m512i offsets;        // k * delta in lane (0, 4, 1, 5, 2, 6, 3, 7)[k]
};

// Whether the frames of one round, and the frame after each, lie within one window.
bool window_holds_round(uint64_t delta, bool forward) {
    uint64_t reach = forward ? delta : uint64_t{0} - delta;
    return reach <= ((uint64_t)(WINDOW_FRAMES - 2) << 32) / (ROUND_FRAMES - 1);
}

__attribute__((target("avx512f,avx512bw,avx512dq,avx512vl")))
WindowReader window_reader(const MixSource& source) {
    uint64_t delta = read_position_delta(source.step, source.forward);
    __m512i offsets =
        _mm512_mullo_epi64(_mm512_set1_epi64((int64_t)delta), _mm512_setr_epi64(0, 4, 1, 5, 2, 6, 3, 7));
    return WindowReader{source.data, source.available, source.position & ~uint64_t{1}, delta, source.forward,
                        source.forward ? 0 : 7 * delta, offsets};
}

// x of the next `frames` (1..8) frames, times 2^31, in lanes (x0, x4, x1, x5,
// x2, x6, x3, x7); moves the reader on. The window starts at the lowest of
// those frames, which lies inside the data (segment_in_bounds) like every
// frame's pair.
__attribute__((target("avx512f,avx512bw,avx512dq,avx512vl")))
inline __m512d interpolate_eight(WindowReader* reader, int32_t frames) {
    uint64_t lowest = frames == ROUND_FRAMES ? reader->read + reader->round_lowest
                      : reader->forward      ? reader->read
                                             : reader->read + (uint64_t)(frames - 1) * reader->delta;
    uint64_t base = lowest >> 32;
    uint64_t words_left = reader->available - base;
    __m512i window;
    if (words_left >= WINDOW_FRAMES) {
        window = _mm512_loadu_si512(reader->data + base);
    } else {
        window = _mm512_maskz_loadu_epi16((__mmask32{1} << words_left) - 1, reader->data + base);
    }
    // Positions relative to the window: the whole part is the word index of
    // s[i] (of a frame past the segment it may exceed the window and wrap:
    // that lane is not stored), the low 32 bits are the fraction.
    __m512i relative =
        _mm512_add_epi64(_mm512_set1_epi64((int64_t)(reader->read - (base << 32))), reader->offsets);
    __m512i index = _mm512_srli_epi64(relative, 32);
    __m512i words =
        _mm512_add_epi64(_mm512_or_si512(index, _mm512_slli_epi64(index, 16)), _mm512_set1_epi64(0x10000));
    __m512i pairs = _mm512_permutexvar_epi16(words, window);  // s[i] and s[i+1] in the low half of each lane
    __m512i first = _mm512_srai_epi32(_mm512_slli_epi32(pairs, 16), 16);
    __m512i difference = _mm512_sub_epi32(_mm512_srai_epi32(pairs, 16), first);
    __m512i f = _mm512_srli_epi32(relative, 1);
    __m512i product = _mm512_mul_epi32(f, difference);
    __m512i whole = _mm512_mul_epi32(first, _mm512_set1_epi64(0x80000000));
    reader->read += (uint64_t)frames * reader->delta;
    return _mm512_cvtepi64_pd(_mm512_sub_epi64(product, whole));  // exact: below 2^53
}

// Four frames at `at` += x * gains, x = (x0 x0 x1 x1 x2 x2 x3 x3), gains
// (left right ...); only the values in `values` (a mask of the 8 floats).
__attribute__((target("avx512f,avx512bw,avx512dq,avx512vl")))
inline void add_four_frames(float* at, __m512d x, __m512d gains, __mmask8 values) {
    __m512d sum = _mm512_add_pd(_mm512_cvtps_pd(_mm256_maskz_loadu_ps(values, at)), _mm512_mul_pd(x, gains));
    _mm256_mask_storeu_ps(at, values, _mm512_cvtpd_ps(sum));
}

// One round of `frames` (1..8) frames at `at`.
__attribute__((target("avx512f,avx512bw,avx512dq,avx512vl")))
inline void add_round(float* at, WindowReader* reader, int32_t frames, __m512d first_gains,
                      __m512d second_gains) {
    __m512d x = interpolate_eight(reader, frames);
    __mmask8 first = (__mmask8)(frames >= 4 ? 0xFFu : (1u << (2 * frames)) - 1);
    __mmask8 second = (__mmask8)(frames >= 8 ? 0xFFu : frames <= 4 ? 0u : (1u << (2 * (frames - 4))) - 1);
    add_four_frames(at, _mm512_unpacklo_pd(x, x), first_gains, first);
    add_four_frames(at + 8, _mm512_unpackhi_pd(x, x), second_gains, second);
}

__attribute__((target("avx512f,avx512bw,avx512dq,avx512vl")))
uint64_t mix_steady_avx512(float* out, int32_t len, const MixSource& source, MixGains segment_gains) {
    uint64_t delta = read_position_delta(source.step, source.forward);
    if (!window_holds_round(delta, source.forward)) return mix_steady_avx2(out, len, source, segment_gains);
    WindowReader reader = window_reader(source);
    __m512d g = _mm512_broadcast_f64x2(scaled_gains(segment_gains));
    int32_t k = 0;
    for (; k + ROUND_FRAMES <= len; k += ROUND_FRAMES) {
        __m512d x = interpolate_eight(&reader, ROUND_FRAMES);
        add_four_frames(out + 2 * k, _mm512_unpacklo_pd(x, x), g, 0xFF);
        add_four_frames(out + 2 * k + 8, _mm512_unpackhi_pd(x, x), g, 0xFF);
    }
    if (k < len) add_round(out + 2 * k, &reader, len - k, g, g);
    return reader.read + (source.step & 1);
}

// Only ramps with exact sums: the gains of a round's eight frames side by side.
__attribute__((target("avx512f,avx512bw,avx512dq,avx512vl")))
uint64_t mix_ramp_avx512(float* out, int32_t len, const MixSource& source, MixRamp* ramp) {
    uint64_t delta = read_position_delta(source.step, source.forward);
    if (!ramp->sums_exact || !window_holds_round(delta, source.forward)) {
        return mix_ramp_avx2(out, len, source, ramp);
    }
    WindowReader reader = window_reader(source);
    __m128d g = scaled_gains(ramp->gains);
    __m128d steps = scaled_gains(ramp->steps);
    __m128d two_steps = _mm_add_pd(steps, steps);
    __m128d four_steps = _mm_add_pd(two_steps, two_steps);
    __m256d first_pair = _mm256_set_m128d(_mm_add_pd(g, steps), g);
    __m256d second_pair = _mm256_add_pd(first_pair, _mm256_set_m128d(two_steps, two_steps));
    __m512d first = _mm512_insertf64x4(_mm512_castpd256_pd512(first_pair), second_pair, 1);  // frames 0..3
    __m512d second = _mm512_add_pd(first, _mm512_broadcast_f64x2(four_steps));              // frames 4..7
    __m512d round_steps = _mm512_broadcast_f64x2(_mm_add_pd(four_steps, four_steps));
    int32_t k = 0;
    for (; k + ROUND_FRAMES <= len; k += ROUND_FRAMES) {
        __m512d x = interpolate_eight(&reader, ROUND_FRAMES);
        add_four_frames(out + 2 * k, _mm512_unpacklo_pd(x, x), first, 0xFF);
        add_four_frames(out + 2 * k + 8, _mm512_unpackhi_pd(x, x), second, 0xFF);
        first = _mm512_add_pd(first, round_steps);
        second = _mm512_add_pd(second, round_steps);
    }
    g = _mm512_castpd512_pd128(first);
    if (k < len) {
        add_round(out + 2 * k, &reader, len - k, first, second);
        // The gains after the last frame: exact like every sum of the ramp.
        g = _mm_add_pd(g, _mm_mul_pd(_mm_set1_pd((double)(len - k)), steps));
    }
    ramp->gains = unscaled_gains(g);
    return reader.read + (source.step & 1);
}

// clip_sse2 sixteen values at a time, the rest masked; the narrowing to 16
// bits saturates, which the clamp has made a no-op.
__attribute__((target("avx512f,avx512bw,avx512dq,avx512vl")))
inline __m512i clip_sixteen(__m512 value) {
    value = _mm512_maskz_mov_ps(_mm512_cmp_ps_mask(value, value, _CMP_ORD_Q), value);
    value = _mm512_min_ps(_mm512_max_ps(value, _mm512_set1_ps(-32768.0f)), _mm512_set1_ps(32767.0f));
    return _mm512_cvtps_epi32(value);
}

__attribute__((target("avx512f,avx512bw,avx512dq,avx512vl")))
void clip_avx512(int16_t* dst, const float* src, int64_t value_count) {
    int64_t k = 0;
    for (; k + 16 <= value_count; k += 16) {
        _mm256_storeu_si256((__m256i*)(dst + k), _mm512_cvtsepi32_epi16(clip_sixteen(_mm512_loadu_ps(src + k))));
    }
    if (k < value_count) {
        __mmask16 rest = (__mmask16)((1u << (value_count - k)) - 1);
        _mm512_mask_cvtsepi32_storeu_epi16(dst + k, rest, clip_sixteen(_mm512_maskz_loadu_ps(rest, src + k)));
    }
}

constexpr MixLoops SSE2_LOOPS = {MixLoop::SSE2, "sse2", mix_steady_sse2, mix_ramp_sse2, clip_sse2};
constexpr MixLoops AVX2_LOOPS = {MixLoop::AVX2, "avx2", mix_steady_avx2, mix_ramp_avx2, clip_avx2};
constexpr MixLoops AVX512_LOOPS = {MixLoop::AVX512, "avx512", mix_steady_avx512, mix_ramp_avx512, clip_avx512};

// Asked while static data is set up, perhaps before the runtime has looked
// at the processor: look first.
bool avx2_present() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

// The 512-bit loops hand some segments to the AVX2 ones.
bool avx512_present() {
    return avx2_present() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
}

}  // namespace

const MixLoops* target_mix_loops(MixLoop kind) {
    switch (kind) {
        case MixLoop::SSE2: return &SSE2_LOOPS;
        case MixLoop::AVX2: return avx2_present() ? &AVX2_LOOPS : nullptr;
        case MixLoop::AVX512: return avx512_present() ? &AVX512_LOOPS : nullptr;
        default: return nullptr;
    }
}

}  // namespace korvanti
