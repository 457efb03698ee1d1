// xmplay: plays XM modules through the sound device, or renders them offline
// through the player's own block renderer. It uses the player through its
// public header, korvanti/player.h, like any other program.
//
// Units: a frame is one left/right pair of output samples; positions in a
// song count frames from its start at the mixing rate, whatever was skipped
// or paused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "korvanti/player.h"

constexpr char XMPLAY_VERSION[] = "2.0";

constexpr int EXIT_FAILED = 1;  // a file missing, not XM, refused, cannot be written or played
constexpr int EXIT_USAGE = 2;   // bad arguments

// Playing a song "once" stops here even when play never comes back to a row
// it has played (pattern loops of several channels can run for ages); the
// player ends a pass there.
constexpr int64_t ONCE_LIMIT_SECONDS = 2 * 60 * 60;

// Where play starts: the song's start, an order position and row, or a time.
enum class StartKind { SONG_START, ORDER, TIME };
struct StartPoint {
    StartKind kind;
    int32_t order;  // 0..255, as the status line counts them
    int32_t row;    // 0..255
    int64_t ms;     // from the song's start
};

struct XmplayOptions {
    std::vector<std::string> module_paths;  // "-": standard input
    std::string wav_path;                   // empty: none; "-": standard output
    std::string raw_path;
    std::string snapshots_path;
    int64_t blocks;   // -1: no length in blocks
    double seconds;   // < 0: no length in seconds
    bool seconds_at_most;  // --max-seconds: a cap on the play, which does not repeat the song
    int32_t rate;     // mixing rate, frames per second
    int32_t passes;   // times each song is played through, 1 and up; 0: until stopped
    std::string mixer;  // the mixer's loops by name; empty: the fastest
    double gain_db;           // 0: the player's own level
    int32_t stereo_percent;   // 0 mono .. 100 as the song pans
    uint32_t muted_channels;  // bit c: channel c (0-based) is silent
    StartPoint start;
    bool shuffle;     // files in a random order
    bool info;
    bool help;
    bool version;
};

// --- arguments.cpp
// False with a one-line reason in `error` for bad arguments.
bool parse_arguments(int argc, char** argv, XmplayOptions* options, std::string* error);
void print_help(const char* program);
// The keys of live play, a line each, as --help and the h key list them.
extern const char XMPLAY_KEYS[];
void print_version();
bool renders_offline(const XmplayOptions& options);
// Frames the options ask for; -1 when they give no length (play the song through).
int64_t requested_frames(const XmplayOptions& options, int32_t block_frames);

// --- module_file.cpp
// The whole file as read, or why it could not be read.
struct ModuleFile {
    std::string bytes;
    bool readable;      // false: `error` says why, in the system's words
    std::string error;
};
ModuleFile read_module_file(const std::string& path);
bool has_xm_signature(const std::string& bytes);
// Loads the module from the file's bytes. Null, with one line on standard
// error, when it is not a module the player takes; a module that loads with
// damage (a file cut short) loads with one warning line for each.
korvanti_song* load_module(const std::string& path, const ModuleFile& file);

// --- output_settings.cpp
// Gain, stereo separation and mutes of the options on the player; false,
// with a line on standard error, when the player refuses one.
bool apply_output_options(korvanti_player* player, const XmplayOptions& options);
// Seeks the started player to the options' start point. False, with a line
// on standard error naming `path`, when one pass of the song never gets there.
bool seek_to_start(korvanti_player* player, const korvanti_song* song, const XmplayOptions& options,
                   const std::string& path);
// "1-3,5" for channels 0, 1, 2 and 4 (bits of `channels`, shown 1-based).
std::string channel_list(uint32_t channels);

// --- song_survey.cpp
// The song's end, found from its rows: play coming back to a row it has
// played, the passes-th time.
struct SongLength {
    int64_t end_frame;  // frames up to the end; -1: no end within ONCE_LIMIT_SECONDS
    int32_t end_order;  // the row play returned to
    int32_t end_row;
};
SongLength survey_song_length(const korvanti_song* song, int32_t passes, int32_t rate);
// Sets the mixer's loops the options name; false, with a line on standard
// error, where they are not to be had.
bool use_mixer(korvanti_player* player, const XmplayOptions& options);
// M:SS.ss
std::string format_time(int64_t frames, int32_t rate);
// A name from the player as it is shown: bytes outside printable ASCII as '?'.
std::string printable(const char* name);

// --- module_info.cpp
// Header facts, duration, instruments and samples on standard output.
void print_module_info(const korvanti_song* song, int32_t rate);

// --- render_offline.cpp
// Renders the song into the options' files; after the render one line on
// standard error counts the clipped samples. The exit status.
int render_offline(korvanti_song* song, const XmplayOptions& options, const std::string& path);

// --- play_live.cpp (play_live_silent.cpp in a build without a sound device)
// Plays the files in turn with keys and a status line; the exit status.
int play_live(const XmplayOptions& options);
