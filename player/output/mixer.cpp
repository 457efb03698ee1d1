// The mixer: every playing voice 0..63 into float stereo frames, segment by
// segment.
//
// A segment is a run of output frames over which nothing but the position
// changes: it ends at the next loop point (found once, by one 64-by-64-bit
// division where the call reaches it), at the end of a volume ramp, or at the
// end of the call. Within a segment the inner loops only count frames.
//
// Number budget. Positions and steps are 32.32 (see mixer.h). The frame value
// x = s[i] + f * (s[i+1] - s[i]) with a 31-bit f and a 17-bit difference is
// exact in double; only the product with the gain and the sum with the float
// already in the buffer round, in double, and the sum rounds once more to
// float. That is the one-frame rule every loop follows: the plain loops here
// literally, the x86 ones (mixer_x86.cpp) two, four or eight frames at a time
// with the same roundings lane by lane.
//
// This file holds what every target shares: segments, ramps, loop points,
// the plain loops, and the choice of loop set (mixer_loops.h).
//
// Where the time goes: a note change leaves the old voice fading to level 0
// on the channel's other voice; once silent, that voice is passed over (it is
// never heard or read again before a later note overwrites it). The rest is
// the steady loops (a third of a whole-song render to a file on 512-bit
// units; ramps a tenth of that, and the work per segment here a fifth).
#include "player/output/mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "player/module/song.h"
#include "player/output/mixer_loops.h"

