// xmplay: plays an XM module through the sound device, or renders it offline
// through the output stream's own block renderer.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

struct Song;

constexpr int EXIT_FAILED = 1;     // file missing, not XM, refused, cannot write or play
constexpr int EXIT_USAGE = 2;      // bad arguments
constexpr int EXIT_INTERRUPTED = 130;

struct XmplayOptions {
    std::string module_path;
    std::string wav_path;        // empty: none
    std::string raw_path;
    std::string snapshots_path;
    int64_t blocks;              // -1: no length in blocks
    double seconds;              // < 0: no length in seconds
    int32_t rate;                // mixing rate, frames per second
    bool info;
    bool help;
};

// False with a one-line reason in `error` for bad arguments.
bool parse_arguments(int argc, char** argv, XmplayOptions* options, std::string* error);
void print_help(const char* program);
bool renders_offline(const XmplayOptions& options);
// Frames the options ask for; -1 when they give no length (play the song once).
int64_t requested_frames(const XmplayOptions& options, int32_t block_frames);

// The whole file, and whether it carries the XM signature.
struct ModuleFile {
    std::string bytes;
    bool readable;  // false: cannot be opened or read; `error` says why
    std::string error;
};
ModuleFile read_module_file(const std::string& path);
bool has_xm_signature(const std::string& bytes);
// Header facts of a loaded module on standard output.
void print_module_info(const Song* song, const std::string& bytes);

// Song end: play comes back to a row it has already played (the wrap after
// the last order position, or a backward jump), not counting pattern loops.
// Installed before play starts; the hook runs on whichever thread renders.
void song_end_watch(Song* song);
// First frame of the tick that returned to a played row; -1 until then.
int64_t song_end_frame();
int32_t song_end_order();
int32_t song_end_row();

int render_offline(Song* song, const XmplayOptions& options);
// Live play with a status line; stops at the song's end, after the requested
// length, or on Ctrl-C.
int play_live(Song* song, const XmplayOptions& options);
