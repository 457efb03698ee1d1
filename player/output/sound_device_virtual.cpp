// STUB: to be replaced.
#include "player/output/sound_device.h"
bool sound_device_open(int32_t) { return true; }
void sound_device_play_loop(const int16_t*, int32_t) {}
uint64_t sound_device_bytes_played() { return 0; }
void sound_device_reset() {}
void sound_device_close() {}
void virtual_device_set_bytes_played(uint64_t) {}
void virtual_device_advance(uint64_t) {}
bool virtual_device_fail_open(bool) { return false; }
