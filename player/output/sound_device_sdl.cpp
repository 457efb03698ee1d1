// The system's sound output on SDL2 audio. SDL's callback copies from the
// ring at a running cursor, wrapping at its end, so the ring loops without
// end. The bytes handed to SDL run ahead of what is heard by SDL's own
// buffer; the position reported subtracts that buffer so that the pictures
// follow the sound rather than the callback. Each player opens a device of
// its own.
//
// SDL2 is not linked: the library is opened at run time on the first open of
// a device, and the few audio calls go through a table of function
// pointers. A program that only renders offline never loads SDL2 and its
// dozens of dependencies; one that already has SDL2 loaded (the demo, for its
// window) gets the same library and state back from dlopen.
#include <SDL.h>
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>

#include "player/output/sound_device.h"

namespace korvanti {

namespace {

constexpr Uint16 DEVICE_BUFFER_FRAMES = 1024;  // about 23 ms at 44100 Hz
constexpr const char* SDL_LIBRARY = "libSDL2-2.0.so.0";
// Buffers of silence the device hands over before open returns, and how
// long open waits for them at most.
constexpr int STARTING_BUFFERS = 3;
constexpr auto LONGEST_START = std::chrono::milliseconds(500);

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

// The library is the process's: loaded once, kept until the process ends.
// Opening and closing devices goes through this lock, since SDL's audio
// start-up and shut-down are not for several threads at once.
struct SdlLibrary {
    std::mutex lock;
    SdlCalls calls;
};

SdlLibrary sdl_library;

struct SdlDevice {
    SDL_AudioDeviceID id;
    uint64_t buffer_bytes;  // SDL's buffer: handed over but not yet heard
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

SdlDevice* sdl_of(SoundDevice* device) { return static_cast<SdlDevice*>(device->state); }

// A function of the library by name, stored through the pointer's own type.
template <typename Function>
bool resolve(void* library, Function* function, const char* name) {
    void* address = dlsym(library, name);
    if (address == nullptr) return false;
    static_assert(sizeof address == sizeof *function, "function and data pointers differ in size");
    std::memcpy(function, &address, sizeof *function);
    return true;
}

// Loads SDL2 once; false (with the reason) when it or one of its calls is
// missing. Under the library's lock.
bool load_sdl(SoundDevice* device) {
    SdlCalls& sdl = sdl_library.calls;
    if (sdl.library != nullptr) return true;
    void* library = dlopen(SDL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        sound_device_set_error(device, "SDL2 cannot be loaded", dlerror(), "install SDL2");
        return false;
    }
    SdlCalls calls = {};
    bool complete = resolve(library, &calls.init_subsystem, "SDL_InitSubSystem") &&
                    resolve(library, &calls.quit_subsystem, "SDL_QuitSubSystem") &&
                    resolve(library, &calls.open_audio_device, "SDL_OpenAudioDevice") &&
                    resolve(library, &calls.close_audio_device, "SDL_CloseAudioDevice") &&
                    resolve(library, &calls.pause_audio_device, "SDL_PauseAudioDevice") &&
                    resolve(library, &calls.lock_audio_device, "SDL_LockAudioDevice") &&
                    resolve(library, &calls.unlock_audio_device, "SDL_UnlockAudioDevice") &&
                    resolve(library, &calls.get_error, "SDL_GetError");
    if (!complete) {
        sound_device_set_error(device, "SDL2 lacks an audio call", dlerror(), "reinstall SDL2");
        dlclose(library);
        return false;
    }
    calls.library = library;
    sdl = calls;
    return true;
}

void SDLCALL fill_audio(void* user, Uint8* stream, int length) {
    SdlDevice* sdl = static_cast<SdlDevice*>(user);
    auto remaining = static_cast<uint32_t>(length);
    if (sdl->ring == nullptr || sdl->ring_bytes == 0) {
        std::memset(stream, 0, remaining);
        std::lock_guard<std::mutex> hold(sdl->start_lock);
        if (sdl->silent_buffers < STARTING_BUFFERS && ++sdl->silent_buffers == STARTING_BUFFERS) {
            sdl->started.notify_all();
        }
        return;
    }
    while (remaining > 0) {
        uint32_t piece = sdl->ring_bytes - sdl->cursor;
        if (piece > remaining) piece = remaining;
        std::memcpy(stream, sdl->ring + sdl->cursor, piece);
        stream += piece;
        remaining -= piece;
        sdl->cursor += piece;
        if (sdl->cursor == sdl->ring_bytes) sdl->cursor = 0;
    }
    sdl->bytes_handed.fetch_add(static_cast<uint64_t>(length), std::memory_order_release);
}

bool sdl_open(SoundDevice* device, int32_t rate) {
    std::lock_guard<std::mutex> library_hold(sdl_library.lock);
    if (!load_sdl(device)) return false;
    const SdlCalls& calls = sdl_library.calls;
    if (calls.init_subsystem(SDL_INIT_AUDIO) != 0) {
        sound_device_set_error(device, "SDL2 audio cannot start", calls.get_error(), "set SDL_AUDIODRIVER");
        return false;
    }
    SdlDevice* sdl = new (std::nothrow) SdlDevice{};
    if (sdl == nullptr) {
        calls.quit_subsystem(SDL_INIT_AUDIO);
        sound_device_set_error(device, "no memory for the sound device", nullptr, "close other programs");
        return false;
    }
    SDL_AudioSpec wanted{};
    wanted.freq = rate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = DEVICE_BUFFER_FRAMES;
    wanted.callback = fill_audio;
    wanted.userdata = sdl;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts to whatever the hardware wants.
    sdl->id = calls.open_audio_device(nullptr, 0, &wanted, &obtained, 0);
    if (sdl->id == 0) {
        sound_device_set_error(device, "SDL2 finds no audio output", calls.get_error(), "set SDL_AUDIODRIVER");
        calls.quit_subsystem(SDL_INIT_AUDIO);
        delete sdl;
        return false;
    }
    sdl->buffer_bytes = static_cast<uint64_t>(obtained.samples) * 4;
    device->state = sdl;
    // Silence first, until the stream runs: a sound server starts a new
    // stream with a prebuffer and a rewind of what it has mixed ahead (a
    // PulseAudio monitor loses the rewound frames), and that belongs before
    // the song's first frame, not on it. A device that never calls back is
    // not waited for long.
    calls.pause_audio_device(sdl->id, 0);
    std::unique_lock<std::mutex> hold(sdl->start_lock);
    sdl->started.wait_for(hold, LONGEST_START, [sdl] { return sdl->silent_buffers >= STARTING_BUFFERS; });
    return true;
}

void sdl_play_loop(SoundDevice* device, const int16_t* ring, int32_t bytes) {
    SdlDevice* sdl = sdl_of(device);
    const SdlCalls& calls = sdl_library.calls;
    calls.lock_audio_device(sdl->id);
    sdl->ring = reinterpret_cast<const uint8_t*>(ring);
    sdl->ring_bytes = bytes > 0 ? static_cast<uint32_t>(bytes) & ~3u : 0;
    sdl->cursor = 0;
    sdl->bytes_handed.store(0, std::memory_order_release);
    calls.unlock_audio_device(sdl->id);
    calls.pause_audio_device(sdl->id, 0);
}

uint64_t sdl_bytes_played(SoundDevice* device) {
    SdlDevice* sdl = sdl_of(device);
    uint64_t handed = sdl->bytes_handed.load(std::memory_order_acquire);
    return handed > sdl->buffer_bytes ? handed - sdl->buffer_bytes : 0;
}

void sdl_pause(SoundDevice* device, bool paused) {
    // Paused, SDL stops calling back: the cursor and the count hold still.
    sdl_library.calls.pause_audio_device(sdl_of(device)->id, paused ? 1 : 0);
}

void sdl_reset(SoundDevice* device) {
    SdlDevice* sdl = sdl_of(device);
    const SdlCalls& calls = sdl_library.calls;
    // After this the callback no longer touches the ring: it hands over
    // silence, and the stream keeps running for the next play.
    calls.lock_audio_device(sdl->id);
    sdl->ring = nullptr;
    sdl->ring_bytes = 0;
    calls.unlock_audio_device(sdl->id);
    calls.pause_audio_device(sdl->id, 0);
}

void sdl_close(SoundDevice* device) {
    std::lock_guard<std::mutex> library_hold(sdl_library.lock);
    SdlDevice* sdl = sdl_of(device);
    const SdlCalls& calls = sdl_library.calls;
    calls.close_audio_device(sdl->id);
    calls.quit_subsystem(SDL_INIT_AUDIO);
    delete sdl;
}

constexpr SoundDeviceOps SDL_DEVICE = {sdl_open, sdl_play_loop, sdl_bytes_played, sdl_pause, sdl_reset, sdl_close};

}  // namespace

const SoundDeviceOps* system_sound_device() { return &SDL_DEVICE; }

}  // namespace korvanti
