// Periods, the instrument's envelopes, fadeout and auto-vibrato, and the hand
// over of a channel's pitch, volume and panning to its mixer voice.
//
// Numbers. Constants written as floats (1/12, 1/768, 255/2^35, the sine
// factor) are float32 values; the arithmetic around them is double, and every
// conversion to an integer truncates toward zero. Channel fields can be driven
// far outside their ranges by effects without limits (slides, effect C), so
// sums are formed in 64 bits and a result is clamped only where its exact
// value would not fit the field it goes to.
#include "player/replay/voice_update.h"

#include <atomic>
#include <cmath>
#include <cstdlib>

#include "player/module/song.h"
#include "player/replay/channel.h"
#include "player/replay/play_state.h"
#include "player/replay/voice.h"

namespace korvanti {

namespace {

constexpr float SEMITONE_EXPONENT = 1.0f / 12;     // 0.0833333358
constexpr float LINEAR_EXPONENT = 1.0f / 768;      // 0.0013020834
constexpr float VOLUME_SCALE = 7.4214768e-9f;      // 255 / 2^35
constexpr float VIBRATO_SINE_STEP = 0.024543688f;  // 2 pi / 256
constexpr int ENVELOPE_POINTS = 12;
constexpr int32_t LOWEST_STEPPED_FREQUENCY = 100;  // Hz
constexpr int64_t AMIGA_CLOCK = 14317056;

int32_t clamp_int32(int64_t value) {
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return (int32_t)value;
}

// Truncation toward zero of a double that may lie beyond int32.
int32_t truncate_to_int32(double value) {
    if (!(value > -2147483649.0)) return INT32_MIN;
    if (value >= 2147483648.0) return INT32_MAX;
    return (int32_t)value;
}

}  // namespace

double amiga_table_period_unrounded(int64_t k) {
    return std::pow(2.0, (double)k * (double)SEMITONE_EXPONENT) * 13.375;
}

double linear_frequency_unrounded(int64_t period_steps) {
    return 8363.0 * std::pow(2.0, (double)period_steps * (double)LINEAR_EXPONENT);
}

double auto_vibrato_sine_unrounded(int32_t position) {
    return std::sin((double)position * (double)VIBRATO_SINE_STEP) * 64.0;
}

namespace {

// The auto-vibrato sine at positions 0..255, truncated, formed once: the
// same values every tick computes, without a sin a channel a tick.
struct AutoVibratoTable {
    int8_t values[256];
};

AutoVibratoTable make_auto_vibrato_table() {
    AutoVibratoTable table = {};
    for (int32_t p = 0; p < 256; ++p) table.values[p] = (int8_t)(int64_t)auto_vibrato_sine_unrounded(p);
    return table;
}

int64_t auto_vibrato_sine(int32_t position) {
    static const AutoVibratoTable table = make_auto_vibrato_table();
    return table.values[position & 255];
}

// The truncated linear frequencies of the steps notes, slides and vibratos
// mostly reach, each formed the first time it is asked for: a slide or a
// vibrato asks for a new one every tick. Relaxed atomics, as players on other
// threads may fill the same entry (with the same value).
constexpr int64_t LINEAR_TABLE_LOW = -4096;
constexpr int64_t LINEAR_TABLE_SIZE = 12288;
std::atomic<int32_t> linear_frequency_table[LINEAR_TABLE_SIZE];  // 0: not formed yet (every value is above 200)

int32_t linear_frequency(int64_t steps) {
    uint64_t slot = (uint64_t)(steps - LINEAR_TABLE_LOW);
    if (slot >= (uint64_t)LINEAR_TABLE_SIZE) return truncate_to_int32(linear_frequency_unrounded(steps));
    int32_t frequency = linear_frequency_table[slot].load(std::memory_order_relaxed);
    if (frequency == 0) {
        frequency = truncate_to_int32(linear_frequency_unrounded(steps));
        linear_frequency_table[slot].store(frequency, std::memory_order_relaxed);
    }
    return frequency;
}

// P(k): the Amiga period of table index k (132 - note).
int64_t amiga_table_period(int64_t k) {
    return truncate_to_int32(amiga_table_period_unrounded(k));
}

Voice* twin_of(Voice* voice_table, Voice* voice) {
    int32_t index = voice->index;
    if (index < 0 || index >= MIXED_VOICES) index = (int32_t)(voice - voice_table);
    int32_t twin = index < 32 ? index + 32 : index - 32;
    if (twin < 0 || twin >= MIXED_VOICES) return nullptr;  // not a voice of the table
    return &voice_table[twin];
}

// Starts the current sample, on the twin voice when this one still sounds.
Voice* trigger(Voice* voice_table, Channel* channel, Voice* voice, const Sample* sample) {
    if (voice->sample) {
        Voice* twin = twin_of(voice_table, voice);
        if (twin && twin != voice) {
            int32_t twin_index = (int32_t)(twin - voice_table);
            *twin = *voice;
            twin->index = twin_index;
            voice->retired = 1;
            voice->volume = 0;
            voice->volume_copy = 0;
            voice->left_volume = 0;
            voice->right_volume = 0;
            channel->voice = twin;
            voice = twin;
        }
    }
    voice->sample = sample;
    uint32_t loop_end = sample ? sample->loop_start + sample->loop_length : 0;
    if ((uint32_t)voice->start_offset >= loop_end) voice->start_offset = 0;
    voice->position_int = (uint32_t)voice->start_offset;
    voice->position_frac = 0;
    voice->direction = 1;
    voice->start_offset = 0;
    voice->left_level = 0;
    voice->right_level = 0;
    voice->ramp_frames = 0;
    return voice;
}

// volume * panning / 255 and its right-hand twin; panning is 0..255 here.
void set_targets(Voice* voice) {
    voice->left_volume = clamp_int32((int64_t)voice->volume * voice->panning / 255);
    voice->right_volume = clamp_int32((255 - (int64_t)voice->panning) * voice->volume / 255);
}

int32_t final_volume(const Channel* channel, const PlayState* play) {
    double product = (double)((int64_t)channel->volume + channel->volume_delta);
    product = product * (double)channel->volume_envelope_value;
    product = product * (double)channel->fadeout_volume;
    product = product * (double)play->global_volume;
    return truncate_to_int32(product * (double)VOLUME_SCALE);
}

int32_t final_panning(const Channel* channel) {
    int64_t panning = channel->panning;
    int64_t room = (128 - std::llabs(panning - 128)) / 32;
    int64_t pan = panning + room * ((int64_t)channel->panning_envelope_value - 32);
    return pan < 0 ? 0 : pan > 255 ? 255 : (int32_t)pan;
}

int32_t frequency_of(Channel* channel, int64_t period_sum, const Song* song) {
    if (song->flags & SONG_LINEAR_FREQUENCIES) {
        int64_t steps = (4608 - (int64_t)channel->period) + channel->period_delta;
        if (!channel->frequency_known || channel->frequency_steps != steps) {
            channel->frequency = linear_frequency(steps);
            channel->frequency_steps = steps;
            channel->frequency_known = true;
        }
        return channel->frequency;
    }
    return (int32_t)(AMIGA_CLOCK / period_sum);  // |quotient| <= 14317056
}

// The step per output frame, 32.32, of at least 100 Hz.
void set_step(Voice* voice, int32_t frequency, int32_t mixing_rate) {
    if (mixing_rate <= 0) return;  // no output rate yet: nothing to step against
    uint32_t rate = (uint32_t)mixing_rate;
    uint32_t stepped = (uint32_t)(frequency >= LOWEST_STEPPED_FREQUENCY ? frequency
                                                                       : LOWEST_STEPPED_FREQUENCY);
    uint32_t whole = stepped / rate;
    uint64_t numerator = ((uint64_t)(stepped % rate) << 32) + whole;
    voice->step_int = (int32_t)whole;
    voice->step_frac = (uint32_t)(numerator / rate);
}

}  // namespace

int32_t linear_period(int32_t note, int32_t finetune) {
    return clamp_int32(7680 - 64 * (int64_t)note - finetune / 2);
}

int32_t amiga_period(int32_t note, int32_t finetune) {
    int64_t base = amiga_table_period(132 - (int64_t)note);
    int64_t result = 0;
    if (finetune >= 0 || note == 0) {
        int64_t next = amiga_table_period(131 - (int64_t)note);
        result = base + ((base - next) * finetune) / -128;
    } else {
        int64_t previous = amiga_table_period(133 - (int64_t)note);
        result = base + ((base - previous) * -(int64_t)finetune) / -128;
    }
    return clamp_int32(result);
}

EnvelopeState volume_envelope_state(Channel* channel) {
    return {&channel->volume_envelope_tick,  &channel->volume_envelope_point,
            &channel->volume_envelope_fixed, &channel->volume_envelope_value,
            &channel->volume_envelope_slope, &channel->volume_envelope_done};
}

EnvelopeState panning_envelope_state(Channel* channel) {
    return {&channel->panning_envelope_tick,  &channel->panning_envelope_point,
            &channel->panning_envelope_fixed, &channel->panning_envelope_value,
            &channel->panning_envelope_slope, &channel->panning_envelope_done};
}

EnvelopeShape volume_envelope_shape(const Instrument* instrument) {
    return {instrument->volume_envelope,   instrument->volume_point_count,
            instrument->volume_envelope_flags, instrument->volume_sustain_point,
            instrument->volume_loop_start, instrument->volume_loop_end};
}

EnvelopeShape panning_envelope_shape(const Instrument* instrument) {
    return {instrument->panning_envelope,   instrument->panning_point_count,
            instrument->panning_envelope_flags, instrument->panning_sustain_point,
            instrument->panning_loop_start, instrument->panning_loop_end};
}

// Point indices come from the file as stored; every read of a point is kept
// inside the 12-entry table. A point index in 12..255 (loop start, or a point
// whose successor would be the 13th) makes the envelope hold its value.
namespace {

__attribute__((always_inline)) inline void step_envelope(Channel* channel, const EnvelopeState& state,
                                                         const EnvelopeShape& shape, uint8_t update_bit) {
    const EnvelopePoint* points = shape.points;
    int32_t count = shape.point_count < ENVELOPE_POINTS ? shape.point_count : ENVELOPE_POINTS;
    int32_t i = *state.point;
    int32_t t = *state.tick;
    if (i >= 0 && i < count && t == points[i].x) {
        if ((shape.flags & ENVELOPE_LOOP) && i == shape.loop_end &&
            shape.loop_start < ENVELOPE_POINTS) {
            i = shape.loop_start;
            t = points[i].x;
            *state.point = i;
            *state.tick = t;
        }
        bool last = i == count - 1 || i + 1 >= ENVELOPE_POINTS;
        bool sustained = (shape.flags & ENVELOPE_SUSTAIN) && i == shape.sustain_point &&
                         !channel->released;
        if (last || sustained) {
            *state.value = points[i].y;
            if (last) *state.done = 1;
            channel->update_flags |= update_bit;
            return;
        }
        int32_t difference = (int32_t)points[i + 1].y - points[i].y;
        int32_t run = (int32_t)points[i + 1].x - points[i].x;
        if (run == 0) {
            *state.slope = 0;
        } else if (difference > -32768 && difference < 32768) {
            *state.slope = difference * 65536 / run;  // fits 32 bits: the same quotient, a cheaper division
        } else {
            *state.slope = clamp_int32((int64_t)difference * 65536 / run);
        }
        *state.fixed = (int32_t)((uint32_t)points[i].y << 16);
        *state.point = i + 1;
    } else if (i >= 0 && i < count) {
        *state.fixed = clamp_int32((int64_t)*state.fixed + *state.slope);
    }
    *state.value = *state.fixed >> 16;
    if (t < INT32_MAX) *state.tick = t + 1;
    channel->update_flags |= update_bit;
}

}  // namespace

void envelope_step(Channel* channel, EnvelopeState state, EnvelopeShape shape, uint8_t update_bit) {
    step_envelope(channel, state, shape, update_bit);
}

void channel_step_envelopes(Channel* channel, const Instrument* instrument) {
    if (!instrument) return;
    if ((instrument->volume_envelope_flags & ENVELOPE_ON) && !channel->volume_envelope_done) {
        step_envelope(channel, volume_envelope_state(channel), volume_envelope_shape(instrument), VOLUME);
    }
    if ((instrument->panning_envelope_flags & ENVELOPE_ON) && !channel->panning_envelope_done) {
        step_envelope(channel, panning_envelope_state(channel), panning_envelope_shape(instrument), PANNING);
    }
}

void fadeout_step(Channel* channel, const Instrument* instrument) {
    if (!instrument || !channel->released) return;
    int64_t faded = (int64_t)channel->fadeout_volume - instrument->fadeout;
    channel->fadeout_volume = faded < 0 ? 0 : clamp_int32(faded);
    channel->update_flags |= VOLUME;
}

void auto_vibrato(Channel* channel, const Instrument* instrument) {
    if (!instrument) return;
    int32_t p = channel->auto_vibrato_position;
    int64_t value = 0;
    // Without depth the waveform adds nothing; only the phase and sweep move.
    switch (instrument->vibrato_depth != 0 ? instrument->vibrato_type : 4) {
        case 0:  // sine
            value = auto_vibrato_sine(p);
            break;
        case 1:  // square
            value = p < 128 ? 64 : -64;
            break;
        case 2:  // falling ramp
            value = (128 - ((p + 128) & 255)) >> 1;
            break;
        case 3:  // rising ramp
            value = (128 - ((384 - p) & 255)) >> 1;
            break;
        default:  // no waveform: nothing added, the phase still moves
            break;
    }
    int64_t amount = value * instrument->vibrato_depth;
    if (instrument->vibrato_sweep != 0) {
        amount = (int64_t)channel->auto_vibrato_sweep * amount / instrument->vibrato_sweep;
    }
    channel->period_delta = clamp_int32((int64_t)channel->period_delta + (amount >> 6));
    if (channel->auto_vibrato_sweep < instrument->vibrato_sweep) {
        channel->auto_vibrato_sweep += 1;
    } else {
        channel->auto_vibrato_sweep = instrument->vibrato_sweep;
    }
    channel->auto_vibrato_position += instrument->vibrato_rate;
    if (channel->auto_vibrato_position > 255) channel->auto_vibrato_position -= 256;
    channel->update_flags |= FREQUENCY;
}

void update_voice(PlayState* play, Channel* channel, const Sample* sample) {
    Voice* voice = channel->voice;
    if (!voice || !play->song) return;
    int64_t period_sum = (int64_t)channel->period + channel->period_delta;
    if (period_sum == 0) channel->update_flags &= (uint8_t)~FREQUENCY;
    uint8_t flags = channel->update_flags;

    if (flags & TRIGGER) voice = trigger(play->voice_table, channel, voice, sample);
    if (flags & VOLUME) {
        int32_t volume = final_volume(channel, play);
        voice->volume = volume;
        voice->volume_copy = volume;
    }
    if (flags & PANNING) {
        int32_t panning = final_panning(channel);
        voice->panning = panning;
        voice->panning_copy = panning;
    }
    if (flags & (VOLUME | PANNING)) set_targets(voice);
    if (flags & FREQUENCY) {
        int32_t frequency = frequency_of(channel, period_sum, play->song);
        // A held note keeps its step: the division is made only for a new one.
        if (voice->frequency != frequency || voice->step_rate != play->mixing_rate || voice->step_rate == 0) {
            voice->frequency = frequency;
            set_step(voice, frequency, play->mixing_rate);
            voice->step_rate = play->mixing_rate;
        }
    }
    if (flags & RESET_POSITION) {
        voice->position_frac = 0;
        voice->position_int = 0;
        voice->start_offset = 0;
    }
}

}  // namespace korvanti
