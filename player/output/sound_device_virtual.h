// The virtual sound device, for tests: it plays nothing, and its position
// moves only when the caller moves it, so a live player's feeder can be
// stepped block by block.
#pragma once

#include <cstdint>

#include "player/output/sound_device.h"

namespace korvanti {

const SoundDeviceOps* virtual_sound_device();
// One that never opens.
const SoundDeviceOps* failing_virtual_sound_device();

// The caller moves the position (any thread).
void virtual_device_set_bytes_played(SoundDevice* device, uint64_t bytes);
void virtual_device_advance(SoundDevice* device, uint64_t bytes);
// The ring handed over by play_loop and its length; null after reset.
const int16_t* virtual_device_ring(SoundDevice* device, int32_t* bytes);
bool virtual_device_paused(SoundDevice* device);

}  // namespace korvanti
