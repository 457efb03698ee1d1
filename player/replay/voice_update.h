// From a channel's state to its mixer voice: periods, envelopes, fadeout,
// auto-vibrato and the voice update with the twin-voice switch.
#pragma once

#include <cstdint>

namespace korvanti {

struct Channel;
struct Instrument;
struct Sample;
struct PlayState;
struct EnvelopePoint;

int32_t linear_period(int32_t note, int32_t finetune);
int32_t amiga_period(int32_t note, int32_t finetune);

// The values the player truncates after pow and sin: the Amiga period of
// table index k, the linear-mode frequency (8363 Hz times 2 to the
// period_steps / 768) and the auto-vibrato sine (times 64) at position 0..255.
// Each stays far enough from an integer that any libm rounding its last bit
// either way truncates to the same number.
double amiga_table_period_unrounded(int64_t k);
double linear_frequency_unrounded(int64_t period_steps);
double auto_vibrato_sine_unrounded(int32_t position);

// The per-channel state of one envelope, as a view onto the six Channel fields.
struct EnvelopeState {
    int32_t* tick;
    int32_t* point;
    int32_t* fixed;
    int32_t* value;
    int32_t* slope;
    uint8_t* done;
};

// The instrument side of one envelope.
struct EnvelopeShape {
    const EnvelopePoint* points;
    uint8_t point_count;
    uint8_t flags;
    uint8_t sustain_point;
    uint8_t loop_start;
    uint8_t loop_end;
};

EnvelopeState volume_envelope_state(Channel* channel);
EnvelopeState panning_envelope_state(Channel* channel);
EnvelopeShape volume_envelope_shape(const Instrument* instrument);
EnvelopeShape panning_envelope_shape(const Instrument* instrument);

// One tick of one envelope; update_bit is VOLUME or PANNING.
void envelope_step(Channel* channel, EnvelopeState state, EnvelopeShape shape, uint8_t update_bit);
// The volume envelope, then the panning envelope, each when it is on and not
// done: the envelope work shared by the first and later ticks.
void channel_step_envelopes(Channel* channel, const Instrument* instrument);
// After the envelopes: a released channel fades by the instrument's fadeout
// (not below 0) and asks for a new volume.
void fadeout_step(Channel* channel, const Instrument* instrument);
void auto_vibrato(Channel* channel, const Instrument* instrument);
void update_voice(PlayState* play, Channel* channel, const Sample* sample);

}  // namespace korvanti
