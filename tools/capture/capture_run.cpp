// One capture from start to end: load the data like the demo, render the
// music once (sound and snapshots), then draw every demo frame at its time
// offscreen and hand the video frames to ffmpeg or to PNG files. Work goes to
// a ".part" name that is renamed when all is done and removed otherwise.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "korvanti/player.h"
#include "scenes/scenes.h"
#include "scenes/texture_set.h"
#include "tools/capture/capture.h"
#include "tools/capture/message_boxes.h"
#include "tools/capture/offscreen_gl.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;

void on_signal(int) { interrupted = 1; }

// Where the results go, as absolute paths (the data directory may become the
// working directory).
struct Outputs {
    bool video;              // through ffmpeg; else PNG frames and a WAV
    std::string final_path;  // the video file or the frames directory
    std::string work_path;   // final_path + ".part"
    std::string wav_path;    // the sound: beside the video, or inside the frames directory
    bool work_created;       // the frames directory was made
};

struct Failure {
    int code;
    std::string text;
};

std::string absolute_path(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char directory[4096];
    if (getcwd(directory, sizeof directory) == nullptr) return path;
    return std::string(directory) + "/" + path;
}

std::string without_mp4(const std::string& path) {
    const std::string suffix = ".mp4";
    if (path.size() > suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0) {
        return path.substr(0, path.size() - suffix.size());
    }
    return path;
}

Outputs plan_outputs(const CaptureOptions& options) {
    Outputs outputs{options.frames_dir.empty(), std::string(), std::string(), std::string(), false};
    std::string target = outputs.video ? options.output_path : options.frames_dir;
    if (outputs.video && !ffmpeg_available()) {
        outputs.video = false;
        target = without_mp4(options.output_path) + "_frames";
        std::fprintf(stderr, "korvanti-capture: ffmpeg not found; writing PNG frames and a WAV to %s\n",
                     target.c_str());
    }
    while (target.size() > 1 && target.back() == '/') target.pop_back();
    outputs.final_path = absolute_path(target);
    outputs.work_path = outputs.final_path + ".part";
    outputs.wav_path = outputs.video ? outputs.work_path + ".wav" : outputs.work_path + "/audio.wav";
    return outputs;
}

// A directory that rename can put the frames directory in place of.
bool directory_is_empty(const std::string& path) {
    DIR* directory = opendir(path.c_str());
    if (directory == nullptr) return false;
    bool empty = true;
    while (const dirent* entry = readdir(directory)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) empty = false;
    }
    closedir(directory);
    return empty;
}

