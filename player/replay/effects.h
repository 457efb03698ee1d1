// The pattern effects and volume-column commands: their first-tick part
// (called from process_row) and their later-tick part (process_later_tick),
// with the parameter memories, waveforms and clamps they use.
#pragma once

#include <cstdint>

#include "player/replay/channel.h"

namespace korvanti {

struct PlayState;
struct NoteCell;
struct Sample;
struct Instrument;

// A channel's pitch, volume and panning before process_row touched it; the
// note delay ED returns to them.
struct RowStartValues {
    int32_t volume;
    int32_t period;
    int32_t panning;
};

// First-tick part of a volume-column byte (not 0).
void volume_column(Channel* channel, uint8_t value);
// Later-tick part of a volume-column byte.
void volume_column_later(Channel* channel, uint8_t value);
// First-tick part of an effect other than the flow effects B, D, E6, EE, F.
void effect_first_tick(PlayState* play, Channel* channel, const NoteCell& cell,
                       const ChannelSource& source, const RowStartValues& before);
// Later-tick part of an effect.
void effect_later_tick(PlayState* play, Channel* channel, const NoteCell& cell,
                       const ChannelSource& source);
// The E effects, by the parameter's upper nibble.
void extended_first_tick(PlayState* play, Channel* channel, const NoteCell& cell, const Sample* sample,
                         const RowStartValues& before);
void extended_later_tick(PlayState* play, Channel* channel, const NoteCell& cell, const Sample* sample);

// The slides and oscillators several effects share.
void tone_portamento(Channel* channel);
void vibrato(Channel* channel);
void vibrato_advance(Channel* channel);
// |sin| times 256 of the vibrato and tremolo oscillator at phase -32..31,
// before truncation (kept clear of integers like the values in voice_update.h).
double oscillator_sine_unrounded(int8_t position);
void tremolo(Channel* channel);
void tremor(Channel* channel);
void volume_slide(Channel* channel);
void arpeggio(const PlayState* play, Channel* channel, uint8_t param, const Sample* sample);
void multi_retrig(const PlayState* play, Channel* channel);
// L: moves the volume envelope to tick `position` (only when it is on).
void set_envelope_position(Channel* channel, const Instrument* instrument, uint8_t position);

// Period changes saturate at +-PERIOD_LIMIT: 2xx and E2x add without limit on
// every pass of a looping song, and the sums with the per-tick offsets must
// stay inside 32 bits. No real song comes near the limit.
constexpr int32_t PERIOD_LIMIT = 1 << 30;
int32_t period_add(int32_t period, int32_t amount);
// The volume-column panning slides have no limit; they saturate at
// +-PANNING_LIMIT for the same reason.
constexpr int32_t PANNING_LIMIT = 1 << 24;

// "x, at most high" and "x, at least low".
constexpr int32_t at_most(int32_t value, int32_t high) { return value > high ? high : value; }
constexpr int32_t at_least(int32_t value, int32_t low) { return value < low ? low : value; }

// A parameter memory: a zero parameter repeats the last non-zero one.
inline void remember(uint8_t* memory, uint8_t param) {
    if (param != 0) *memory = param;
}

inline void clear_flags(Channel* channel, uint8_t bits) {
    channel->update_flags = static_cast<uint8_t>(channel->update_flags & ~bits);
}

}  // namespace korvanti
