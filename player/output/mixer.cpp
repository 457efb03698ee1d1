// The mixer: every playing voice 0..63 into float stereo frames, segment by
// segment.
//
// A segment is a run of output frames over which nothing but the position
// changes: it ends at the next loop point (found once, by one 64-by-64-bit
// division), at the end of a volume ramp, or at the end of the call. Within a
// segment the inner loops only count frames.
//
// Number budget. Positions and steps are 32.32 (see mixer.h). The frame value
// x = s[i] + f * (s[i+1] - s[i]) with a 31-bit f and a 17-bit difference is
// exact in double; only the product with the gain and the sum with the float
// already in the buffer round, in double, and the sum rounds once more to
// float. Packed SSE2 doubles do the same roundings lane by lane, so the
// two-frame loop gives the bits of the one-frame rule; so do the four-frame
// loops on 256-bit units, chosen at run time where the processor has them.
//
// Where the time goes: a note change leaves the old voice looping at level 0,
// so half the voices of a busy song are often silent; they only move their
// position. The rest is the steady loops.
#include "player/output/mixer.h"

#include <immintrin.h>

#include <cmath>
#include <cstring>

#include "player/module/song.h"

Voice voice_table[VOICE_COUNT];
int32_t ramp_frames_total = 128;
float ramp_reciprocal = 1.0f / 128;

namespace {

constexpr float GAIN_SCALE = 1.0f / 255;  // 0.0039215689: level 255 rounds to gain 1.0f
constexpr double FRACTION_SCALE = 1.0 / 2147483648.0;  // 2^-31 per unit of the top 31 fraction bits
constexpr double LEVEL_SCALE = 1.0 / 256;              // 8.8 level to volume
constexpr int32_t MAX_REFLECTIONS = 4096;  // far more than any step below 256 frames needs

uint64_t voice_position(const Voice* voice) {
    return (uint64_t)voice->position_int << 32 | voice->position_frac;
}

void store_position(Voice* voice, uint64_t position) {
    voice->position_int = (uint32_t)(position >> 32);
    voice->position_frac = (uint32_t)position;
}

// step_int * 2^32 + step_frac modulo 2^64: the sign of step_int falls away.
uint64_t voice_step(const Voice* voice) {
    return (uint64_t)(uint32_t)voice->step_int << 32 | voice->step_frac;
}

template <bool FORWARD>
uint64_t advance(uint64_t position, uint64_t step) {
    position &= ~uint64_t{1};
    return FORWARD ? position + step : position - step;
}

// Linear interpolation at a position whose frames i and i + 1 are in the
// data, times 2^31, as an integer: s[i] * 2^31 + (top 31 fraction
// bits) * (s[i+1] - s[i]) stays below 2^48, so it converts to double exactly,
// and multiplying it by a gain scaled by 2^-31 rounds exactly as x times the
// gain does (scaling by a power of two commutes with rounding). One integer
// multiply-add and one conversion instead of three conversions.
double interpolate_scaled(const int16_t* data, uint64_t position) {
    int16_t pair[2];
    std::memcpy(pair, data + (position >> 32), sizeof pair);
    int64_t fraction = (uint32_t)position >> 1;
    return (double)((int64_t)pair[0] * 2147483648 + fraction * (pair[1] - pair[0]));
}

// The same where frames may lie outside the data: those read as 0. Only a
// voice in a state the replay never produces gets here.
double interpolate_checked(const int16_t* data, uint64_t available, uint64_t position) {
    uint32_t i = (uint32_t)(position >> 32);
    uint32_t next = i + 1;
    int32_t a = i < available ? data[i] : 0;
    int32_t b = next < available ? data[next] : 0;
    double f = (double)(int32_t)((uint32_t)position >> 1) * FRACTION_SCALE;
    return (double)a + f * (double)(b - a);
}

__m128d load_frame(const float* frame) {
    return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64((const __m128i*)frame)));
}

void store_frame(float* frame, __m128d value) {
    _mm_storel_epi64((__m128i*)frame, _mm_castps_si128(_mm_cvtpd_ps(value)));
}

// Positions read, with bit 0 cleared (which the interpolation ignores), form
// a plain progression: once the first step is taken every position has the
// parity of the step, so each later step moves by step & ~1 forward and by
// step + (step & 1) backward, and so does the first one counted from the
// cleared start. The position after the last frame is the next one read with
// the step's bit 0 put back.
uint64_t read_position_delta(uint64_t step, bool forward) {
    return forward ? step & ~uint64_t{1} : uint64_t{0} - (step + (step & 1));
}

