// The virtual sound device: plays nothing. Its position moves only when the
// caller (a test) moves it, so the feeder can be stepped block by block.
#include <atomic>

#include "player/output/sound_device.h"

namespace {

struct VirtualDevice {
    bool fail_open;             // make sound_device_open fail
    bool open;
    const int16_t* ring;        // handed over by play_loop; null when stopped
    int32_t ring_bytes;
    std::atomic<uint64_t> bytes_played;  // set by the caller, read by the feeder
};

VirtualDevice device;

}  // namespace

bool sound_device_open(int32_t rate) {
    device.open = !device.fail_open && rate > 0;
    return device.open;
}

void sound_device_play_loop(const int16_t* ring, int32_t bytes) {
    device.ring = ring;
    device.ring_bytes = bytes;
    device.bytes_played.store(0, std::memory_order_release);
}

const char* sound_device_error() {
    return device.open || !device.fail_open ? "" : "the virtual device was told to fail";
}

// The caller moves the position; a pause is the caller's to honour.
void sound_device_pause(bool) {}

uint64_t sound_device_bytes_played() { return device.bytes_played.load(std::memory_order_acquire); }

void sound_device_reset() {
    device.ring = nullptr;
    device.ring_bytes = 0;
}

void sound_device_close() {
    sound_device_reset();
    device.open = false;
}

void virtual_device_set_bytes_played(uint64_t bytes) {
    device.bytes_played.store(bytes, std::memory_order_release);
}

void virtual_device_advance(uint64_t bytes) { device.bytes_played.fetch_add(bytes, std::memory_order_acq_rel); }

bool virtual_device_fail_open(bool fail) {
    bool previous = device.fail_open;
    device.fail_open = fail;
    return previous;
}

const int16_t* virtual_device_ring(int32_t* bytes) {
    if (bytes != nullptr) *bytes = device.ring_bytes;
    return device.ring;
}

bool virtual_device_is_open() { return device.open; }
