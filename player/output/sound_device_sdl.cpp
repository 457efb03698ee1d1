// The sound device on SDL2 audio. SDL's callback copies from the ring at a
// running cursor, wrapping at its end, so the ring loops without end. The
// bytes handed to SDL run ahead of what is heard by SDL's own buffer; the
// position reported subtracts that buffer so that the pictures follow the
// sound rather than the callback.
//
// SDL2 is not linked: the library is opened at run time on the first open of
// the device, and the few audio calls go through a table of function
// pointers. A program that only renders offline never loads SDL2 and its
// dozens of dependencies; one that already has SDL2 loaded (the demo, for its
// window) gets the same library and state back from dlopen.
#include <SDL.h>
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "player/output/sound_device.h"

namespace {

constexpr Uint16 DEVICE_BUFFER_FRAMES = 1024;  // about 23 ms at 44100 Hz
// Buffers of silence the device hands over before open returns, and how
// long open waits for them at most.
constexpr int STARTING_BUFFERS = 3;
constexpr auto LONGEST_START = std::chrono::milliseconds(500);
constexpr const char* SDL_LIBRARY = "libSDL2-2.0.so.0";

// The SDL2 calls the device makes, resolved from the library by name.
struct SdlCalls {
    void* library;  // dlopen handle; null until loaded
    int(SDLCALL* init_subsystem)(Uint32 flags);
    void(SDLCALL* quit_subsystem)(Uint32 flags);
    SDL_AudioDeviceID(SDLCALL* open_audio_device)(const char* device, int iscapture,
                                                   const SDL_AudioSpec* desired, SDL_AudioSpec* obtained,
                                                   int allowed_changes);
    void(SDLCALL* close_audio_device)(SDL_AudioDeviceID id);
    void(SDLCALL* pause_audio_device)(SDL_AudioDeviceID id, int pause_on);
    void(SDLCALL* lock_audio_device)(SDL_AudioDeviceID id);
    void(SDLCALL* unlock_audio_device)(SDL_AudioDeviceID id);
    const char*(SDLCALL* get_error)();
};

struct SdlDevice {
    SdlCalls sdl;
    SDL_AudioDeviceID id;   // 0 when closed
    uint64_t buffer_bytes;  // SDL's buffer: handed over but not yet heard
    char error[256];        // why the last open failed
    // Under the device lock: the audio callback reads them.
    const uint8_t* ring;    // null: silence
    uint32_t ring_bytes;
    uint32_t cursor;        // next byte of the ring to hand over
    std::atomic<uint64_t> bytes_handed;  // since play_loop, across loops
    // Buffers of silence handed over since the open, up to STARTING_BUFFERS.
    std::mutex start_lock;
    std::condition_variable started;
    int silent_buffers;
};

SdlDevice device;

// "what (why); advice": the reason, and what a person can change about it.
void set_error(const char* what, const char* why, const char* advice) {
    std::snprintf(device.error, sizeof device.error, "%s (%s); %s", what, why != nullptr ? why : "unknown reason",
                  advice);
}

// A function of the library by name, stored through the pointer's own type.
template <typename Function>
bool resolve(Function* function, const char* name) {
    void* address = dlsym(device.sdl.library, name);
    if (address == nullptr) return false;
    static_assert(sizeof address == sizeof *function, "function and data pointers differ in size");
    std::memcpy(function, &address, sizeof *function);
    return true;
}

// Loads SDL2 once; false (with the reason) when it or one of its calls is missing.
bool load_sdl() {
    if (device.sdl.library != nullptr) return true;
    void* library = dlopen(SDL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        set_error("SDL2 cannot be loaded", dlerror(), "install SDL2");
        return false;
    }
    device.sdl.library = library;
    SdlCalls& sdl = device.sdl;
    bool complete = resolve(&sdl.init_subsystem, "SDL_InitSubSystem") &&
                    resolve(&sdl.quit_subsystem, "SDL_QuitSubSystem") &&
                    resolve(&sdl.open_audio_device, "SDL_OpenAudioDevice") &&
                    resolve(&sdl.close_audio_device, "SDL_CloseAudioDevice") &&
                    resolve(&sdl.pause_audio_device, "SDL_PauseAudioDevice") &&
                    resolve(&sdl.lock_audio_device, "SDL_LockAudioDevice") &&
                    resolve(&sdl.unlock_audio_device, "SDL_UnlockAudioDevice") &&
                    resolve(&sdl.get_error, "SDL_GetError");
    if (!complete) {
        set_error("SDL2 lacks an audio call", dlerror(), "reinstall SDL2");
        dlclose(library);
        device.sdl = SdlCalls{};
        return false;
    }
    return true;
}

void SDLCALL fill_audio(void*, Uint8* stream, int length) {
    auto remaining = static_cast<uint32_t>(length);
    if (device.ring == nullptr || device.ring_bytes == 0) {
        std::memset(stream, 0, remaining);
        std::lock_guard<std::mutex> hold(device.start_lock);
        if (device.silent_buffers < STARTING_BUFFERS && ++device.silent_buffers == STARTING_BUFFERS) {
            device.started.notify_all();
        }
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
    device.error[0] = '\0';
    if (!load_sdl()) return false;
    const SdlCalls& sdl = device.sdl;
    if (sdl.init_subsystem(SDL_INIT_AUDIO) != 0) {
        set_error("SDL2 audio cannot start", sdl.get_error(), "set SDL_AUDIODRIVER");
        return false;
    }
    SDL_AudioSpec wanted{};
    wanted.freq = rate;
    wanted.format = AUDIO_S16LSB;
    wanted.channels = 2;
    wanted.samples = DEVICE_BUFFER_FRAMES;
    wanted.callback = fill_audio;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts to whatever the hardware wants.
    device.id = sdl.open_audio_device(nullptr, 0, &wanted, &obtained, 0);
    if (device.id == 0) {
        set_error("SDL2 finds no audio output", sdl.get_error(), "set SDL_AUDIODRIVER");
        sdl.quit_subsystem(SDL_INIT_AUDIO);
        return false;
    }
    device.buffer_bytes = static_cast<uint64_t>(obtained.samples) * 4;
    // Silence first, until the stream runs: a sound server starts a new
    // stream with a prebuffer and a rewind of what it has mixed ahead (a
    // PulseAudio monitor loses the rewound frames), and that belongs before
    // the song's first frame, not on it. A device that never calls back is
    // not waited for long.
    {
        std::lock_guard<std::mutex> hold(device.start_lock);
        device.silent_buffers = 0;
    }
    sdl.pause_audio_device(device.id, 0);
    std::unique_lock<std::mutex> hold(device.start_lock);
    device.started.wait_for(hold, LONGEST_START, [] { return device.silent_buffers >= STARTING_BUFFERS; });
    return true;
}

const char* sound_device_error() { return device.error; }

void sound_device_play_loop(const int16_t* ring, int32_t bytes) {
    if (device.id == 0) return;
    device.sdl.lock_audio_device(device.id);
    device.ring = reinterpret_cast<const uint8_t*>(ring);
    device.ring_bytes = bytes > 0 ? static_cast<uint32_t>(bytes) & ~3u : 0;
    device.cursor = 0;
    device.bytes_handed.store(0, std::memory_order_release);
    device.sdl.unlock_audio_device(device.id);
    device.sdl.pause_audio_device(device.id, 0);
}

uint64_t sound_device_bytes_played() {
    uint64_t handed = device.bytes_handed.load(std::memory_order_acquire);
    return handed > device.buffer_bytes ? handed - device.buffer_bytes : 0;
}

void sound_device_pause(bool paused) {
    if (device.id == 0) return;
    // Paused, SDL stops calling back: the cursor and the count hold still.
    device.sdl.pause_audio_device(device.id, paused ? 1 : 0);
}

void sound_device_reset() {
    if (device.id == 0) return;
    // After this the callback no longer touches the ring: it hands over
    // silence, and the stream keeps running for the next play.
    device.sdl.lock_audio_device(device.id);
    device.ring = nullptr;
    device.ring_bytes = 0;
    device.sdl.unlock_audio_device(device.id);
    device.sdl.pause_audio_device(device.id, 0);
}

void sound_device_close() {
    if (device.id == 0) return;
    sound_device_reset();
    device.sdl.close_audio_device(device.id);
    device.id = 0;
    device.sdl.quit_subsystem(SDL_INIT_AUDIO);
}