int32_t sample_pair(const int16_t* data, uint64_t position) {
    int32_t pair;
    std::memcpy(&pair, data + (position >> 32), sizeof pair);
    return pair;
}

// Gains fixed for the whole segment: two frames per round, the interpolation
// of both in one pair of doubles (formed exactly as in the wide loops below).
uint64_t mix_steady(float* out, int32_t len, const int16_t* data, uint64_t position,
                    uint64_t step, bool forward, __m128d gains) {
    uint64_t delta = read_position_delta(step, forward);
    uint64_t read = position & ~uint64_t{1};
    gains = _mm_mul_pd(gains, _mm_set1_pd(FRACTION_SCALE));
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
        __m128i first = _mm_srai_epi32(_mm_slli_epi32(pairs, 16), 16);
        __m128i difference = _mm_sub_epi32(_mm_srai_epi32(pairs, 16), first);
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
        __m128d x = _mm_set1_pd(interpolate_scaled(data, read));
        store_frame(out + 2 * k, _mm_add_pd(load_frame(out + 2 * k), _mm_mul_pd(x, gains)));
        read += delta;
    }
    return read + (step & 1);
}

// The wide loops: four frames per round on 256-bit units, for processors that
// have them. The same roundings in the same order as the SSE2 loops: the
// interpolation is the exact integer of interpolate_scaled formed in doubles
// (s[i] * 2^31 and the 31-bit fraction times the 17-bit difference are both
// exact, and so is their sum below 2^49); products and sums are separate
// instructions, never fused.

// Where the next four frames read: the positions (with bit 0 cleared) and the
// low 32 bits of each in the lanes of `fractions`.
struct WideReader {
    const int16_t* data;
    uint64_t read;          // position of the next frame, bit 0 clear
    uint64_t delta;         // read_position_delta
    __m128i fractions;      // low words of read + k * delta, k = 0..3
    __m128i fraction_step;  // low word of 4 * delta in every lane
};

__attribute__((target("avx2")))
WideReader wide_reader(const int16_t* data, uint64_t position, uint64_t step, bool forward) {
    uint64_t delta = read_position_delta(step, forward);
    uint64_t read = position & ~uint64_t{1};
    __m128i fractions = _mm_setr_epi32((int32_t)(uint32_t)read, (int32_t)(uint32_t)(read + delta),
                                       (int32_t)(uint32_t)(read + 2 * delta),
                                       (int32_t)(uint32_t)(read + 3 * delta));
    return WideReader{data, read, delta, fractions, _mm_set1_epi32((int32_t)(uint32_t)(4 * delta))};
}

// x of the next four frames, times 2^31; moves the reader on.
__attribute__((target("avx2")))
inline __m256d interpolate_four(WideReader* reader) {
    uint64_t read1 = reader->read + reader->delta;
    uint64_t read2 = read1 + reader->delta;
    uint64_t read3 = read2 + reader->delta;
    const int16_t* data = reader->data;
    __m128i pairs = _mm_setr_epi32(sample_pair(data, reader->read), sample_pair(data, read1),
                                   sample_pair(data, read2), sample_pair(data, read3));
    reader->read = read3 + reader->delta;
    __m128i first = _mm_srai_epi32(_mm_slli_epi32(pairs, 16), 16);
    __m128i difference = _mm_sub_epi32(_mm_srai_epi32(pairs, 16), first);
    __m256d f = _mm256_cvtepi32_pd(_mm_srli_epi32(reader->fractions, 1));
    reader->fractions = _mm_add_epi32(reader->fractions, reader->fraction_step);
    return _mm256_add_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(first), _mm256_set1_pd(2147483648.0)),
                         _mm256_mul_pd(f, _mm256_cvtepi32_pd(difference)));
}

// Two frames at `at` += x * gains, with x = (x0 x0 x1 x1) and gains (left right left right).
__attribute__((target("avx2")))
inline void add_two_frames(float* at, __m256d x, __m256d gains) {
    __m256d sum = _mm256_add_pd(_mm256_cvtps_pd(_mm_loadu_ps(at)), _mm256_mul_pd(x, gains));
    _mm_storeu_ps(at, _mm256_cvtpd_ps(sum));
}

