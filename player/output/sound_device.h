// The sound device behind the output stream: one looping ring of interleaved
// int16 stereo frames, and the count of bytes heard since it started. Two
// implementations are chosen at link time: SDL2 audio and a virtual device.
#pragma once

#include <cstdint>

bool sound_device_open(int32_t rate);
// Starts playing the ring from its first frame and repeats it without end.
void sound_device_play_loop(const int16_t* ring, int32_t bytes);
// Bytes heard since play_loop, counted across loops; 64-bit, never wraps.
uint64_t sound_device_bytes_played();
// Stops playback at once.
void sound_device_reset();
void sound_device_close();

// Virtual device only: the caller moves the position.
void virtual_device_set_bytes_played(uint64_t bytes);
void virtual_device_advance(uint64_t bytes);
bool virtual_device_fail_open(bool fail);
