// The system's sound output in a build that has none (no SDL2 headers were
// found): it never opens, so a live player cannot be made with it;
// offline rendering and the clock device work as everywhere.
#include "player/output/sound_device.h"

namespace korvanti {

namespace {

bool none_open(SoundDevice* device, int32_t) {
    sound_device_set_error(device, "no sound output", "this build has none", "render offline instead");
    return false;
}
void none_play_loop(SoundDevice*, const int16_t*, int32_t) {}
uint64_t none_bytes_played(SoundDevice*) { return 0; }
void none_pause(SoundDevice*, bool) {}
void none_reset(SoundDevice*) {}
void none_close(SoundDevice*) {}

constexpr SoundDeviceOps NO_DEVICE = {none_open, none_play_loop, none_bytes_played, none_pause, none_reset, none_close};

}  // namespace

const SoundDeviceOps* system_sound_device() { return &NO_DEVICE; }

}  // namespace korvanti