// One frame by the SSE2 rule, for the frames after the last round of four.
__attribute__((target("avx2")))
inline void add_one_frame(float* at, const WideReader& reader, __m128d gains) {
    __m128d x = _mm_set1_pd(interpolate_scaled(reader.data, reader.read));
    store_frame(at, _mm_add_pd(load_frame(at), _mm_mul_pd(x, gains)));
}

// Gains fixed for the whole segment.
__attribute__((target("avx2")))
uint64_t mix_steady_wide(float* out, int32_t len, const int16_t* data, uint64_t position,
                         uint64_t step, bool forward, __m128d gains) {
    WideReader reader = wide_reader(data, position, step, forward);
    __m128d scaled = _mm_mul_pd(gains, _mm_set1_pd(FRACTION_SCALE));
    __m256d g = _mm256_set_m128d(scaled, scaled);
    int32_t k = 0;
    for (; k + 4 <= len; k += 4) {
        __m256d x = interpolate_four(&reader);
        add_two_frames(out + 2 * k, _mm256_permute4x64_pd(x, 0x50), g);      // x0 x0 x1 x1
        add_two_frames(out + 2 * k + 4, _mm256_permute4x64_pd(x, 0xFA), g);  // x2 x2 x3 x3
    }
    for (; k < len; ++k) {
        add_one_frame(out + 2 * k, reader, scaled);
        reader.read += reader.delta;
    }
    return reader.read + (step & 1);
}

// A ramp. The gains still grow one frame at a time in double, as in mix_ramp;
// only the frames are done four at a time.
__attribute__((target("avx2")))
uint64_t mix_ramp_wide(float* out, int32_t len, const int16_t* data, uint64_t position,
                       uint64_t step, bool forward, __m128d* gains, __m128d steps) {
    WideReader reader = wide_reader(data, position, step, forward);
    const __m128d scale = _mm_set1_pd(FRACTION_SCALE);
    __m128d g = _mm_mul_pd(*gains, scale);
    steps = _mm_mul_pd(steps, scale);
    int32_t k = 0;
    for (; k + 4 <= len; k += 4) {
        __m256d x = interpolate_four(&reader);
        __m128d g1 = _mm_add_pd(g, steps);
        __m128d g2 = _mm_add_pd(g1, steps);
        __m128d g3 = _mm_add_pd(g2, steps);
        add_two_frames(out + 2 * k, _mm256_permute4x64_pd(x, 0x50), _mm256_set_m128d(g1, g));
        add_two_frames(out + 2 * k + 4, _mm256_permute4x64_pd(x, 0xFA), _mm256_set_m128d(g3, g2));
        g = _mm_add_pd(g3, steps);
    }
    for (; k < len; ++k) {
        add_one_frame(out + 2 * k, reader, g);
        g = _mm_add_pd(g, steps);
        reader.read += reader.delta;
    }
    *gains = _mm_mul_pd(g, _mm_set1_pd(2147483648.0));
    return reader.read + (step & 1);
}

// Asked while static data is set up, perhaps before the runtime has looked
// at the processor: look first.
bool wide_units_present() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

bool use_wide_units = wide_units_present();

// A ramp: one frame per round, the gains carried in double.
template <bool FORWARD>
uint64_t mix_ramp(float* out, int32_t len, const int16_t* data, uint64_t position, uint64_t step,
                  __m128d* gains, __m128d steps) {
    // Gains and steps scaled by 2^-31 (see interpolate_scaled); sums of them
    // scale exactly too.
    const __m128d scale = _mm_set1_pd(FRACTION_SCALE);
    __m128d g = _mm_mul_pd(*gains, scale);
    steps = _mm_mul_pd(steps, scale);
    for (int32_t k = 0; k < len; ++k) {
        __m128d x = _mm_set1_pd(interpolate_scaled(data, position));
        store_frame(out + 2 * k, _mm_add_pd(load_frame(out + 2 * k), _mm_mul_pd(x, g)));
        g = _mm_add_pd(g, steps);
        position = advance<FORWARD>(position, step);
    }
    *gains = _mm_mul_pd(g, _mm_set1_pd(2147483648.0));
    return position;
}

