// Where the frames go: into an ffmpeg process (raw RGB on a pipe, the sound
// from the WAV file, an mp4 out), or into numbered PNG files.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "tools/capture/capture.h"

extern char** environ;

namespace {

bool fail(std::string* error, const std::string& text) {
    *error = text;
    return false;
}

bool write_all(int fd, const uint8_t* bytes, size_t count) {
    while (count > 0) {
        ssize_t written = write(fd, bytes, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

std::string describe_exit(int status) {
    if (WIFEXITED(status)) return "ffmpeg failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
    if (WIFSIGNALED(status)) return "ffmpeg failed (ended by signal " + std::to_string(WTERMSIG(status)) + ")";
    return "ffmpeg failed";
}

int wait_for(int pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

}  // namespace

bool ffmpeg_available() {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return false;
    std::string entries = path;
    size_t start = 0;
    while (start <= entries.size()) {
        size_t end = entries.find(':', start);
        if (end == std::string::npos) end = entries.size();
        std::string directory = entries.substr(start, end - start);
        std::string candidate = (directory.empty() ? std::string(".") : directory) + "/ffmpeg";
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

std::string frame_file_name(int64_t index) {
    char name[48];
    std::snprintf(name, sizeof name, "frame_%06lld.png", static_cast<long long>(index));
    return name;
}

bool sink_open_ffmpeg(VideoSink* sink, const FrameLayout& layout, FrameRate fps,
                      const std::string& wav_path, const std::string& video_path, std::string* error) {
    *sink = VideoSink{SinkKind::FFMPEG, layout, -1, -1, std::string(), 0, {}};
    const std::string size = std::to_string(layout.frame_width) + "x" + std::to_string(layout.frame_height);
    const std::string rate = std::to_string(fps.numerator) + "/" + std::to_string(fps.denominator);
    // Quiet unless something goes wrong: the progress line is ours.
    const char* arguments[] = {
        "ffmpeg", "-hide_banner", "-nostats", "-loglevel", "error", "-y",
        "-f", "rawvideo", "-pix_fmt", "rgb24", "-video_size", size.c_str(), "-framerate", rate.c_str(),
        "-i", "pipe:0", "-i", wav_path.c_str(), "-map", "0:v", "-map", "1:a",
        "-c:v", "libx264", "-preset", "medium", "-crf", "18", "-pix_fmt", "yuv420p",
        "-c:a", "aac", "-b:a", "192k", "-movflags", "+faststart", "-f", "mp4", video_path.c_str(), nullptr};
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return fail(error, std::string("cannot start ffmpeg: ") + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    pid_t pid = -1;
    int result = posix_spawnp(&pid, "ffmpeg", &actions, nullptr, const_cast<char* const*>(arguments), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (result != 0) {
        close(fds[1]);
        return fail(error, std::string("cannot start ffmpeg: ") + std::strerror(result));
    }
    sink->ffmpeg_pid = pid;
    sink->pipe_fd = fds[1];
    return true;
}

void sink_open_frames(VideoSink* sink, const FrameLayout& layout, const std::string& directory) {
    *sink = VideoSink{SinkKind::PNG_FRAMES, layout, -1, -1, directory, 0, {}};
}

bool sink_write(VideoSink* sink, const uint8_t* frame, std::string* error) {
    const FrameLayout& layout = sink->layout;
    if (sink->kind == SinkKind::FFMPEG) {
        size_t bytes = static_cast<size_t>(layout.frame_width) * static_cast<size_t>(layout.frame_height) * 3;
        if (!write_all(sink->pipe_fd, frame, bytes)) {
            // ffmpeg has gone; its exit status says more than the broken pipe.
            close(sink->pipe_fd);
            sink->pipe_fd = -1;
            *error = describe_exit(wait_for(sink->ffmpeg_pid));
            sink->ffmpeg_pid = -1;
            return false;
        }
    } else {
        std::string path = sink->directory + "/" + frame_file_name(sink->frames_written);
        if (!write_png(path, frame, layout.frame_width, layout.frame_height, &sink->png_scratch)) {
            return fail(error, "cannot write " + path + ": " + std::strerror(errno));
        }
    }
    sink->frames_written += 1;
    return true;
}

bool sink_close(VideoSink* sink, std::string* error) {
    if (sink->kind != SinkKind::FFMPEG || sink->ffmpeg_pid <= 0) return true;
    close(sink->pipe_fd);
    sink->pipe_fd = -1;
    int status = wait_for(sink->ffmpeg_pid);
    sink->ffmpeg_pid = -1;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    return fail(error, describe_exit(status));
}

void sink_abort(VideoSink* sink) {
    if (sink->pipe_fd >= 0) close(sink->pipe_fd);
    sink->pipe_fd = -1;
    if (sink->ffmpeg_pid > 0) {
        kill(sink->ffmpeg_pid, SIGTERM);
        wait_for(sink->ffmpeg_pid);
    }
    sink->ffmpeg_pid = -1;
}
