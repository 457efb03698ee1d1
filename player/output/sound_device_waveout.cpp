// The system's sound output on the Windows multimedia wave-out functions:
// the default device, one header over the whole ring with begin-loop and
// end-loop and an endless loop count, and the bytes played from
// waveOutGetPosition. The device's counter is 32 bits wide (it wraps after
// 6.7 hours at 44100 Hz); it is extended to 64 bits here by counting its
// wraps, which needs a look at least once per wrap: the feeder looks every
// 5 ms. A driver that reports its position in samples or milliseconds
// rather than bytes is converted.
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

#include "player/output/sound_device.h"

namespace korvanti {

namespace {

constexpr DWORD ENDLESS_LOOPS = 0xFFFFFFFF;

struct WaveOutDevice {
    HWAVEOUT handle;
    int32_t rate;
    WAVEHDR header;   // over the ring; prepared while WHDR_PREPARED is set
    bool written;     // the header was handed to the device
    // The 64-bit count, kept from the 32-bit one: its last value and the
    // wraps seen. Read by the feeder, reset by the caller before play.
    std::atomic<uint64_t> last_position;
};

WaveOutDevice* wave_of(SoundDevice* device) { return static_cast<WaveOutDevice*>(device->state); }

// "what (the system's words); advice" for a failed wave-out call.
void set_wave_error(SoundDevice* device, const char* what, MMRESULT result, const char* advice) {
    char text[MAXERRORLENGTH] = "";
    waveOutGetErrorTextA(result, text, sizeof text);
    sound_device_set_error(device, what, text[0] != '\0' ? text : "no reason given", advice);
}

void release_header(WaveOutDevice* wave) {
    if (wave->header.dwFlags & WHDR_PREPARED) {
        // Refused while the device still plays the header; the flag goes all the same.
        waveOutUnprepareHeader(wave->handle, &wave->header, sizeof wave->header);
        wave->header.dwFlags &= ~static_cast<DWORD>(WHDR_PREPARED);
    }
    wave->written = false;
}

bool wave_open(SoundDevice* device, int32_t rate) {
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = static_cast<DWORD>(rate) * 4;
    format.cbSize = 0;
    HWAVEOUT handle = nullptr;
    MMRESULT result = waveOutOpen(&handle, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
    if (result != MMSYSERR_NOERROR) {
        set_wave_error(device, "no wave-out device", result, "check the sound settings");
        return false;
    }
    WaveOutDevice* wave = new (std::nothrow) WaveOutDevice{};
    if (wave == nullptr) {
        waveOutClose(handle);
        sound_device_set_error(device, "no memory for the sound device", nullptr, "close other programs");
        return false;
    }
    wave->handle = handle;
    wave->rate = rate;
    device->state = wave;
    return true;
}

// The position holds while the device is paused.
void wave_pause(SoundDevice* device, bool paused) {
    WaveOutDevice* wave = wave_of(device);
    if (!wave->written) return;
    if (paused) {
        waveOutPause(wave->handle);
    } else {
        waveOutRestart(wave->handle);
    }
}

void wave_reset(SoundDevice* device) {
    WaveOutDevice* wave = wave_of(device);
    waveOutReset(wave->handle);
    release_header(wave);
}

void wave_play_loop(SoundDevice* device, const int16_t* ring, int32_t bytes) {
    WaveOutDevice* wave = wave_of(device);
    if (ring == nullptr || bytes <= 0) return;
    wave_reset(device);
    std::memset(&wave->header, 0, sizeof wave->header);
    // The device only reads the buffer; the header's field is not const.
    wave->header.lpData = reinterpret_cast<LPSTR>(const_cast<int16_t*>(ring));
    wave->header.dwBufferLength = static_cast<DWORD>(bytes);
    wave->header.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    wave->header.dwLoops = ENDLESS_LOOPS;
    MMRESULT result = waveOutPrepareHeader(wave->handle, &wave->header, sizeof wave->header);
    if (result != MMSYSERR_NOERROR) {
        set_wave_error(device, "the sound device refused the sound", result, "check the sound settings");
        device->failed = true;
        return;
    }
    wave->last_position.store(0, std::memory_order_release);
    result = waveOutWrite(wave->handle, &wave->header, sizeof wave->header);
    wave->written = result == MMSYSERR_NOERROR;
    if (!wave->written) {
        set_wave_error(device, "the sound device cannot play", result, "check the sound settings");
        device->failed = true;
        return;
    }
    // A device paused before stays paused through the reset.
    waveOutRestart(wave->handle);
}

// The 32-bit position in bytes, from whichever unit the driver gives.
bool position_bytes(const WaveOutDevice* wave, uint32_t* bytes) {
    MMTIME time = {};
    time.wType = TIME_BYTES;
    if (waveOutGetPosition(wave->handle, &time, sizeof time) != MMSYSERR_NOERROR) return false;
    switch (time.wType) {
        case TIME_BYTES: *bytes = time.u.cb; return true;
        case TIME_SAMPLES: *bytes = time.u.sample * 4u; return true;
        case TIME_MS:
            *bytes = static_cast<uint32_t>(static_cast<uint64_t>(time.u.ms) * static_cast<uint64_t>(wave->rate) /
                                           1000u * 4u);
            return true;
        default: return false;
    }
}

uint64_t wave_bytes_played(SoundDevice* device) {
    WaveOutDevice* wave = wave_of(device);
    uint64_t last = wave->last_position.load(std::memory_order_acquire);
    uint32_t bytes = 0;
    if (!wave->written || !position_bytes(wave, &bytes)) return last;
    uint64_t position = (last & ~uint64_t{0xFFFFFFFF}) | bytes;
    if (position < last) position += uint64_t{1} << 32;  // the 32-bit counter wrapped
    // Two threads may ask at once: the count only moves forward.
    while (position > last && !wave->last_position.compare_exchange_weak(last, position, std::memory_order_acq_rel)) {
    }
    return position > last ? position : last;
}

void wave_close(SoundDevice* device) {
    WaveOutDevice* wave = wave_of(device);
    waveOutClose(wave->handle);
    delete wave;
}

constexpr SoundDeviceOps WAVE_OUT_DEVICE = {wave_open, wave_play_loop, wave_bytes_played,
                                            wave_pause, wave_reset, wave_close};

}  // namespace

const SoundDeviceOps* system_sound_device() { return &WAVE_OUT_DEVICE; }

}  // namespace korvanti
