// The device record's operations, whatever implements them.
#include "player/output/sound_device.h"

#include <cstdio>

namespace korvanti {

bool sound_device_open(SoundDevice* device, const SoundDeviceOps* ops, int32_t rate) {
    sound_device_close(device);
    device->error[0] = '\0';
    device->failed = false;
    if (ops == nullptr || !ops->open(device, rate)) return false;
    device->ops = ops;
    return true;
}

void sound_device_play_loop(SoundDevice* device, const int16_t* ring, int32_t bytes) {
    if (device->ops != nullptr) device->ops->play_loop(device, ring, bytes);
}

uint64_t sound_device_bytes_played(SoundDevice* device) {
    return device->ops != nullptr ? device->ops->bytes_played(device) : 0;
}

void sound_device_pause(SoundDevice* device, bool paused) {
    if (device->ops != nullptr) device->ops->pause(device, paused);
}

void sound_device_reset(SoundDevice* device) {
    if (device->ops != nullptr) device->ops->reset(device);
}

void sound_device_close(SoundDevice* device) {
    if (device->ops == nullptr) return;
    device->ops->reset(device);
    device->ops->close(device);
    device->ops = nullptr;
    device->state = nullptr;
}

void sound_device_set_error(SoundDevice* device, const char* what, const char* why, const char* advice) {
    std::snprintf(device->error, sizeof device->error, "%s (%s); %s", what, why != nullptr ? why : "unknown reason",
                  advice);
}

}  // namespace korvanti
