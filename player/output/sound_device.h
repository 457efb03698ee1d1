// The sound device behind a live player: one looping ring of interleaved
// int16 stereo frames, and the count of bytes heard since it started. Each
// player has its own device record; what it is made of is a table of
// operations:
// - the system's output (SDL2 audio on Linux, opened at run time; wave-out
//   on Windows; a build without either has one that never opens),
// - a clock that consumes the ring at the rate in real time and plays
//   nothing (a show without sound goes on as if heard),
// - a virtual device for tests, whose position only the caller moves.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvanti {

struct SoundDevice;

struct SoundDeviceOps {
    // Opens 16-bit stereo output at `rate` frames per second; false on
    // failure, with the reason in the device's `error`.
    bool (*open)(SoundDevice* device, int32_t rate);
    // Starts playing the ring from its first frame and repeats it without
    // end, also on a device that was paused. The ring stays the caller's and
    // must live until reset.
    void (*play_loop)(SoundDevice* device, const int16_t* ring, int32_t bytes);
    // Bytes heard since play_loop, counted across loops; 64-bit, never wraps.
    uint64_t (*bytes_played)(SoundDevice* device);
    // Holds playback where it is (true) and goes on from there (false): the
    // sound stops and the bytes played stand still meanwhile.
    void (*pause)(SoundDevice* device, bool paused);
    // Stops playback at once and falls silent; the device no longer reads
    // the ring.
    void (*reset)(SoundDevice* device);
    // Releases what open made.
    void (*close)(SoundDevice* device);
};

struct SoundDevice {
    const SoundDeviceOps* ops;  // null: no device (closed)
    void* state;                // the implementation's, from open to close
    // Set by play_loop when the device could not start the ring: it will not
    // move. What went wrong is in `error`.
    bool failed;
    char error[256];            // one line for a person: what went wrong and what might help
};

// The implementations.
const SoundDeviceOps* system_sound_device();
const SoundDeviceOps* clock_sound_device();

// Opens `device` with `ops`; false (with the reason in device->error) when
// it cannot be opened. Closes what the record held first.
bool sound_device_open(SoundDevice* device, const SoundDeviceOps* ops, int32_t rate);
void sound_device_play_loop(SoundDevice* device, const int16_t* ring, int32_t bytes);
uint64_t sound_device_bytes_played(SoundDevice* device);
void sound_device_pause(SoundDevice* device, bool paused);
void sound_device_reset(SoundDevice* device);
// Harmless on a closed device.
void sound_device_close(SoundDevice* device);

// "what (why); advice" into the device's error line.
void sound_device_set_error(SoundDevice* device, const char* what, const char* why, const char* advice);

}  // namespace korvanti
