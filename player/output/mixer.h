// The mixer: voices playing 16-bit samples into float stereo frames.
//
// Numbers. Voice positions and steps are 32.32 fixed point, levels 8.8 (see
// player/replay/voice.h). Gains are float32 formed once per segment; mixed
// values are float32 on the 16-bit scale.
#pragma once

#include <cstdint>

#include "player/replay/voice.h"

// Ramp settings, set by player_init from the mixing rate.
extern int32_t ramp_frames_total;  // mixing_rate * 128 / 44100
extern float ramp_reciprocal;      // 1.0 / ramp_frames_total

// Adds count frames (left, right floats) of every playing voice 0..63 into frames.
void mix_voices(float* frames, int32_t count);
// Rounds to nearest (ties to even) and clamps 2 * frame_count floats to int16.
void clip_to_pcm16(int16_t* dst, const float* src, int32_t frame_count);