// Gains of 0 on both sides: every frame would add x * 0.0 to the buffer, a
// zero that leaves each float as it is (the buffer is cleared to +0.0 and sums
// never make a -0.0, and clip_to_pcm16 maps both zeros to 0 anyway). Only the
// position moves. Clearing bit 0 before each step makes every position after
// the first step odd when the step is odd, so from then on a step moves by
// one less forward and one more backward.
uint64_t advance_silently(uint64_t position, uint64_t step, int32_t len, bool forward) {
    uint64_t later_frames = (uint64_t)(len - 1);
    position &= ~uint64_t{1};
    if (forward) return position + step + later_frames * (step & ~uint64_t{1});
    return position - step - later_frames * (step + (step & 1));
}

// Any segment, frame by frame, reading nothing outside the data.
template <bool FORWARD>
uint64_t mix_checked(float* out, int32_t len, const int16_t* data, uint64_t available,
                     uint64_t position, uint64_t step, __m128d* gains, __m128d steps) {
    __m128d g = *gains;
    for (int32_t k = 0; k < len; ++k) {
        __m128d x = _mm_set1_pd(interpolate_checked(data, available, position));
        store_frame(out + 2 * k, _mm_add_pd(load_frame(out + 2 * k), _mm_mul_pd(x, g)));
        g = _mm_add_pd(g, steps);
        position = advance<FORWARD>(position, step);
    }
    *gains = g;
    return position;
}

// True when every frame a segment of len >= 1 frames reads (i and i + 1) lies
// inside the data. Clearing bit 0 only moves a position backwards, so the
// extreme positions are bounded by the first one and len - 1 steps.
bool segment_in_bounds(uint64_t position, uint64_t step, int32_t len, bool forward,
                       uint64_t available) {
    if (available < 2) return false;
    // Positions below limit have i + 1 < available.
    uint64_t limit = available - 1 > 0xFFFFFFFFu ? ~uint64_t{0} : (available - 1) << 32;
    uint64_t frame_step = step;
    if (!forward && __builtin_add_overflow(step, uint64_t{1}, &frame_step)) return false;
    uint64_t span = 0;
    if (__builtin_mul_overflow((uint64_t)(len - 1), frame_step, &span)) return false;
    if (forward) {
        uint64_t last = 0;
        if (__builtin_add_overflow(position, span, &last)) return false;
        return last < limit;
    }
    return position < limit && position >= span;
}

// Step 2 of a segment: frames up to the loop point ahead, when it lies within
// len. The step is taken in units of 2^-24 frame; below 256 frames per output
// frame this is the 32-bit step24, above it the value is kept whole rather than
// wrapped, so that a huge step still finds its loop point. A step below 2^-24
// never reaches one.
int32_t frames_to_loop_point(uint64_t position, uint64_t step, bool forward, uint32_t loop_start,
                             uint32_t loop_end, int32_t len, bool* boundary) {
    uint64_t distance = forward ? ((uint64_t)loop_end << 32) - position
                                : position - ((uint64_t)loop_start << 32);
    if ((distance >> 32) >= (uint64_t{1} << 24)) return len;
    uint64_t step24 = step >> 8;
    if (step24 == 0) return len;
    uint64_t units = distance >> 8;
    uint64_t frames = units / step24 + (units % step24 != 0);
    if (frames > (uint64_t)len) return len;
    *boundary = true;
    return (int32_t)frames;
}

float ramp_step_toward(int32_t target, int32_t level) {
    double difference = (double)((int64_t)target - (level >> 8));
    return (float)(difference * (double)GAIN_SCALE * (double)ramp_reciprocal);
}

// Step 3: go on with the ramp in progress, or set up a new one from the level
// heard now. Returns the ramp's frames left (0 = none).
int32_t ramp_setup(Voice* voice) {
    if (voice->ramp_frames != 0 && voice->left_volume == voice->ramp_left_target &&
        voice->right_volume == voice->ramp_right_target) {
        return voice->ramp_frames;
    }
    voice->ramp_left_target = voice->left_volume;
    voice->ramp_right_target = voice->right_volume;
    bool left_moves = voice->left_volume != (voice->left_level >> 8);
    bool right_moves = voice->right_volume != (voice->right_level >> 8);
    voice->left_ramp_step = left_moves ? ramp_step_toward(voice->left_volume, voice->left_level) : 0.0f;
    voice->right_ramp_step =
        right_moves ? ramp_step_toward(voice->right_volume, voice->right_level) : 0.0f;
    voice->ramp_frames = left_moves || right_moves ? ramp_frames_total : 0;
    return voice->ramp_frames;
}

