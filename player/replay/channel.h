// The replay state of each module channel, and the choice of its current sample.
#pragma once

#include <cstdint>

namespace korvanti {

struct Voice;
struct Song;
struct Sample;
struct Instrument;

// update_flags: requests to update_voice for this tick.
constexpr uint8_t FREQUENCY = 1;
constexpr uint8_t VOLUME = 2;
constexpr uint8_t PANNING = 4;
constexpr uint8_t TRIGGER = 8;          // start the current sample (at the pending offset)
constexpr uint8_t RESET_POSITION = 32;  // put the playing voice back to its sample's start

struct Channel {
    uint8_t note;          // last latched note, 0-based; index into the keymap
    uint8_t update_flags;  // cleared at the start of every tick
    Voice* voice;          // voice i or its twin i +- 32
    int32_t period;        // current pitch, linear or Amiga units
    int32_t volume;        // normally 0..64; effect C may push it higher
    int32_t panning;       // normally 0..255, 128 centre
    int32_t volume_delta;  // this tick only: tremolo, tremor
    int32_t period_delta;  // this tick only: vibrato, arpeggio, auto-vibrato

    int32_t volume_envelope_tick;
    int32_t volume_envelope_point;  // point that ends the current segment
    int32_t volume_envelope_fixed;  // 16.16
    int32_t volume_envelope_value;  // 0..64
    int32_t volume_envelope_slope;  // 16.16 per tick
    uint8_t volume_envelope_done;
    int32_t panning_envelope_tick;
    int32_t panning_envelope_point;
    int32_t panning_envelope_fixed;
    int32_t panning_envelope_value;  // 0..64, 32 centre
    int32_t panning_envelope_slope;
    uint8_t panning_envelope_done;

    int32_t fadeout_volume;         // 65536 at full level
    int32_t auto_vibrato_position;  // 0..255
    int32_t auto_vibrato_sweep;     // capped at the instrument's vibrato_sweep
    uint8_t released;               // key off seen since the last reset_channel
    uint8_t instrument;             // 0-based
    uint8_t real_note;              // note + relative note, kept to 8 bits
    int32_t note_period;            // period of the last note read from a cell
    uint8_t last_effect;            // effect type of the previous row

    // Parameter memories.
    int32_t sample_offset;  // 9xx, units of 256 frames
    uint8_t porta_down_speed;
    uint8_t porta_up_speed;
    uint8_t extra_fine_down;
    uint8_t extra_fine_up;
    uint8_t volume_slide;  // shared by A, 5, 6
    uint8_t panning_slide;
    uint8_t retrig_volume;
    uint8_t retrig_interval;
    int32_t porta_target;
    uint8_t porta_speed;
    int8_t vibrato_position;  // -32..31
    uint8_t vibrato_speed;
    uint8_t vibrato_depth;
    int8_t tremolo_position;  // -32..31
    uint8_t tremolo_speed;
    uint8_t tremolo_depth;
    uint8_t tremor_counter;
    uint8_t tremor_on;
    uint8_t tremor_off;
    int32_t loop_row;
    int32_t loop_count;
    uint8_t waveforms;  // low nibble vibrato, high nibble tremolo waveform control
    uint8_t fine_volume_slide;
    uint8_t fine_porta_up;
    uint8_t fine_porta_down;

    // The last linear-table frequency formed, by its period steps: a pitch
    // that stays the same tick after tick needs no new pow.
    bool frequency_known;
    int64_t frequency_steps;
    int32_t frequency;
};

constexpr int CHANNEL_COUNT = 32;

// What a channel plays on this tick.
struct ChannelSource {
    const Instrument* instrument;  // the shared empty Instrument for a missing one
    const Sample* sample;          // the shared empty Sample for a missing one
};

// The per-tick choice of instrument and current sample.
ChannelSource channel_choose_sample(const Channel* channel, const Song* song);
// Loads a sample's defaults into the channel (a cell named an instrument).
void reset_channel(Channel* channel, const Sample* sample);

}  // namespace korvanti
