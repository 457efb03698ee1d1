// The virtual sound device: plays nothing. Its position moves only when the
// caller (a test) moves it.
#include "player/output/sound_device_virtual.h"

#include <atomic>
#include <new>

namespace korvanti {

namespace {

struct VirtualDevice {
    std::atomic<const int16_t*> ring;  // handed over by play_loop; null when stopped
    std::atomic<int32_t> ring_bytes;
    std::atomic<bool> paused;
    std::atomic<uint64_t> bytes_played;  // set by the caller, read by the feeder
};

VirtualDevice* virtual_of(SoundDevice* device) { return static_cast<VirtualDevice*>(device->state); }

bool virtual_open(SoundDevice* device, int32_t rate) {
    if (rate <= 0) return false;
    device->state = new (std::nothrow) VirtualDevice{};
    return device->state != nullptr;
}

bool failing_open(SoundDevice* device, int32_t) {
    sound_device_set_error(device, "the virtual device was told to fail", nullptr, "nothing to do");
    return false;
}

void virtual_play_loop(SoundDevice* device, const int16_t* ring, int32_t bytes) {
    VirtualDevice* state = virtual_of(device);
    state->ring_bytes.store(bytes);
    state->ring.store(ring);
    state->paused.store(false);
    state->bytes_played.store(0, std::memory_order_release);
}

// The caller moves the position; a pause is the caller's to honour.
void virtual_pause(SoundDevice* device, bool paused) { virtual_of(device)->paused.store(paused); }

uint64_t virtual_bytes_played(SoundDevice* device) {
    return virtual_of(device)->bytes_played.load(std::memory_order_acquire);
}

void virtual_reset(SoundDevice* device) {
    VirtualDevice* state = virtual_of(device);
    state->ring.store(nullptr);
    state->ring_bytes.store(0);
}

void virtual_close(SoundDevice* device) { delete virtual_of(device); }

constexpr SoundDeviceOps VIRTUAL_DEVICE = {virtual_open, virtual_play_loop, virtual_bytes_played,
                                           virtual_pause, virtual_reset, virtual_close};
constexpr SoundDeviceOps FAILING_DEVICE = {failing_open, virtual_play_loop, virtual_bytes_played,
                                           virtual_pause, virtual_reset, virtual_close};

}  // namespace

const SoundDeviceOps* virtual_sound_device() { return &VIRTUAL_DEVICE; }
const SoundDeviceOps* failing_virtual_sound_device() { return &FAILING_DEVICE; }

void virtual_device_set_bytes_played(SoundDevice* device, uint64_t bytes) {
    virtual_of(device)->bytes_played.store(bytes, std::memory_order_release);
}

void virtual_device_advance(SoundDevice* device, uint64_t bytes) {
    virtual_of(device)->bytes_played.fetch_add(bytes, std::memory_order_acq_rel);
}

const int16_t* virtual_device_ring(SoundDevice* device, int32_t* bytes) {
    VirtualDevice* state = virtual_of(device);
    if (bytes != nullptr) *bytes = state->ring_bytes.load();
    return state->ring.load();
}

bool virtual_device_paused(SoundDevice* device) { return virtual_of(device)->paused.load(); }

}  // namespace korvanti