namespace korvanti {

namespace {

constexpr float GAIN_SCALE = 1.0f / 255;  // 0.0039215689: level 255 rounds to gain 1.0f
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

// The plain loops: one frame per round in ordinary double arithmetic, for
// every target; gains scaled by 2^-31 (see interpolate_scaled), and so are
// the ramp steps, whose sums scale exactly too.
uint64_t mix_steady_plain(float* out, int32_t len, const MixSource& source, MixGains gains) {
    const int16_t* data = source.data;
    uint64_t delta = read_position_delta(source.step, source.forward);
    uint64_t read = source.position & ~uint64_t{1};
    double left = gains.left * FRACTION_SCALE;
    double right = gains.right * FRACTION_SCALE;
    for (int32_t k = 0; k < len; ++k) {
        double x = interpolate_scaled(data, read);
        out[2 * k] = (float)((double)out[2 * k] + x * left);
        out[2 * k + 1] = (float)((double)out[2 * k + 1] + x * right);
        read += delta;
    }
    return read + (source.step & 1);
}

uint64_t mix_ramp_plain(float* out, int32_t len, const MixSource& source, MixRamp* ramp) {
    const int16_t* data = source.data;
    uint64_t delta = read_position_delta(source.step, source.forward);
    uint64_t read = source.position & ~uint64_t{1};
    double left = ramp->gains.left * FRACTION_SCALE;
    double right = ramp->gains.right * FRACTION_SCALE;
    double left_step = ramp->steps.left * FRACTION_SCALE;
    double right_step = ramp->steps.right * FRACTION_SCALE;
    for (int32_t k = 0; k < len; ++k) {
        double x = interpolate_scaled(data, read);
        out[2 * k] = (float)((double)out[2 * k] + x * left);
        out[2 * k + 1] = (float)((double)out[2 * k + 1] + x * right);
        left += left_step;
        right += right_step;
        read += delta;
    }
    ramp->gains = MixGains{left * FRACTION_UNSCALE, right * FRACTION_UNSCALE};
    return read + (source.step & 1);
}

// Clamped first, then rounded: a value clamped to -32768 or 32767 rounds to
// itself, so this is the same as rounding first. Adding and taking away
// 1.5 * 2^23 rounds a float of magnitude up to 2^22 to an integer, to
// nearest with ties to even, in float arithmetic alone. NaN compares unequal
// to itself and becomes 0.
inline int16_t clip_value(float value) {
    const float rounder = 12582912.0f;
    value = value == value ? value : 0.0f;
    value = value < -32768.0f ? -32768.0f : value;
    value = value > 32767.0f ? 32767.0f : value;
    return (int16_t)(int32_t)((value + rounder) - rounder);
}

// Runs of a fixed length, which the compiler may convert several values at
// a time, then the rest one by one.
constexpr int64_t CLIP_RUN = 16;

template <int64_t COUNT>
inline void clip_run(int16_t* dst, const float* src) {
    const float rounder = 12582912.0f;
    float clamped[COUNT];
    for (int64_t k = 0; k < COUNT; ++k) {
        float value = src[k] == src[k] ? src[k] : 0.0f;
        value = value < -32768.0f ? -32768.0f : value;
        clamped[k] = value > 32767.0f ? 32767.0f : value;
    }
    for (int64_t k = 0; k < COUNT; ++k) dst[k] = (int16_t)(int32_t)((clamped[k] + rounder) - rounder);
}

void clip_plain(int16_t* dst, const float* src, int64_t value_count) {
    int64_t k = 0;
    for (; k + CLIP_RUN <= value_count; k += CLIP_RUN) clip_run<CLIP_RUN>(dst + k, src + k);
    for (; k < value_count; ++k) dst[k] = clip_value(src[k]);
}

constexpr MixLoops PLAIN_LOOPS = {MixLoop::PLAIN, "plain", mix_steady_plain, mix_ramp_plain, clip_plain};


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
uint64_t mix_checked(float* out, int32_t len, const MixSource& source, MixGains* gains, MixGains steps) {
    uint64_t position = source.position;
    double left = gains->left;
    double right = gains->right;
    for (int32_t k = 0; k < len; ++k) {
        double x = interpolate_checked(source.data, source.available, position);
        out[2 * k] = (float)((double)out[2 * k] + x * left);
        out[2 * k + 1] = (float)((double)out[2 * k + 1] + x * right);
        left += steps.left;
        right += steps.right;
        position = advance<FORWARD>(position, source.step);
    }
    *gains = MixGains{left, right};
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

// A segment's frames up to the loop point ahead, when it lies within
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
    // Most calls end before the loop point: a product shows it without the division.
    uint64_t reach = 0;
    if (!__builtin_mul_overflow((uint64_t)len, step24, &reach) && reach < units) return len;
    uint64_t frames = units / step24 + (units % step24 != 0);
    if (frames > (uint64_t)len) return len;
    *boundary = true;
    return (int32_t)frames;
}

// frames_to_loop_point for a voice crossing loop points one after another at
// one step: the quotient is first looked for next to the last one (`guess`),
// which it nearly always equals or neighbours; the division only where not.
// The same answer in every case.
int32_t frames_to_loop_point_near(uint64_t position, uint64_t step, bool forward, uint32_t loop_start,
                                  uint32_t loop_end, int32_t len, bool* boundary, uint64_t* guess) {
    uint64_t distance = forward ? ((uint64_t)loop_end << 32) - position
                                : position - ((uint64_t)loop_start << 32);
    if ((distance >> 32) >= (uint64_t{1} << 24)) return len;
    uint64_t step24 = step >> 8;
    if (step24 == 0) return len;
    uint64_t units = distance >> 8;
    uint64_t reach = 0;
    if (__builtin_mul_overflow((uint64_t)len, step24, &reach) || (uint64_t)len > (uint64_t{1} << 20)) {
        return frames_to_loop_point(position, step, forward, loop_start, loop_end, len, boundary);
    }
    if (reach < units) return len;
    // ceil(units / step24): the least q with q * step24 >= units. The guess is
    // at most len here, so no product below overflows.
    uint64_t frames = *guess <= (uint64_t)len ? *guess : (uint64_t)len;
    uint64_t product = frames * step24;
    if (product < units) {
        frames = units - product <= step24 ? frames + 1 : units / step24 + (units % step24 != 0);
    } else if (frames > 0 && product - step24 >= units) {
        frames = product - step24 - units < step24 ? frames - 1 : units / step24 + (units % step24 != 0);
    }
    *guess = frames;
    if (frames > (uint64_t)len) return len;
    *boundary = true;
    return (int32_t)frames;
}

float ramp_step_toward(int32_t target, int32_t level, float ramp_reciprocal) {
    double difference = (double)((int64_t)target - (level >> 8));
    return (float)(difference * (double)GAIN_SCALE * (double)ramp_reciprocal);
}

// Goes on with the ramp in progress, or sets up a new one from the level
// heard now. Returns the ramp's frames left (0 = none).
int32_t ramp_setup(Voice* voice, const MixerSettings& settings) {
    if (voice->ramp_frames != 0 && voice->left_volume == voice->ramp_left_target &&
        voice->right_volume == voice->ramp_right_target) {
        return voice->ramp_frames;
    }
    voice->ramp_left_target = voice->left_volume;
    voice->ramp_right_target = voice->right_volume;
    bool left_moves = voice->left_volume != (voice->left_level >> 8);
    bool right_moves = voice->right_volume != (voice->right_level >> 8);
    voice->left_ramp_step =
        left_moves ? ramp_step_toward(voice->left_volume, voice->left_level, settings.ramp_reciprocal) : 0.0f;
    voice->right_ramp_step =
        right_moves ? ramp_step_toward(voice->right_volume, voice->right_level, settings.ramp_reciprocal) : 0.0f;
    voice->ramp_frames = left_moves || right_moves ? settings.ramp_frames_total : 0;
    return voice->ramp_frames;
}

// A finite non-zero double is an odd multiple of 2^low below 2^(high + 1)
// in magnitude.
struct DoubleBits {
    int32_t low;
    int32_t high;
};

DoubleBits double_bits(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    int32_t exponent = (int32_t)((bits >> 52) & 0x7FF);
    uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
    if (exponent != 0) {
        mantissa |= uint64_t{1} << 52;
    } else {
        exponent = 1;  // subnormal
    }
    int32_t low = __builtin_ctzll(mantissa) + exponent - 1075;
    return DoubleBits{low, 63 - __builtin_clzll(mantissa) + exponent - 1075};
}

// Whether every sum gain + k * step, k = 0..frames, is a double. Gain and step
// are multiples of 2^low, and so is every such sum; below 2^(low + 53) in
// magnitude it is a double. |gain| < 2^(high of gain + 1) and frames * |step|
// < 2^(bits of frames + high of step + 1); both below 2^(low + 52) bound
// every sum. Ramps the replay sets up pass with 9 bits to spare: their
// gains are float32 values from 2^-17 (a level of 1) up to 1, their steps
// float32 values from 2^-18 on and at most about 1 / frames.
bool side_sums_exact(double gain, double step, int32_t frames) {
    if (step == 0.0) return true;
    if (!std::isfinite(gain) || !std::isfinite(step)) return false;
    DoubleBits step_bits = double_bits(step);
    DoubleBits gain_bits = gain != 0.0 ? double_bits(gain) : step_bits;
    int32_t low = std::min(step_bits.low, gain_bits.low);
    int32_t frame_bits = 32 - __builtin_clz((uint32_t)frames | 1);
    return step_bits.high + 1 + frame_bits <= low + 52 && gain_bits.high + 1 <= low + 52;
}

// Nearest integer, ties to even, held in int32 (huge gains from absurd
// volumes saturate instead of overflowing).
int32_t round_to_level(double value) {
    // Below 2^51 in magnitude, adding and taking away 1.5 * 2^52 rounds to
    // an integer as nearbyint does (to nearest, ties to even), without a
    // call into the maths library.
    const double rounder = 6755399441055744.0;
    double rounded = std::fabs(value) < 2251799813685248.0 ? (value + rounder) - rounder : std::nearbyint(value);
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

// The exponent e of a double, 2^e <= |value| < 2^(e + 1); -1100 for 0 and
// subnormals, 1100 for infinities and NaN.
int32_t double_exponent(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    int32_t biased = (int32_t)((bits >> 52) & 0x7FF);
    if (biased == 0) return -1100;
    if (biased == 0x7FF) return 1100;
    return biased - 1023;
}

// A quick sufficient test for side_sums_exact where gain and step are
// float32 values (24 significant bits), as every ramp the mixer sets up
// has: both are multiples of 2^(e - 23) for the smaller exponent e, and the
// sums stay below 2^(larger exponent + frame bits + 1). False says nothing.
bool float_side_sums_exact(double gain, double step, int32_t frames) {
    if (step == 0.0) return true;
    int32_t step_exponent = double_exponent(step);
    int32_t gain_exponent = gain != 0.0 ? double_exponent(gain) : step_exponent;
    if (step_exponent < -126 || gain_exponent < -126 || step_exponent > 127 || gain_exponent > 127) return false;
    if ((double)(float)gain != gain || (double)(float)step != step) return false;
    int32_t low = std::min(step_exponent, gain_exponent) - 23;
    int32_t frame_bits = 32 - __builtin_clz((uint32_t)frames | 1);
    return step_exponent + 1 + frame_bits <= low + 52 && gain_exponent + 1 <= low + 52;
}

bool float_ramp_sums_exact(const MixRamp& ramp, int32_t frames) {
    return float_side_sums_exact(ramp.gains.left, ramp.steps.left, frames) &&
           float_side_sums_exact(ramp.gains.right, ramp.steps.right, frames);
}

// The gains a ramp reaches after `frames` frames, one addition after another
// as the loops form them, without mixing anything.
MixGains ramp_gains_after(const MixRamp& ramp, int32_t frames) {
    if (float_ramp_sums_exact(ramp, frames) || ramp_sums_exact(ramp, frames)) {
        return MixGains{ramp.gains.left + (double)frames * ramp.steps.left,
                        ramp.gains.right + (double)frames * ramp.steps.right};
    }
    double left = ramp.gains.left;
    double right = ramp.gains.right;
    for (int32_t k = 0; k < frames; ++k) {
        left += ramp.steps.left;
        right += ramp.steps.right;
    }
    return MixGains{left, right};
}

// The gains and the len frames of one segment; returns the position after them.
uint64_t mix_segment(Voice* voice, const Sample* sample, float* out, int32_t len, uint64_t position,
                     uint64_t step, bool forward, int32_t ramp_frames, const MixLoops* loops) {
    if (len <= 0) return position;
    MixSource source = {sample->data, sample->data ? (uint64_t)sample->length + 8 : 0, position, step, forward};
    bool in_bounds = segment_in_bounds(position, step, len, forward, source.available);
    if (ramp_frames <= 0) {
        if (voice->left_volume == 0 && voice->right_volume == 0) {
            return advance_silently(position, step, len, forward);
        }
        MixGains gains = {(double)volume_gain(voice->left_volume), (double)volume_gain(voice->right_volume)};
        if (in_bounds) return loops->steady(out, len, source, gains);
        MixGains still = {0.0, 0.0};
        return forward ? mix_checked<true>(out, len, source, &gains, still)
                       : mix_checked<false>(out, len, source, &gains, still);
    }
    MixRamp ramp = {{(double)level_gain(voice->left_level), (double)level_gain(voice->right_level)},
                    {(double)voice->left_ramp_step, (double)voice->right_ramp_step},
                    false};
    if (in_bounds) {
        ramp.sums_exact = float_ramp_sums_exact(ramp, len) || ramp_sums_exact(ramp, len);
        position = loops->ramp(out, len, source, &ramp);
    } else {
        position = forward ? mix_checked<true>(out, len, source, &ramp.gains, ramp.steps)
                           : mix_checked<false>(out, len, source, &ramp.gains, ramp.steps);
    }
    voice->left_level = round_to_level(ramp.gains.left * 255.0 * 256.0);
    voice->right_level = round_to_level(ramp.gains.right * 255.0 * 256.0);
    return position;
}

// The same segment unheard: the voice moves and its levels follow the ramp
// as if it were mixed, and nothing is added.
uint64_t skip_segment(Voice* voice, int32_t len, uint64_t position, uint64_t step, bool forward,
                      int32_t ramp_frames) {
    if (len <= 0) return position;
    position = advance_silently(position, step, len, forward);
    // A ramp that ends with the segment leaves the levels at its targets
    // (mix_voice sets them): only one cut short needs its gains.
    if (ramp_frames <= 0 || len >= ramp_frames) return position;
    MixRamp ramp = {{(double)level_gain(voice->left_level), (double)level_gain(voice->right_level)},
                    {(double)voice->left_ramp_step, (double)voice->right_ramp_step},
                    false};
    ramp.gains = ramp_gains_after(ramp, len);
    voice->left_level = round_to_level(ramp.gains.left * 255.0 * 256.0);
    voice->right_level = round_to_level(ramp.gains.right * 255.0 * 256.0);
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
// False when no reflection brings it inside: an empty loop, or a position no
// step below 256 frames can reach.
inline bool reflect_position(uint64_t* position, int32_t* direction, uint32_t loop_start, uint32_t loop_end) {
    uint64_t at = *position;
    int32_t going = *direction;
    bool inside = false;
    for (int32_t k = 0; k < MAX_REFLECTIONS && !inside; ++k) {
        if (going == 1) {
            at = 2 * ((uint64_t)loop_end << 32) - 1 - at;
            going = 2;
            inside = (int32_t)(at >> 32) >= (int32_t)loop_start;
        } else {
            at = 2 * ((uint64_t)loop_start << 32) - 1 - at;
            going = 1;
            inside = (int32_t)(at >> 32) < (int32_t)loop_end;
        }
    }
    *position = at;
    *direction = going;
    return inside;
}

void reflect(Voice* voice, const Sample* sample) {
    uint64_t position = voice_position(voice);
    if (reflect_position(&position, &voice->direction, sample->loop_start, sample->loop_start + sample->loop_length)) {
        store_position(voice, position);
    } else {
        end_voice(voice);
    }
}

// pass_loop_point on a position and direction kept in locals: false where
// the voice ends (no loop, or an empty one, or no reflection brings it inside).
inline bool pass_loop_point_at(const Sample* sample, uint64_t* position, int32_t* direction) {
    const uint32_t loop_end = sample->loop_start + sample->loop_length;
    if (sample->loop_type & LOOP_FORWARD) {
        if (sample->loop_length == 0) return false;
        uint32_t whole = (uint32_t)(*position >> 32) - sample->loop_length;
        if (whole >= loop_end) whole = sample->loop_start + (whole - loop_end) % sample->loop_length;
        *position = (uint64_t)whole << 32 | (uint32_t)*position;
        return true;
    }
    if (sample->loop_type & LOOP_PINGPONG) return reflect_position(position, direction, sample->loop_start, loop_end);
    return false;
}

// Past the loop point: wrap, reflect or end. False when the voice has ended.
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

// Unheard and without a ramp: the loop points crossed one after another
// with the voice's position and direction in locals, the same segments,
// steps, wraps and reflections mix_voice makes (a ramp_setup that finds no
// ramp changes nothing the next time either, so it is not asked again).
// ceil(units / step24), looked for first next to `guess`: a voice crossing
// one loop at one step takes the same number of frames, or one more or
// less, nearly every time. The products stay far below 2^64 (steps below
// 2^40, guesses at most the frames of a call).
__attribute__((always_inline)) inline uint64_t crossing_frames(uint64_t units, uint64_t step24, uint64_t guess) {
    uint64_t product = guess * step24;
    if (product >= units) {
        if (guess == 0 || product - step24 < units) return guess;
        if (product - 2 * step24 < units) return guess - 1;
    } else if (product + step24 >= units) {
        return guess + 1;
    }
    return units / step24 + (units % step24 != 0);
}

// The crossings of a forward loop as a rotation. With d the distance to the
// loop end (end - position), a crossing takes f(d) = ceil(floor(d / 256) /
// step24) frames of `move` each and leaves d + loop - f(d) * move. f steps
// up by one every w = 256 * step24 of distance, slightly less than move
// (their difference is below 256). Let k be the largest count with k * move
// <= loop - (move - w) and t = loop - k * move; when t <= w, f is k below
// a = k * w + 256 and k + 1 from there to a + w, so on the window [a - move
// + t, a + t), of width move, a crossing adds t or t - move: the window is
// closed, and after n crossings from d0 in it the distance is the one of
// d0 + n * loop - N * move that lies in it, N the frames they took. So the
// crossings within r frames and the distance after them follow from one
// division, with the same roundings as the crossings one by one.
struct ForwardRotation {
    uint64_t low;   // the window [low, high) of distances; high == 0: none
    uint64_t high;
};

// A voice's window, found the first time a loop point is within reach and
// kept while its step stays (the pieces of one tick share it).
struct RotationCache {
    ForwardRotation rotation;
    bool known;
};

ForwardRotation rotation_window(uint64_t move, uint64_t step24, uint64_t loop) {
    const ForwardRotation none = {0, 0};
    const uint64_t w = step24 << 8;
    const uint64_t shortfall = move - w;  // 0..255
    if (loop < shortfall || loop - shortfall < move) return none;  // a crossing of 0 frames may come
    const uint64_t k = (loop - shortfall) / move;
    const uint64_t t = loop - k * move;
    if (t > w) return none;  // f takes three values on the window
    const uint64_t a = k * w + 256;
    // Every distance in the window within frames_to_loop_point's reach.
    if (a + t > (uint64_t{1} << 56)) return none;
    return ForwardRotation{a - (move - t), a + t};
}

// `frames` frames from distance d0 in the window: how many loop points they
// pass (a crossing that ends on the last frame counts), the frames those
// crossings take and the distance after all the frames. False where a
// product could overflow.
struct Rotated {
    uint64_t crossings;
    uint64_t crossing_frames;
    uint64_t distance;  // modulo 2^64: the true value may pass the loop point
};

bool rotate(const ForwardRotation& rotation, uint64_t move, uint64_t loop, uint64_t d0, uint64_t frames,
            Rotated* rotated) {
    if (frames >= (uint64_t{1} << 23)) return false;
    // n crossings take floor((c + n * loop) / move) frames; the last n
    // whose frames fit is wanted.
    const uint64_t c = d0 - rotation.low;
    const uint64_t n = ((frames + 1) * move - c - 1) / loop;
    rotated->crossings = n;
    rotated->crossing_frames = (c + n * loop) / move;
    rotated->distance = d0 + n * loop - frames * move;
    return true;
}

// A forward loop crossed again and again by a voice whose position has the
// step's parity (true after its first step): a segment of f frames then
// moves it by exactly f times the step with bit 0 cleared, and each wrap takes
// the loop's length off the whole part; the same segments as mix_voice's.
// Steps below 2^40 (256 frames a frame): no product below overflows.
void skip_forward_crossings(uint64_t* position_io, int32_t* remaining_io, int64_t segments_left, uint64_t step,
                            uint32_t loop_start, uint32_t loop_length, RotationCache* cache) {
    const uint32_t loop_end = loop_start + loop_length;
    const uint64_t end = (uint64_t)loop_end << 32;
    const uint64_t move = step & ~uint64_t{1};
    const uint64_t step24 = step >> 8;
    uint64_t position = *position_io;
    int64_t remaining = *remaining_io;
    uint64_t guess = 0;
    const uint64_t loop = (uint64_t)loop_length << 32;
    while (segments_left-- > 0 && remaining > 0) {
        uint64_t distance = end - position;
        uint64_t units = distance >> 8;
        // No loop point within the frames left: they go by in one segment.
        if ((distance >> 32) >= (uint64_t{1} << 24) || (uint64_t)remaining * step24 < units) {
            position += (uint64_t)remaining * move;
            remaining = 0;
            break;
        }
        if (!cache->known) {
            cache->rotation = rotation_window(move, step24, loop);
            // Every wrap from the window must take the loop off once, the
            // whole part staying at 0 or more.
            if (cache->rotation.high - 1 > end) cache->rotation.high = 0;
            cache->known = true;
        }
        const ForwardRotation& rotation = cache->rotation;
        Rotated rotated;
        if (rotation.high != 0 && distance >= rotation.low && distance < rotation.high &&
            rotate(rotation, move, loop, distance, (uint64_t)remaining, &rotated) &&
            rotated.crossings < (uint64_t)segments_left) {
            position = end - rotated.distance;
            remaining = 0;
            break;
        }
        uint64_t frames = crossing_frames(units, step24, guess);
        guess = frames;
        if (frames > (uint64_t)remaining) {
            position += (uint64_t)remaining * move;
            remaining = 0;
            break;
        }
        position += frames * move;
        remaining -= (int64_t)frames;
        uint32_t whole = (uint32_t)(position >> 32) - loop_length;
        if (whole >= loop_end) whole = loop_start + (whole - loop_end) % loop_length;
        position = (uint64_t)whole << 32 | (uint32_t)position;
    }
    *position_io = position;
    *remaining_io = (int32_t)remaining;
}

// A ping-pong loop at an even step crossed again and again. From a position
// just reflected (odd: a reflection turns an even position odd), a segment
// of f frames moves f * step less one forward, plus one backward, and the
// reflection takes one more off: so the distance to the end ahead goes from
// d to loop + d - f(d) * step in either direction, as for a forward loop
// (see rotation_window), the direction turning at each crossing. (At an odd
// step the two directions move by different amounts and this does not
// hold.) The window's positions must compare with the loop points in int32
// as they do unsigned: all below 2^31 frames or all from it on.
ForwardRotation pingpong_rotation(uint64_t step, uint64_t step24, uint64_t start, uint64_t end) {
    ForwardRotation none = {0, 0};
    if ((step & 1) != 0 || end <= start) return none;
    ForwardRotation rotation = rotation_window(step, step24, end - start);
    if (rotation.high == 0 || rotation.high - 1 > end) return none;
    const uint64_t half = uint64_t{1} << 63;
    bool low_half = end + rotation.high <= half;
    bool high_half = start >= half + rotation.high && end + rotation.high > end;
    return low_half || high_half ? rotation : none;
}

// A ping-pong loop crossed again and again: each segment runs to the end
// ahead, the position is reflected there, and the next one runs back. The
// same segments, steps and reflections as mix_voice's; false when a
// reflection cannot bring the position inside (the voice ends).
bool skip_pingpong_crossings(uint64_t* position_io, int32_t* direction_io, int32_t* remaining_io,
                             int64_t segments_left, uint64_t step, uint32_t loop_start, uint32_t loop_end,
                             RotationCache* cache) {
    const uint64_t start = (uint64_t)loop_start << 32;
    const uint64_t end = (uint64_t)loop_end << 32;
    const uint64_t step24 = step >> 8;
    const uint64_t loop = end - start;
    uint64_t guesses[2] = {0, 0};  // backward, forward
    uint64_t position = *position_io;
    int32_t direction = *direction_io;
    int64_t remaining = *remaining_io;
    bool goes_on = true;
    if ((step & 1) != 0) cache->known = true;  // none at an odd step
    const ForwardRotation& rotation = cache->rotation;
    while (segments_left-- > 0 && remaining > 0) {
        bool forward = direction == 1;
        uint64_t distance = forward ? end - position : position - start;
        if (!cache->known && (distance >> 32) < (uint64_t{1} << 24) &&
            (uint64_t)remaining * step24 >= (distance >> 8)) {
            cache->rotation = pingpong_rotation(step, step24, start, end);
            cache->known = true;
        }
        Rotated rotated;
        if (rotation.high != 0 && (position & 1) != 0 && distance >= rotation.low && distance < rotation.high &&
            rotate(rotation, step, loop, distance, (uint64_t)remaining, &rotated) &&
            rotated.crossings < (uint64_t)segments_left) {
            // An odd position (as every reflection leaves one) moves one
            // less forward, one more backward, in its first frame.
            bool ends_forward = forward != ((rotated.crossings & 1) != 0);
            uint64_t after = rotated.distance;
            if (rotated.crossing_frames != (uint64_t)remaining) after += ends_forward ? 1 : uint64_t{0} - 1;
            position = ends_forward ? end - after : start + after;
            direction = ends_forward ? 1 : 2;
            remaining = 0;
            break;
        }
        uint64_t units = distance >> 8;
        if ((distance >> 32) >= (uint64_t{1} << 24) || (uint64_t)remaining * step24 < units) {
            position = advance_silently(position, step, (int32_t)remaining, forward);
            remaining = 0;
            break;
        }
        uint64_t frames = crossing_frames(units, step24, guesses[forward]);
        guesses[forward] = frames;
        if (frames > (uint64_t)remaining) {
            position = advance_silently(position, step, (int32_t)remaining, forward);
            remaining = 0;
            break;
        }
        if (frames > 0) position = advance_silently(position, step, (int32_t)frames, forward);
        remaining -= (int64_t)frames;
        // Nearly always one reflection brings the position inside.
        uint64_t at = forward ? 2 * end - 1 - position : 2 * start - 1 - position;
        if (forward ? (int32_t)(at >> 32) >= (int32_t)loop_start : (int32_t)(at >> 32) < (int32_t)loop_end) {
            position = at;
            direction = forward ? 2 : 1;
        } else if (!reflect_position(&position, &direction, loop_start, loop_end)) {
            goes_on = false;
            break;
        }
    }
    *position_io = position;
    *direction_io = direction;
    *remaining_io = (int32_t)remaining;
    return goes_on;
}

// Frames an unheard voice passes without a ramp, in pieces: each piece is
// what mix_voice takes in one call (segments end where a piece ends), with
// its bound on segments.
struct SkipPiece {
    int32_t frames;
    int64_t segments;
};

void skip_pieces_without_ramp(Voice* voice, const Sample* sample, const SkipPiece* pieces, int32_t piece_count) {
    const uint32_t loop_start = sample->loop_start;
    const uint32_t loop_length = sample->loop_length;
    const uint32_t loop_end = loop_start + loop_length;
    const uint64_t step = voice_step(voice);
    uint64_t position = voice_position(voice);
    int32_t direction = voice->direction;
    uint64_t guess = 1;  // the frames of the previous crossing: most crossings take as many
    RotationCache cache = {{0, 0}, false};
    const bool steady_step = (step >> 8) != 0 && step < (uint64_t{1} << 40);
    const bool forward_loop = (sample->loop_type & LOOP_FORWARD) && loop_length != 0 && steady_step;
    const bool pingpong_loop = !(sample->loop_type & LOOP_FORWARD) && (sample->loop_type & LOOP_PINGPONG) &&
                               steady_step;
    for (int32_t piece = 0; piece < piece_count; ++piece) {
        int32_t remaining = pieces[piece].frames;
        int64_t segments_left = pieces[piece].segments;
        if (pingpong_loop) {
            if (!skip_pingpong_crossings(&position, &direction, &remaining, segments_left, step, loop_start, loop_end,
                                         &cache)) {
                voice->direction = direction;
                end_voice(voice);
                return;
            }
            continue;
        }
        while (segments_left-- > 0) {
            bool forward = direction == 1;
            if (forward_loop && forward && (position & 1) == (step & 1)) {
                skip_forward_crossings(&position, &remaining, segments_left + 1, step, loop_start, loop_length, &cache);
                break;
            }
            bool boundary = false;
            int32_t len = frames_to_loop_point_near(position, step, forward, loop_start, loop_end, remaining,
                                                    &boundary, &guess);
            if (len > 0) position = advance_silently(position, step, len, forward);
            remaining -= len;
            if (!boundary) break;
            if (!pass_loop_point_at(sample, &position, &direction)) {
                voice->direction = direction;
                end_voice(voice);
                return;
            }
            if (remaining <= 0) break;
        }
    }
    store_position(voice, position);
    voice->direction = direction;
}

void skip_without_ramp(Voice* voice, const Sample* sample, int32_t remaining, int64_t segments_left) {
    const SkipPiece piece = {remaining, segments_left};
    skip_pieces_without_ramp(voice, sample, &piece, 1);
}

// A ramp's end: the levels reach the targets.
void end_ramp(Voice* voice) {
    voice->ramp_frames = 0;
    voice->left_ramp_step = 0.0f;
    voice->right_ramp_step = 0.0f;
    voice->left_level = level_of_volume(voice->left_volume);
    voice->right_level = level_of_volume(voice->right_volume);
}

// Whether an unheard voice surely lives through a ramp that ends within the
// call, crossing loop points one frame or more apart: then only the ramp's
// end shows in its levels, and the gains between need not be formed. So it
// is for a loop more than twice the step long (plus 512 units) at a step of
// 2^-16 frame or more: a crossing overshoots the loop point by at most a
// step and 255 units a frame (under 0.4 % of the loop), so a forward wrap
// lands more than a step inside and a single reflection brings a ping-pong
// position inside. A ping-pong loop must not straddle 2^31 frames, where
// the reflection's int32 comparisons turn.
bool ramp_ends_unheard(const Voice* voice, const Sample* sample) {
    const uint64_t step = voice_step(voice);
    const uint64_t loop = (uint64_t)sample->loop_length << 32;
    if (step < (uint64_t{1} << 16) || step >= (uint64_t{1} << 40) || loop <= 2 * step + 512) return false;
    if (sample->loop_type & LOOP_FORWARD) return true;
    if (!(sample->loop_type & LOOP_PINGPONG)) return false;
    const uint64_t start = sample->loop_start;
    const uint64_t end = start + sample->loop_length;
    return end <= (uint64_t{1} << 31) || (start >= (uint64_t{1} << 31) && end < (uint64_t{1} << 32) - 512);
}

// Heard and without a ramp: the segments of mix_voice one after another
// with the position, direction and gains in locals. A ramp_setup that finds
// no ramp changes nothing the next time either, the gains stay those of the
// targets, and the loop point ahead is looked for next to the frames of the
// last crossing in the same direction (frames_to_loop_point_near), so that a
// short loop crossed again and again costs little more than its frames.
void mix_without_ramp(Voice* voice, const Sample* sample, float* out, int32_t remaining, int64_t segments_left,
                      const MixLoops* loops) {
    const uint32_t loop_start = sample->loop_start;
    const uint32_t loop_length = sample->loop_length;
    const uint32_t loop_end = loop_start + loop_length;
    const uint64_t step = voice_step(voice);
    const bool silent = voice->left_volume == 0 && voice->right_volume == 0;
    const MixGains gains = {(double)volume_gain(voice->left_volume), (double)volume_gain(voice->right_volume)};
    MixSource source = {sample->data, sample->data ? (uint64_t)sample->length + 8 : 0, 0, step, true};
    uint64_t position = voice_position(voice);
    int32_t direction = voice->direction;
    uint64_t guesses[2] = {1, 1};  // backward, forward: the frames of the last crossing
    while (segments_left-- > 0) {
        const bool forward = direction == 1;
        bool boundary = false;
        int32_t len = frames_to_loop_point_near(position, step, forward, loop_start, loop_end, remaining, &boundary,
                                                &guesses[forward]);
        if (len > 0) {
            if (silent) {
                position = advance_silently(position, step, len, forward);
            } else {
                source.position = position;
                source.forward = forward;
                if (segment_in_bounds(position, step, len, forward, source.available)) {
                    position = loops->steady(out, len, source, gains);
                } else {
                    MixGains still = gains;
                    position = forward ? mix_checked<true>(out, len, source, &still, MixGains{0.0, 0.0})
                                       : mix_checked<false>(out, len, source, &still, MixGains{0.0, 0.0});
                }
            }
            out += 2 * (int64_t)len;
        }
        remaining -= len;
        if (!boundary) break;
        if (!pass_loop_point_at(sample, &position, &direction)) {
            voice->direction = direction;
            end_voice(voice);
            return;
        }
        if (remaining <= 0) break;
    }
    store_position(voice, position);
    voice->direction = direction;
}

// HEARD false: the voice moves as if mixed and adds nothing (out unused).
template <bool HEARD>
void mix_voice(Voice* voice, float* out, int32_t count, const MixerSettings& settings) {
    int32_t remaining = count;
    // Every segment but a rare empty one at a loop point mixes a frame, so
    // this bound is never reached; it only makes a hang impossible.
    int64_t segments_left = 3 * (int64_t)count + 16;
    while (segments_left-- > 0) {
        const Sample* sample = voice->sample;
        int32_t ramp = ramp_setup(voice, settings);
        if (HEARD && ramp == 0) {
            mix_without_ramp(voice, sample, out, remaining, segments_left + 1, settings.loops);
            return;
        }
        if (!HEARD && ramp == 0) {
            skip_without_ramp(voice, sample, remaining, segments_left + 1);
            return;
        }
        if (!HEARD && ramp <= remaining && ramp_ends_unheard(voice, sample)) {
            // The segments are those of a call of `ramp` frames and then
            // one of the rest, and the levels end at the targets.
            skip_without_ramp(voice, sample, ramp, segments_left + 1);
            end_ramp(voice);
            if (remaining > ramp) skip_without_ramp(voice, sample, remaining - ramp, segments_left + 1);
            return;
        }
        uint32_t loop_end = sample->loop_start + sample->loop_length;
        bool forward = voice->direction == 1;
        uint64_t position = voice_position(voice);
        uint64_t step = voice_step(voice);
        bool boundary = false;
        int32_t len = frames_to_loop_point(position, step, forward, sample->loop_start, loop_end,
                                           remaining, &boundary);
        bool ramp_cuts = ramp > 0 && len > ramp;
        if (ramp_cuts) {
            len = ramp;
            boundary = false;
        }
        if (HEARD) {
            position = mix_segment(voice, sample, out, len, position, step, forward, ramp, settings.loops);
            out += 2 * (int64_t)len;
        } else {
            position = skip_segment(voice, len, position, step, forward, ramp);
        }
        store_position(voice, position);
        remaining -= len;
        if (ramp > 0) {
            voice->ramp_frames = ramp - len;
            if (voice->ramp_frames == 0) end_ramp(voice);
        }
        if (ramp_cuts) continue;
        if (!boundary) return;
        if (!pass_loop_point(voice, sample) || remaining <= 0) return;
    }
}

}  // namespace

// When the sums are exact, the gains a ramp reaches one addition after
// another equal gains + k * steps formed at once: a wide loop may then form
// the gains of several frames side by side instead of waiting for each sum.
bool ramp_sums_exact(const MixRamp& ramp, int32_t frames) {
    return side_sums_exact(ramp.gains.left, ramp.steps.left, frames) &&
           side_sums_exact(ramp.gains.right, ramp.steps.right, frames);
}

MixerSettings mixer_settings_for_rate(int32_t rate) {
    MixerSettings settings;
    settings.ramp_frames_total = rate * 128 / 44100;
    settings.ramp_reciprocal = static_cast<float>(1.0 / settings.ramp_frames_total);
    settings.loops = fastest_mix_loops();
    return settings;
}

namespace {

// A retired voice whose fade is over: silent until it is overwritten.
bool voice_done(const Voice& voice) {
    return voice.retired && voice.ramp_frames == 0 && voice.left_volume == 0 && voice.right_volume == 0 &&
           voice.left_level == 0 && voice.right_level == 0;
}

}  // namespace

void mix_voices(Voice* voice_table, const MixerSettings& settings, uint32_t muted_channels, float* frames,
                int32_t count) {
    if (count <= 0) return;
    for (int32_t v = 0; v < MIXED_VOICES; ++v) {
        if (!voice_table[v].sample || voice_done(voice_table[v])) continue;
        bool muted = (muted_channels >> (v & 31)) & 1u;
        if (frames != nullptr && !muted) {
            mix_voice<true>(&voice_table[v], frames, count, settings);
        } else {
            mix_voice<false>(&voice_table[v], nullptr, count, settings);
        }
    }
}

namespace {

// Moves a voice with no ramp through a piece that ends before its loop
// point: the test frames_to_loop_point makes before it divides, and the
// move advance_silently makes, with the position in a local. False (nothing
// moved) where the piece may reach the loop point.
bool move_short_of_loop_point(uint64_t* position, uint64_t step, bool forward, uint32_t loop_start,
                              uint32_t loop_end, int32_t len) {
    uint64_t distance = forward ? ((uint64_t)loop_end << 32) - *position
                                : *position - ((uint64_t)loop_start << 32);
    uint64_t step24 = step >> 8;
    uint64_t reach = 0;
    if ((distance >> 32) < (uint64_t{1} << 24) && step24 != 0 &&
        (__builtin_mul_overflow((uint64_t)len, step24, &reach) || reach >= (distance >> 8))) {
        return false;
    }
    *position = advance_silently(*position, step, len, forward);
    return true;
}

// Whether no piece of a cut of `len` frames into two reaches the loop point:
// each part's test in frames_to_loop_point passes. Moving r frames takes
// off at most r * (step24 + 1) units and one for the rounding, so a margin
// of len + 2 units covers every cut. The step must be below 2^40.
bool surely_short_of_loop_point(uint64_t position, uint64_t step, bool forward, uint32_t loop_start,
                                uint32_t loop_end, int32_t len) {
    uint64_t distance = forward ? ((uint64_t)loop_end << 32) - position : position - ((uint64_t)loop_start << 32);
    if ((distance >> 32) >= (uint64_t{1} << 24) || (step >> 8) == 0) return true;
    return step < (uint64_t{1} << 40) && (uint64_t)len * ((step >> 8) + 1) + 2 < (distance >> 8);
}

}  // namespace

void move_voices_unheard(Voice* voice_table, const MixerSettings& settings, const int32_t* pieces,
                         int32_t piece_count) {
    if (piece_count <= 0 || piece_count > MAX_UNHEARD_PIECES) return;
    SkipPiece skips[MAX_UNHEARD_PIECES + 1];
    for (int32_t v = 0; v < MIXED_VOICES; ++v) {
        Voice* voice = &voice_table[v];
        int32_t i = 0;
        while (i < piece_count) {
            if (!voice->sample || voice_done(*voice)) break;
            const Sample* sample = voice->sample;
            const uint32_t loop_end = sample->loop_start + sample->loop_length;
            const uint64_t step = voice_step(voice);
            uint64_t position = voice_position(voice);
            int32_t skip_count = 0;
            int32_t ramp = ramp_setup(voice, settings);
            if (ramp != 0) {
                bool forward = voice->direction == 1;
                if (ramp > pieces[i]) {
                    mix_voice<false>(voice, nullptr, pieces[i], settings);
                    ++i;
                    continue;
                }
                // A ramp over within the piece. mix_voice moves the voice
                // through the ramp's frames and then the rest, and leaves the
                // levels at the targets; short of the loop point wherever the
                // piece is cut, that is one move.
                if (surely_short_of_loop_point(position, step, forward, sample->loop_start, loop_end, pieces[i])) {
                    store_position(voice, advance_silently(position, step, pieces[i], forward));
                    end_ramp(voice);
                    ++i;
                    continue;
                }
                if (!ramp_ends_unheard(voice, sample)) {
                    mix_voice<false>(voice, nullptr, pieces[i], settings);
                    ++i;
                    continue;
                }
                const int64_t segments = 3 * (int64_t)pieces[i] + 16;
                skips[skip_count++] = SkipPiece{ramp, segments};
                if (pieces[i] > ramp) skips[skip_count++] = SkipPiece{pieces[i] - ramp, segments};
                end_ramp(voice);
                ++i;
                // A fade to silence that is over leaves the voice where it is.
                if (voice_done(*voice)) i = piece_count;
            } else {
                // Without a ramp, none comes before the tick's end: the
                // pieces short of the loop point move with the position in
                // a local.
                bool forward = voice->direction == 1;
                while (i < piece_count &&
                       move_short_of_loop_point(&position, step, forward, sample->loop_start, loop_end, pieces[i])) {
                    ++i;
                }
                store_position(voice, position);
            }
            // The rest as mix_voice takes them, one call a piece.
            for (; i < piece_count; ++i) skips[skip_count++] = SkipPiece{pieces[i], 3 * (int64_t)pieces[i] + 16};
            if (skip_count > 0) skip_pieces_without_ramp(voice, sample, skips, skip_count);
            break;
        }
    }
}

// clip_to_pcm16's rule is in clip_plain above.
void clip_to_pcm16(const MixerSettings& settings, int16_t* dst, const float* src, int32_t frame_count) {
    if (frame_count <= 0 || !dst || !src) return;
    settings.loops->clip(dst, src, 2 * (int64_t)frame_count);
}

const MixLoops* mix_loops_of(MixLoop kind) {
    return kind == MixLoop::PLAIN ? &PLAIN_LOOPS : target_mix_loops(kind);
}

const MixLoops* fastest_mix_loops() {
    for (int k = MIX_LOOP_COUNT - 1; k > 0; --k) {
        const MixLoops* loops = target_mix_loops(static_cast<MixLoop>(k));
        if (loops) return loops;
    }
    return &PLAIN_LOOPS;
}

}  // namespace korvanti
