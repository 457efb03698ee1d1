// The live device of a build that has none (no SDL2 headers were found):
// it never opens, so player_init fails with a reason; offline rendering
// needs no device and works as everywhere.
#include "player/output/sound_device.h"

bool sound_device_open(int32_t) { return false; }
const char* sound_device_error() { return "this build has no sound output; render offline instead"; }
void sound_device_play_loop(const int16_t*, int32_t) {}
uint64_t sound_device_bytes_played() { return 0; }
void sound_device_pause(bool) {}
void sound_device_reset() {}
void sound_device_close() {}