// Nearest integer, ties to even, held in int32 (huge gains from absurd
// volumes saturate instead of overflowing).
int32_t round_to_level(double value) {
    double rounded = std::nearbyint(value);
    if (!(rounded > -2147483648.0)) return INT32_MIN;
    if (rounded >= 2147483647.0) return INT32_MAX;
    return (int32_t)rounded;
}

int32_t level_of_volume(int32_t volume) {
    int64_t level = (int64_t)volume * 256;
    if (level > INT32_MAX) return INT32_MAX;
    if (level < INT32_MIN) return INT32_MIN;
    return (int32_t)level;
}

float volume_gain(int32_t volume) { return (float)((double)volume * (double)GAIN_SCALE); }

float level_gain(int32_t level) {
    return (float)((double)level * LEVEL_SCALE * (double)GAIN_SCALE);
}

// Step 4 and 5: gains and the len frames of one segment; returns the position after them.
uint64_t mix_segment(Voice* voice, const Sample* sample, float* out, int32_t len, uint64_t position,
                     uint64_t step, bool forward, int32_t ramp) {
    if (len <= 0) return position;
    const int16_t* data = sample->data;
    uint64_t available = data ? (uint64_t)sample->length + 8 : 0;
    bool in_bounds = segment_in_bounds(position, step, len, forward, available);
    if (ramp <= 0) {
        if (voice->left_volume == 0 && voice->right_volume == 0) {
            return advance_silently(position, step, len, forward);
        }
        __m128d gains = _mm_set_pd((double)volume_gain(voice->right_volume),
                                   (double)volume_gain(voice->left_volume));
        // A few frames are not worth the wide loop's set-up.
        if (in_bounds && use_wide_units && len >= 8) {
            return mix_steady_wide(out, len, data, position, step, forward, gains);
        }
        if (in_bounds) {
            return mix_steady(out, len, data, position, step, forward, gains);
        }
        __m128d still = _mm_setzero_pd();
        return forward ? mix_checked<true>(out, len, data, available, position, step, &gains, still)
                       : mix_checked<false>(out, len, data, available, position, step, &gains, still);
    }
    __m128d gains = _mm_set_pd((double)level_gain(voice->right_level),
                               (double)level_gain(voice->left_level));
    __m128d steps = _mm_set_pd((double)voice->right_ramp_step, (double)voice->left_ramp_step);
    if (in_bounds && use_wide_units && len >= 8) {
        position = mix_ramp_wide(out, len, data, position, step, forward, &gains, steps);
    } else if (in_bounds) {
        position = forward ? mix_ramp<true>(out, len, data, position, step, &gains, steps)
                           : mix_ramp<false>(out, len, data, position, step, &gains, steps);
    } else {
        position = forward
                       ? mix_checked<true>(out, len, data, available, position, step, &gains, steps)
                       : mix_checked<false>(out, len, data, available, position, step, &gains, steps);
    }
    double left_gain = _mm_cvtsd_f64(gains);
    double right_gain = _mm_cvtsd_f64(_mm_unpackhi_pd(gains, gains));
    voice->left_level = round_to_level(left_gain * 255.0 * 256.0);
    voice->right_level = round_to_level(right_gain * 255.0 * 256.0);
    return position;
}

void end_voice(Voice* voice) {
    voice->sample = nullptr;
    voice->position_int = 0;
    voice->position_frac = 0;
}

// Forward loop: loop_length comes off position_int until it lies before the
// loop end (at least once). The repeated subtraction is done in one step.
void wrap_forward(Voice* voice, const Sample* sample) {
    uint32_t loop_end = sample->loop_start + sample->loop_length;
    if (sample->loop_length == 0) {
        end_voice(voice);  // a loop of no frames has nothing to repeat
        return;
    }
    uint32_t whole = voice->position_int - sample->loop_length;
    if (whole >= loop_end) whole = sample->loop_start + (whole - loop_end) % sample->loop_length;
    voice->position_int = whole;
}

