// Voices: the mixer's state of one playing sample each. The voice update
// (voice_update.cpp) starts them and sets their pitch, volume and panning
// once per tick; the mixer (player/output) reads and advances them between
// ticks. Both sides include this header; it needs nothing of the mixer.
//
// Numbers. A voice position is 32.32 fixed point (position_int whole frames of
// the sample, position_frac in units of 2^-32), and so is its step per output
// frame; all position arithmetic is on the 64-bit value, modulo 2^64. Levels
// heard now are 8.8 fixed point (a level of 255 is 65280).
#pragma once

#include <cstdint>

namespace korvanti {

struct Sample;

struct Voice {
    int32_t index;         // own slot number in voice_table
    int32_t volume_copy;   // kept by the voice update; not read by the mixer
    int32_t frequency;     // Hz, before the 100 Hz floor; not read by the mixer
    int32_t panning_copy;  // kept by the voice update; not read by the mixer
    int32_t volume;        // final volume the targets are formed from
    int32_t panning;       // final panning 0..255
    int32_t start_offset;  // frame at which the next note starts
    const Sample* sample;  // null: idle
    int32_t left_volume;   // target level 0..255 of the left sample of every frame
    int32_t right_volume;  // target level 0..255 of the right sample
    uint32_t position_int;
    uint32_t position_frac;
    uint32_t step_frac;
    int32_t step_int;
    int32_t step_rate;  // the mixing rate the step was last set for from `frequency`; 0: never
    int32_t direction;  // 1 forward; anything else backward (the mixer writes 2)
    int32_t ramp_left_target;   // left_volume when the current ramp was set up
    int32_t ramp_right_target;  // right_volume when the current ramp was set up
    int32_t left_level;         // 8.8 level heard now
    int32_t right_level;
    float left_ramp_step;  // gain change per frame while a ramp runs
    float right_ramp_step;
    int32_t ramp_frames;  // frames left in the current ramp; 0 = none
    // Left behind by its channel for the twin (a new note started there):
    // nothing reads it again but the mixer, until a later note overwrites it
    // with a copy of the channel's voice. Once its fade to silence is over it
    // adds nothing, and where it is in its sample no longer matters.
    uint8_t retired;
};

constexpr int VOICE_COUNT = 64;
constexpr int MIXED_VOICES = 64;  // channel c sounds on voice c or its twin c + 32

// Every voice of a table of VOICE_COUNT silent and at rest, as a start
// leaves them: all fields 0, each `index` its slot number and `step_int` 1.
void voices_reset(Voice* voice_table);

}  // namespace korvanti
