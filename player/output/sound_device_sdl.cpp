// The sound device on SDL2 audio. SDL's callback copies from the ring at a
// running cursor, wrapping at its end, so the ring loops without end. The
// bytes handed to SDL run ahead of what is heard by SDL's own buffer; the
// position reported subtracts that buffer so that the pictures follow the
// sound rather than the callback.
#include <SDL.h>

#include <atomic>
#include <cstring>

#include "player/output/sound_device.h"

namespace {

constexpr Uint16 DEVICE_BUFFER_FRAMES = 1024;  // about 23 ms at 44100 Hz

struct SdlDevice {
    SDL_AudioDeviceID id;  // 0 when closed
    uint64_t buffer_bytes;  // SDL's buffer: handed over but not yet heard
    // Under the device lock: the audio callback reads them.
    const uint8_t* ring;    // null: silence
    uint32_t ring_bytes;
    uint32_t cursor;        // next byte of the ring to hand over
    std::atomic<uint64_t> bytes_handed;  // since play_loop, across loops
};

SdlDevice device;

void SDLCALL fill_audio(void*, Uint8* stream, int length) {
    auto remaining = static_cast<uint32_t>(length);
    if (device.ring == nullptr || device.ring_bytes == 0) {
        std::memset(stream, 0, remaining);
        return;
    }
    while (remaining > 0) {
        uint32_t piece = device.ring_bytes - device.cursor;
        if (piece > remaining) piece = remaining;
        std::memcpy(stream, device.ring + device.cursor, piece);
        stream += piece;
        remaining -= piece;
        device.cursor += piece;
        if (device.cursor == device.ring_bytes) device.cursor = 0;
    }
    device.bytes_handed.fetch_add(static_cast<uint64_t>(length), std::memory_order_release);
}

}  // namespace

bool sound_device_open(int32_t rate) {
    sound_device_close();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec wanted{};
    wanted.freq = rate;
    wanted.format = AUDIO_S16LSB;
    wanted.channels = 2;
    wanted.samples = DEVICE_BUFFER_FRAMES;
    wanted.callback = fill_audio;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts to whatever the hardware wants.
    device.id = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (device.id == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    device.buffer_bytes = static_cast<uint64_t>(obtained.samples) * 4;
    return true;
}

void sound_device_play_loop(const int16_t* ring, int32_t bytes) {
    if (device.id == 0) return;
    SDL_LockAudioDevice(device.id);
    device.ring = reinterpret_cast<const uint8_t*>(ring);
    device.ring_bytes = bytes > 0 ? static_cast<uint32_t>(bytes) & ~3u : 0;
    device.cursor = 0;
    device.bytes_handed.store(0, std::memory_order_release);
    SDL_UnlockAudioDevice(device.id);
    SDL_PauseAudioDevice(device.id, 0);
}

uint64_t sound_device_bytes_played() {
    uint64_t handed = device.bytes_handed.load(std::memory_order_acquire);
    return handed > device.buffer_bytes ? handed - device.buffer_bytes : 0;
}

void sound_device_reset() {
    if (device.id == 0) return;
    SDL_PauseAudioDevice(device.id, 1);
    // After this the callback no longer touches the ring.
    SDL_LockAudioDevice(device.id);
    device.ring = nullptr;
    device.ring_bytes = 0;
    SDL_UnlockAudioDevice(device.id);
}

void sound_device_close() {
    if (device.id == 0) return;
    sound_device_reset();
    SDL_CloseAudioDevice(device.id);
    device.id = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}