bool prepare_outputs(Outputs* outputs, Failure* failure) {
    struct stat info;
    if (outputs->video) {
        if (stat(outputs->final_path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            *failure = Failure{EXIT_FAILED, "cannot write " + outputs->final_path + ": it is a directory"};
            return false;
        }
        return true;
    }
    if (stat(outputs->final_path.c_str(), &info) == 0 && !directory_is_empty(outputs->final_path)) {
        *failure = Failure{EXIT_FAILED, outputs->final_path + " exists and is not an empty directory"};
        return false;
    }
    if (mkdir(outputs->work_path.c_str(), 0777) != 0) {
        *failure = Failure{EXIT_FAILED, "cannot create " + outputs->work_path + ": " + std::strerror(errno)};
        return false;
    }
    outputs->work_created = true;
    return true;
}

void remove_work(const Outputs& outputs, int64_t frames_written) {
    std::remove(outputs.wav_path.c_str());
    if (outputs.video) {
        std::remove(outputs.work_path.c_str());
        return;
    }
    if (!outputs.work_created) return;
    // The frame after the last one written may have been begun.
    for (int64_t i = 0; i <= frames_written; ++i) {
        std::remove((outputs.work_path + "/" + frame_file_name(i)).c_str());
    }
    rmdir(outputs.work_path.c_str());
}

bool finish_outputs(const Outputs& outputs, Failure* failure) {
    if (outputs.video) std::remove(outputs.wav_path.c_str());
    if (std::rename(outputs.work_path.c_str(), outputs.final_path.c_str()) != 0) {
        *failure = Failure{EXIT_FAILED, "cannot write " + outputs.final_path + ": " + std::strerror(errno)};
        return false;
    }
    return true;
}

bool readable(const char* name, const std::string& where, Failure* failure) {
    std::FILE* file = std::fopen(name, "rb");
    if (file != nullptr) {
        std::fclose(file);
        return true;
    }
    *failure = Failure{EXIT_FAILED, "cannot load " + std::string(name) + where + ": " + std::strerror(errno)};
    return false;
}

// The song and the pictures' files, from the working directory like the demo.
korvanti_song* load_data(const CaptureOptions& options, Failure* failure) {
    const std::string where = options.data_dir.empty() ? std::string() : " in " + options.data_dir;
    if (!options.data_dir.empty() && chdir(options.data_dir.c_str()) != 0) {
        *failure = Failure{EXIT_FAILED, "cannot use " + options.data_dir + ": " + std::strerror(errno)};
        return nullptr;
    }
    if (!readable("musik.xm", where, failure)) return nullptr;
    for (const char* name : texture_file_names) {
        if (!readable(name, where, failure)) return nullptr;
    }
    korvanti_song* song = korvanti_song_load_file("musik.xm", nullptr);
    if (song == nullptr) {
        *failure = Failure{EXIT_FAILED, "cannot load musik.xm" + where + ": not a module the player accepts"};
    }
    return song;
}

bool open_scenes(OffscreenGl* gl, const FrameLayout& layout, Failure* failure) {
    std::string error;
    if (!offscreen_open(gl, layout.render_width, layout.render_height, &error)) {
        *failure = Failure{EXIT_FAILED, "cannot draw offscreen: " + error};
        return false;
    }
    offscreen_set_projection(gl);
    const int boxes_before = message_boxes_shown();
    init_scenes();
    if (message_boxes_shown() != boxes_before) {
        *failure = Failure{EXIT_FAILED, "cannot load the pictures in Data/ (see above)"};
        return false;
    }
    return true;
}

bool film(const CaptureOptions& options, const MusicPlan& plan, const FrameLayout& layout, const OffscreenGl& gl,
          VideoSink* sink, Failure* failure) {
    std::vector<uint8_t> picture(static_cast<size_t>(layout.render_width) * layout.render_height * 3);
    std::vector<uint8_t> frame(static_cast<size_t>(layout.frame_width) * layout.frame_height * 3, 0);
    const int64_t total = video_frames_before_ms(plan.end_ms, options.fps);
    Progress progress;
    progress_start(&progress, !options.quiet, total);
    FrameLoop loop{0, false};
    for (int64_t j = 0; j < total && !loop.ended; ++j) {
        if (interrupted) {
            *failure = Failure{EXIT_INTERRUPTED, "interrupted"};
            return false;
        }
        if (draw_demo_frames(&loop, demo_frame_at_video_frame(j, options.fps), plan.block_frames)) {
            offscreen_read_rgb(&gl, picture.data());
            place_picture(picture.data(), layout, frame.data());
        }
        if (loop.ended) break;
        std::string error;
        if (!sink_write(sink, frame.data(), &error)) {
            *failure = Failure{interrupted ? EXIT_INTERRUPTED : EXIT_FAILED, interrupted ? "interrupted" : error};
            return false;
        }
        progress_update(&progress, j + 1);
    }
    progress_finish(&progress, sink->frames_written);
    return true;
}

// The pictures are loaded before the music is rendered, so that broken data
// fails at once.
bool capture(const CaptureOptions& options, Outputs* outputs, VideoSink* sink, OffscreenGl* gl, Failure* failure) {
    korvanti_song* song = load_data(options, failure);
    const FrameLayout layout = frame_layout(options.height);
    if (song == nullptr || !prepare_outputs(outputs, failure) || !open_scenes(gl, layout, failure)) {
        korvanti_song_free(song);
        return false;
    }
    MusicPlan plan;
    std::string error;
    bool ok = render_music(song, options.limit_ms, outputs->wav_path, &plan, &error);
    korvanti_song_free(song);
    if (!ok) {
        *failure = Failure{EXIT_FAILED, error};
        return false;
    }
    if (!options.quiet) {
        std::fprintf(stderr, "korvanti-capture: %.3f s to capture%s\n", static_cast<double>(plan.end_ms) / 1000.0,
                     plan.end_frame >= 0 ? ", up to the demo's end" : "");
    }
    capture_music_install(&plan);
    ok = outputs->video ? sink_open_ffmpeg(sink, layout, options.fps, outputs->wav_path, outputs->work_path, &error)
                        : (sink_open_frames(sink, layout, outputs->work_path), true);
    if (!ok) *failure = Failure{EXIT_FAILED, error};
    ok = ok && film(options, plan, layout, *gl, sink, failure);
    // ffmpeg gets Ctrl-C too and may still close its file as if all were well.
    if (ok && (!sink_close(sink, &error) || interrupted)) {
        *failure = Failure{interrupted ? EXIT_INTERRUPTED : EXIT_FAILED, interrupted ? "interrupted" : error};
        return false;
    }
    return ok && finish_outputs(*outputs, failure);
}

}  // namespace

bool capture_interrupted() { return interrupted != 0; }

void capture_watch_signals() {
    struct sigaction action = {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);  // a dead ffmpeg shows as a failed write
}

int run_capture(const CaptureOptions& options) {
    capture_watch_signals();
    Outputs outputs = plan_outputs(options);
    VideoSink sink{SinkKind::PNG_FRAMES, FrameLayout{}, -1, -1, std::string(), 0, {}};
    OffscreenGl gl{};
    Failure failure{0, std::string()};
    const bool done = capture(options, &outputs, &sink, &gl, &failure);
    offscreen_close(&gl);
    if (done) {
        if (!options.quiet) std::fprintf(stderr, "korvanti-capture: wrote %s\n", outputs.final_path.c_str());
        return 0;
    }
    sink_abort(&sink);
    remove_work(outputs, sink.frames_written);
    std::fprintf(stderr, "korvanti-capture: %s\n", failure.text.c_str());
    return failure.code;
}
