// The mixer: voices playing 16-bit samples into float stereo frames.
//
// Numbers. A voice position is 32.32 fixed point (position_int whole frames of
// the sample, position_frac in units of 2^-32), and so is its step per output
// frame; all position arithmetic is on the 64-bit value, modulo 2^64. Levels
// heard now are 8.8 fixed point (a level of 255 is 65280). Gains are float32
// formed once per segment; mixed values are float32 on the 16-bit scale.
#pragma once

#include <cstdint>

struct Sample;

struct Voice {
    int32_t index;         // own slot number in voice_table
    int32_t volume_copy;   // kept by the voice update; not read by the mixer
    int32_t frequency;     // Hz, before the 100 Hz floor; not read by the mixer
    int32_t panning_copy;  // kept by the voice update; not read by the mixer
    int32_t volume;        // final volume the targets are formed from
    int32_t panning;       // final panning 0..255
    int32_t start_offset;  // frame at which the next note starts
    Sample* sample;        // null: idle
    int32_t left_volume;   // target level 0..255 of the left sample of every frame
    int32_t right_volume;  // target level 0..255 of the right sample
    uint32_t position_int;
    uint32_t position_frac;
    uint32_t step_frac;
    int32_t step_int;
    int32_t direction;  // 1 forward; anything else backward (the mixer writes 2)
    int32_t ramp_left_target;   // left_volume when the current ramp was set up
    int32_t ramp_right_target;  // right_volume when the current ramp was set up
    int32_t left_level;         // 8.8 level heard now
    int32_t right_level;
    float left_ramp_step;  // gain change per frame while a ramp runs
    float right_ramp_step;
    int32_t ramp_frames;  // frames left in the current ramp; 0 = none
};

constexpr int VOICE_COUNT = 256;
constexpr int MIXED_VOICES = 64;  // channel c sounds on voice c or its twin c + 32

extern Voice voice_table[VOICE_COUNT];

// Ramp settings, set by player_init from the mixing rate.
extern int32_t ramp_frames_total;  // mixing_rate * 128 / 44100
extern float ramp_reciprocal;      // 1.0 / ramp_frames_total

// Adds count frames (left, right floats) of every playing voice 0..63 into frames.
void mix_voices(float* frames, int32_t count);
// Rounds to nearest (ties to even) and clamps 2 * frame_count floats to int16.
void clip_to_pcm16(int16_t* dst, const float* src, int32_t frame_count);
