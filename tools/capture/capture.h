// korvanti-capture: the demo rendered offline, frame-exact, into a video file
// (or numbered PNG frames and a WAV).
//
// Glossary and units:
//   demo frame   one call of draw_frame; demo frame k (k = 1, 2, ...) is drawn
//                k * 28 ms after play starts, as the paced loop draws it on a
//                machine fast enough for its pacing. Demo frame 0 is the black
//                window before the first frame.
//   video frame  one picture of the output at the chosen rate; video frame j
//                (j = 0, 1, ...) is shown from j / fps seconds on and holds the
//                latest demo frame drawn by then.
//   block        korvanti_player_block_frames() (884) audio frames of the player's
//                output; block n is heard from frame n * 884 of the sound on.
//   audio frame  one left/right pair of int16 at CAPTURE_RATE frames a second.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "korvanti/player.h"

constexpr int32_t CAPTURE_RATE = 44100;     // the demo's mixing rate
constexpr int64_t DEMO_FRAME_MS = 28;       // the paced loop's shortest frame
constexpr int32_t DEMO_END_ORDER = 8;       // draw_frame returns 0 when this order is heard
constexpr int64_t CAPTURE_MAX_MS = 3600000; // a song that never reaches the end order stops here
constexpr int32_t DEFAULT_WIDTH = 640;      // the demo's own display mode
constexpr int32_t DEFAULT_HEIGHT = 480;
constexpr int32_t MIN_HEIGHT = 120;
constexpr int32_t MAX_HEIGHT = 4320;

constexpr int EXIT_FAILED = 1;  // missing data, cannot write, ffmpeg failed
constexpr int EXIT_USAGE = 2;   // bad arguments
constexpr int EXIT_INTERRUPTED = 130;

// Video frames per second as an exact fraction.
struct FrameRate {
    int64_t numerator;    // 1..1000
    int64_t denominator;  // 1..1000
};

struct CaptureOptions {
    std::string output_path;  // the video file; default "korvanti.mp4"
    std::string frames_dir;   // non-empty: numbered PNGs and audio.wav here instead of a video
    std::string data_dir;     // holds musik.xm and Data/; empty: the working directory
    FrameRate fps;            // default 60/1
    int32_t height;           // 0: the demo's 640x480; else a 4:3 picture pillarboxed into 16:9
    int64_t limit_ms;         // -1: up to the demo's end; else at most this long
    bool quiet;               // no progress line
    bool help;
};

// Sizes in pixels: the scenes are drawn at render size and centred in the
// output frame with black bars left and right.
struct FrameLayout {
    int32_t render_width;
    int32_t render_height;
    int32_t frame_width;   // even, >= render_width
    int32_t frame_height;  // == render_height
};

// ---- Command line (arguments.cpp)
// False with a one-line reason in `error` for bad arguments.
bool parse_arguments(int argc, char** argv, CaptureOptions* options, std::string* error);
void print_help(const char* program);
// 640x480 without bars, or for `height` H a 4:3 picture of H rows inside a
// 16:9 frame (1080 gives 1440x1080 inside 1920x1080).
FrameLayout frame_layout(int32_t height);

// ---- Timing (timeline.cpp): exact integer arithmetic, no clocks.
int64_t demo_frame_ms(int64_t demo_frame);
// The block the ring plays at `ms` after play starts.
int64_t audible_block_at_ms(int64_t ms, int32_t frames_per_block);
// The latest demo frame drawn at the time of video frame `video_frame`.
int64_t demo_frame_at_video_frame(int64_t video_frame, FrameRate fps);
// Video frames that start before `end_ms`.
int64_t video_frames_before_ms(int64_t end_ms, FrameRate fps);
// Audio frames that are heard before `end_ms`.
int64_t audio_frames_before_ms(int64_t end_ms);

// Follows the demo frames over the blocks as they are rendered, to find the
// first frame that hears the end order: the frames sample the blocks at 28 ms
// steps, so a block shorter than that can go unseen.
struct EndSearch {
    int64_t next_frame;  // the next demo frame to look at, from 1
    int64_t end_frame;   // the demo frame whose draw_frame returns 0; -1 until found
};
EndSearch end_search_start();
// Looks at every demo frame whose audible block is among the first
// `blocks_known` blocks; `orders[b]` is the order byte of block b's snapshot.
void end_search_step(EndSearch* search, const uint8_t* orders, int64_t blocks_known,
                     int32_t frames_per_block);