// Ping-pong loop: reflect at the end ahead, and at the other end as long as the
// reflected position lies beyond it (signed comparisons of the whole part).
void reflect(Voice* voice, const Sample* sample) {
    uint32_t loop_start = sample->loop_start;
    uint32_t loop_end = loop_start + sample->loop_length;
    uint64_t position = voice_position(voice);
    for (int32_t k = 0; k < MAX_REFLECTIONS; ++k) {
        if (voice->direction == 1) {
            position = 2 * ((uint64_t)loop_end << 32) - 1 - position;
            voice->direction = 2;
            if ((int32_t)(position >> 32) >= (int32_t)loop_start) {
                store_position(voice, position);
                return;
            }
        } else {
            position = 2 * ((uint64_t)loop_start << 32) - 1 - position;
            voice->direction = 1;
            if ((int32_t)(position >> 32) < (int32_t)loop_end) {
                store_position(voice, position);
                return;
            }
        }
    }
    end_voice(voice);  // an empty loop, or a position no step below 256 frames can reach
}

// Step 7. False when the voice has ended.
bool pass_loop_point(Voice* voice, const Sample* sample) {
    if (sample->loop_type & LOOP_FORWARD) {
        wrap_forward(voice, sample);
    } else if (sample->loop_type & LOOP_PINGPONG) {
        reflect(voice, sample);
    } else {
        end_voice(voice);
    }
    return voice->sample != nullptr;
}

void mix_voice(Voice* voice, float* out, int32_t count) {
    int32_t remaining = count;
    // Every segment but a rare empty one at a loop point mixes a frame, so
    // this bound is never reached; it only makes a hang impossible.
    int64_t segments_left = 3 * (int64_t)count + 16;
    while (segments_left-- > 0) {
        const Sample* sample = voice->sample;
        uint32_t loop_end = sample->loop_start + sample->loop_length;
        bool forward = voice->direction == 1;
        uint64_t position = voice_position(voice);
        uint64_t step = voice_step(voice);
        bool boundary = false;
        int32_t len = frames_to_loop_point(position, step, forward, sample->loop_start, loop_end,
                                           remaining, &boundary);
        int32_t ramp = ramp_setup(voice);
        bool ramp_cuts = ramp > 0 && len > ramp;
        if (ramp_cuts) {
            len = ramp;
            boundary = false;
        }
        position = mix_segment(voice, sample, out, len, position, step, forward, ramp);
        store_position(voice, position);
        out += 2 * (int64_t)len;
        remaining -= len;
        if (ramp > 0) {
            voice->ramp_frames = ramp - len;
            if (voice->ramp_frames == 0) {
                voice->left_ramp_step = 0.0f;
                voice->right_ramp_step = 0.0f;
                voice->left_level = level_of_volume(voice->left_volume);
                voice->right_level = level_of_volume(voice->right_volume);
            }
        }
        if (ramp_cuts) continue;
        if (!boundary) return;
        if (!pass_loop_point(voice, sample) || remaining <= 0) return;
    }
}

}  // namespace

void mix_voices(float* frames, int32_t count) {
    if (count <= 0 || !frames) return;
    for (int32_t v = 0; v < MIXED_VOICES; ++v) {
        if (voice_table[v].sample) mix_voice(&voice_table[v], frames, count);
    }
}

bool mixer_use_wide_units(bool wanted) {
    use_wide_units = wanted && wide_units_present();
    return use_wide_units;
}

// Clamped first, then rounded by cvtps2dq, which rounds to nearest, ties to
// even, in the default rounding mode: a value clamped to -32768 or 32767 rounds
// to itself, so this is the same as rounding first. NaN compares unordered
// with itself and becomes 0.
void clip_to_pcm16(int16_t* dst, const float* src, int32_t frame_count) {
    if (frame_count <= 0 || !dst || !src) return;
    const __m128 low = _mm_set1_ps(-32768.0f);
    const __m128 high = _mm_set1_ps(32767.0f);
    auto convert = [&](__m128 value) {
        value = _mm_and_ps(value, _mm_cmpord_ps(value, value));
        return _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(value, low), high));
    };
    int64_t total = 2 * (int64_t)frame_count;
    int64_t k = 0;
    for (; k + 8 <= total; k += 8) {
        __m128i first = convert(_mm_loadu_ps(src + k));
        __m128i second = convert(_mm_loadu_ps(src + k + 4));
        _mm_storeu_si128((__m128i*)(dst + k), _mm_packs_epi32(first, second));
    }
    for (; k < total; ++k) dst[k] = (int16_t)_mm_cvtsi128_si32(convert(_mm_set_ss(src[k])));
}
