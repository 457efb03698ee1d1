// STUB: to be replaced.
#include "player/output/mixer.h"
Voice voice_table[VOICE_COUNT];
int32_t ramp_frames_total = 128;
float ramp_reciprocal = 1.0f / 128;
void mix_voices(float*, int32_t) {}
void clip_to_pcm16(int16_t*, const float*, int32_t) {}