// ---- The music pass (music_pass.cpp)
struct MusicPlan {
    std::vector<korvanti_sync_snapshot> snapshots;  // block b's snapshot, counted from the start of play
    std::vector<uint8_t> orders;          // the order byte of each snapshot, for the end search
    int64_t end_frame;     // the demo frame that would end the demo; -1 when the limit came first
    int64_t end_ms;        // the capture covers [0, end_ms)
    int64_t audio_frames;  // PCM frames written to the WAV
    int32_t block_frames;  // audio frames a block, as the stream had it
    int16_t channel_count;
};
// Renders the song from the start of play through the output stream's block
// renderer into a WAV file, up to the demo's end or `limit_ms` (-1: none),
// keeping every block's snapshot. False with a one-line reason in `error`.
bool render_music(korvanti_song* song, int64_t limit_ms, const std::string& wav_path, MusicPlan* plan,
                  std::string* error);

// ---- The scenes' view of the music (capture_music.cpp)
// Points scene_music at the plan's snapshots; capture_hear_block chooses the
// block that the next draw_frame hears.
void capture_music_install(const MusicPlan* plan);
void capture_hear_block(int64_t block);

// ---- Drawing (frame_loop.cpp)
struct FrameLoop {
    int64_t drawn;  // the latest demo frame drawn; 0 before the first
    bool ended;     // draw_frame reported the end order
};
// Draws every demo frame after loop->drawn up to `target` through draw_frame,
// each hearing the block of its own time, also those no video frame shows:
// the animations advance a step per frame. Stops at the end frame. True when
// at least one frame was drawn and the end was not reached.
bool draw_demo_frames(FrameLoop* loop, int64_t target, int32_t frames_per_block);

// ---- Files (wav_file.cpp, png_file.cpp)
// WAV header of 16-bit stereo PCM at `rate` with `data_bytes` of samples.
constexpr uint32_t WAV_HEADER_BYTES = 44;
void wav_header(uint8_t header[WAV_HEADER_BYTES], int32_t rate, uint32_t data_bytes);
// Appends interleaved int16 frames as little-endian bytes; false on a write error.
bool wav_write_pcm(std::FILE* file, const int16_t* pcm, int64_t frames);
// An 8-bit RGB PNG of top-down rows; `scratch` is reused between calls.
bool write_png(const std::string& path, const uint8_t* rgb, int32_t width, int32_t height,
               std::vector<uint8_t>* scratch);

// ---- Pictures (frame_image.cpp)
// Copies a bottom-up RGB picture of render size into the centre of a top-down
// frame; the bars keep whatever the frame held (black from the start).
void place_picture(const uint8_t* bottom_up, const FrameLayout& layout, uint8_t* frame);

// ---- Output (video_sink.cpp)
enum class SinkKind { FFMPEG, PNG_FRAMES };
struct VideoSink {
    SinkKind kind;
    FrameLayout layout;
    int ffmpeg_pid;            // > 0 while ffmpeg runs
    int pipe_fd;               // ffmpeg's stdin; -1 when closed
    std::string directory;     // PNG_FRAMES: where the frames go
    int64_t frames_written;
    std::vector<uint8_t> png_scratch;
};
// Searches PATH for an executable `ffmpeg`.
bool ffmpeg_available();
// Starts ffmpeg reading rgb24 frames on a pipe and the WAV from `wav_path`,
// writing an mp4 to `video_path`.
bool sink_open_ffmpeg(VideoSink* sink, const FrameLayout& layout, FrameRate fps,
                      const std::string& wav_path, const std::string& video_path, std::string* error);
void sink_open_frames(VideoSink* sink, const FrameLayout& layout, const std::string& directory);
bool sink_write(VideoSink* sink, const uint8_t* frame, std::string* error);
// Ends the output; for ffmpeg waits for it and reports how it ended.
bool sink_close(VideoSink* sink, std::string* error);
// Stops ffmpeg without waiting for a good file (on failure or interruption).
void sink_abort(VideoSink* sink);
// The PNG name of video frame `index` inside the frames directory.
std::string frame_file_name(int64_t index);

// ---- Progress (progress.cpp)
struct Progress {
    bool enabled;
    bool terminal;           // stderr is a terminal: rewrite one line
    double started;          // seconds on the monotonic clock
    double last_shown;
    int64_t total;
};
void progress_start(Progress* progress, bool enabled, int64_t total);
void progress_update(Progress* progress, int64_t done);
void progress_finish(Progress* progress, int64_t done);
double monotonic_seconds();

// ---- The whole run (capture_run.cpp)
int run_capture(const CaptureOptions& options);
// Set by SIGINT or SIGTERM; the frame loop stops and cleans up.
bool capture_interrupted();
void capture_watch_signals();
