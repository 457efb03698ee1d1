// The sound device on the Windows multimedia wave-out functions: the default
// device, one header over the whole ring with begin-loop and end-loop and an
// endless loop count, and the bytes played from waveOutGetPosition. The
// device's byte counter is 32 bits wide (it wraps after 6.7 hours at
// 44100 Hz); it is extended to 64 bits here by counting its wraps, which
// needs a look at least once per wrap: the feeder looks every 5 ms.
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "player/output/sound_device.h"

namespace {

constexpr DWORD ENDLESS_LOOPS = 0xFFFFFFFF;

struct WaveOutDevice {
    HWAVEOUT handle;  // null when closed
    WAVEHDR header;   // over the ring; prepared while WHDR_PREPARED is set
    bool written;     // the header was handed to the device
    // The 64-bit count, kept from the 32-bit one: its last value and the
    // wraps seen. Read by the feeder, reset by the main thread before play.
    std::atomic<uint64_t> last_position;
    char error[256];  // why the last open failed
};

WaveOutDevice device;

void release_header() {
    if (device.header.dwFlags & WHDR_PREPARED) {
        // Refused while the device still plays the header; the flag goes all the same.
        waveOutUnprepareHeader(device.handle, &device.header, sizeof device.header);
        device.header.dwFlags &= ~static_cast<DWORD>(WHDR_PREPARED);
    }
    device.written = false;
}

}  // namespace

bool sound_device_open(int32_t rate) {
    sound_device_close();
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = static_cast<DWORD>(rate) * 4;
    format.cbSize = 0;
    HWAVEOUT handle = nullptr;
    device.error[0] = '\0';
    MMRESULT result = waveOutOpen(&handle, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
    if (result != MMSYSERR_NOERROR) {
        char text[MAXERRORLENGTH] = "";
        waveOutGetErrorTextA(result, text, sizeof text);
        std::snprintf(device.error, sizeof device.error, "no wave-out device (%s); check the sound settings",
                      text[0] != '\0' ? text : "no reason given");
        return false;
    }
    device.handle = handle;
    return true;
}

const char* sound_device_error() { return device.error; }

// The position holds while the device is paused.
void sound_device_pause(bool paused) {
    if (device.handle == nullptr || !device.written) return;
    if (paused) {
        waveOutPause(device.handle);
    } else {
        waveOutRestart(device.handle);
    }
}

void sound_device_play_loop(const int16_t* ring, int32_t bytes) {
    if (device.handle == nullptr || ring == nullptr || bytes <= 0) return;
    sound_device_reset();
    std::memset(&device.header, 0, sizeof device.header);
    // The device only reads the buffer; the header's field is not const.
    device.header.lpData = reinterpret_cast<LPSTR>(const_cast<int16_t*>(ring));
    device.header.dwBufferLength = static_cast<DWORD>(bytes);
    device.header.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    device.header.dwLoops = ENDLESS_LOOPS;
    if (waveOutPrepareHeader(device.handle, &device.header, sizeof device.header) != MMSYSERR_NOERROR) {
        return;
    }
    device.last_position.store(0, std::memory_order_release);
    device.written = waveOutWrite(device.handle, &device.header, sizeof device.header) == MMSYSERR_NOERROR;
    // A device paused before stays paused through the reset.
    if (device.written) waveOutRestart(device.handle);
}

uint64_t sound_device_bytes_played() {
    if (device.handle == nullptr || !device.written) return 0;
    MMTIME time = {};
    time.wType = TIME_BYTES;
    if (waveOutGetPosition(device.handle, &time, sizeof time) != MMSYSERR_NOERROR || time.wType != TIME_BYTES) {
        return device.last_position.load(std::memory_order_acquire);
    }
    uint64_t last = device.last_position.load(std::memory_order_acquire);
    uint64_t position = (last & ~uint64_t{0xFFFFFFFF}) | time.u.cb;
    if (position < last) position += uint64_t{1} << 32;  // the 32-bit counter wrapped
    // Two threads may ask at once: the count only moves forward.
    while (position > last &&
           !device.last_position.compare_exchange_weak(last, position, std::memory_order_acq_rel)) {
    }
    return position;
}

void sound_device_reset() {
    if (device.handle == nullptr) return;
    waveOutReset(device.handle);
    release_header();
}

void sound_device_close() {
    if (device.handle == nullptr) return;
    sound_device_reset();
    waveOutClose(device.handle);
    device.handle = nullptr;
}
