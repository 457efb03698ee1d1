// The mixer: voices playing 16-bit samples into float stereo frames.
//
// Numbers. Voice positions and steps are 32.32 fixed point, levels 8.8 (see
// player/replay/voice.h). Gains are float32 formed once per segment; mixed
// values are float32 on the 16-bit scale.
#pragma once

#include <cstdint>

#include "player/replay/voice.h"

namespace korvanti {

struct MixLoops;

// What the mixer of one player works with, set from its mixing rate.
struct MixerSettings {
    int32_t ramp_frames_total;  // mixing_rate * 128 / 44100
    float ramp_reciprocal;      // 1.0 / ramp_frames_total
    const MixLoops* loops;      // the inner loops in use
};

// The ramp settings of `rate` and the fastest loops.
MixerSettings mixer_settings_for_rate(int32_t rate);

// Adds count frames (left, right floats) of every playing voice 0..63 of
// `voice_table` into frames. The voices of channels whose bit is set in
// `muted_channels`, and all voices when frames is null, move as if mixed and
// add nothing.
void mix_voices(Voice* voice_table, const MixerSettings& settings, uint32_t muted_channels, float* frames,
                int32_t count);
// The same as mix_voices with null frames called once for each of
// `piece_count` pieces in turn, the frames of one tick that lie in
// successive blocks (a ramp's levels are rounded where a block ends, and
// loop points are looked for from each block's start, so the pieces stay
// apart where they matter).
// At most MAX_UNHEARD_PIECES pieces; more change nothing.
constexpr int32_t MAX_UNHEARD_PIECES = 16;
void move_voices_unheard(Voice* voice_table, const MixerSettings& settings, const int32_t* pieces,
                         int32_t piece_count);
// Rounds to nearest (ties to even) and clamps 2 * frame_count floats to int16.
void clip_to_pcm16(const MixerSettings& settings, int16_t* dst, const float* src, int32_t frame_count);

}  // namespace korvanti
