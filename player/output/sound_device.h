// The sound device behind the output stream: one looping ring of interleaved
// int16 stereo frames, and the count of bytes heard since it started. Two
// implementations are chosen at link time: the live device (SDL2 audio, or
// wave-out on Windows: player_device_live) and a virtual device without
// output (player_device_virtual).
#pragma once

#include <cstdint>

// Opens 16-bit stereo output at `rate` frames per second; false on failure,
// with the reason in sound_device_error.
bool sound_device_open(int32_t rate);
// Why the last open failed and what might help, one line for a person;
// empty after a success.
const char* sound_device_error();
// Starts playing the ring from its first frame and repeats it without end,
// also on a device that was paused.
// The ring stays the caller's and must live until sound_device_reset.
void sound_device_play_loop(const int16_t* ring, int32_t bytes);
// Bytes heard since play_loop, counted across loops; 64-bit, never wraps.
uint64_t sound_device_bytes_played();
// Holds playback where it is (true) and goes on from there (false): the
// sound stops and the bytes played stand still meanwhile. Harmless when
// nothing plays.
void sound_device_pause(bool paused);
// Stops playback at once; the device no longer reads the ring. Harmless when
// nothing plays or the device is closed.
void sound_device_reset();
// Harmless when the device is not open.
void sound_device_close();

// Virtual device only. The caller moves the position (any thread).
void virtual_device_set_bytes_played(uint64_t bytes);
void virtual_device_advance(uint64_t bytes);
// Makes later opens fail (true) or succeed (false); returns the previous setting.
bool virtual_device_fail_open(bool fail);
// The ring handed over by play_loop and its length; null after reset or close.
const int16_t* virtual_device_ring(int32_t* bytes);
bool virtual_device_is_open();
