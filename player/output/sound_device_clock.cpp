// The clock device: no sound, and a position that moves with the clock at
// the device's rate from play_loop on, as a sound card consuming the ring in
// real time would move it. A show without a sound device goes on with it,
// timed as if heard.
#include <chrono>
#include <mutex>
#include <new>

#include "player/output/sound_device.h"

namespace korvanti {

namespace {

using Clock = std::chrono::steady_clock;

// The feeder asks for the position while the caller starts, pauses and
// stops: the lock keeps the fields together.
struct ClockDevice {
    int32_t rate;
    std::mutex lock;
    bool playing;               // between play_loop and reset
    bool paused;
    Clock::time_point started;  // when the bytes counted last began to run
    uint64_t bytes_before;      // bytes counted up to `started`
};

ClockDevice* clock_of(SoundDevice* device) { return static_cast<ClockDevice*>(device->state); }

uint64_t bytes_since(const ClockDevice* clock, Clock::time_point now) {
    auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(now - clock->started).count();
    if (elapsed < 0) elapsed = 0;
    // Whole frames only, 4 bytes each.
    return static_cast<uint64_t>(elapsed) * static_cast<uint64_t>(clock->rate) / 1000000u * 4u;
}

bool clock_open(SoundDevice* device, int32_t rate) {
    ClockDevice* clock = new (std::nothrow) ClockDevice{};
    if (clock == nullptr) {
        sound_device_set_error(device, "no memory for the clock", nullptr, "close other programs");
        return false;
    }
    clock->rate = rate;
    device->state = clock;
    return true;
}

void clock_play_loop(SoundDevice* device, const int16_t*, int32_t) {
    ClockDevice* clock = clock_of(device);
    std::lock_guard<std::mutex> hold(clock->lock);
    clock->playing = true;
    clock->paused = false;
    clock->bytes_before = 0;
    clock->started = Clock::now();
}

uint64_t clock_bytes_played(SoundDevice* device) {
    ClockDevice* clock = clock_of(device);
    std::lock_guard<std::mutex> hold(clock->lock);
    if (!clock->playing || clock->paused) return clock->bytes_before;
    return clock->bytes_before + bytes_since(clock, Clock::now());
}

void clock_pause(SoundDevice* device, bool paused) {
    ClockDevice* clock = clock_of(device);
    std::lock_guard<std::mutex> hold(clock->lock);
    if (paused == clock->paused || !clock->playing) return;
    Clock::time_point now = Clock::now();
    if (paused) {
        clock->bytes_before += bytes_since(clock, now);
    } else {
        clock->started = now;
    }
    clock->paused = paused;
}

void clock_reset(SoundDevice* device) {
    ClockDevice* clock = clock_of(device);
    std::lock_guard<std::mutex> hold(clock->lock);
    clock->playing = false;
    clock->bytes_before = 0;
}

void clock_close(SoundDevice* device) { delete clock_of(device); }

constexpr SoundDeviceOps CLOCK_DEVICE = {clock_open, clock_play_loop, clock_bytes_played,
                                         clock_pause, clock_reset, clock_close};

}  // namespace

const SoundDeviceOps* clock_sound_device() { return &CLOCK_DEVICE; }

}  // namespace korvanti
