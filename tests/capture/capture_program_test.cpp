// korvanti-capture run as its user runs it, with no display in the
// environment: short captures of the demo data that make_assets writes,
// checked frame by frame and sample by sample, and the ways it can fail.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "png_check.h"
#include "tools/capture/capture.h"

namespace {

namespace fs = std::filesystem;

struct Ran {
    int exit_code;  // -1 when it did not exit by itself
    int signal;     // the signal that ended it, else 0
    std::string err;
};

struct Spawned {
    pid_t pid;
    std::string err_path;
};

// Starts the capture in `cwd` with stderr to a file. DISPLAY and
// WAYLAND_DISPLAY are removed: the capture must not need them. A non-empty
// `path` replaces PATH.
Spawned spawn_capture(const std::vector<std::string>& arguments, const fs::path& cwd, const std::string& path = "") {
    Spawned spawned{-1, (cwd / "stderr.txt").string()};
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(cwd.c_str()) != 0) _exit(126);
        int err = open(spawned.err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err < 0 || dup2(err, STDERR_FILENO) < 0) _exit(126);
        close(err);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        if (!path.empty()) setenv("PATH", path.c_str(), 1);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(CAPTURE_BINARY));
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(CAPTURE_BINARY, argv.data());
        _exit(127);
    }
    spawned.pid = pid;
    return spawned;
}

Ran wait_capture(const Spawned& spawned) {
    int status = 0;
    Ran ran{-1, 0, std::string()};
    if (waitpid(spawned.pid, &status, 0) == spawned.pid) {
        if (WIFEXITED(status)) ran.exit_code = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) ran.signal = WTERMSIG(status);
    }
    ran.err = read_file(spawned.err_path);
    std::remove(spawned.err_path.c_str());
    return ran;
}

Ran run_capture_program(const std::vector<std::string>& arguments, const fs::path& cwd, const std::string& path = "") {
    return wait_capture(spawn_capture(arguments, cwd, path));
}

std::vector<std::string> names_in(const fs::path& directory) {
    std::vector<std::string> names;
    if (!fs::exists(directory)) return names;
    for (const auto& entry : fs::directory_iterator(directory)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

int lines_in(const std::string& text) {
    int lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
}

// The PCM of a WAV written by the capture, after checking its header.
std::string wav_samples(const std::string& wav) {
    if (wav.size() < 44 || wav.compare(0, 4, "RIFF") != 0 || wav.compare(36, 4, "data") != 0) return std::string();
    return wav.substr(44);
}

class CaptureProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(fs::path(KORVANTI_RUNDIR) / "musik.xm"))
            << "make_assets has not written the run directory " << KORVANTI_RUNDIR;
        std::string pattern = (fs::temp_directory_path() / "korvanti_capture_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        base_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        if (!base_.empty()) fs::remove_all(base_, ignored);
    }

    std::vector<PngPicture> read_frames(const fs::path& directory, int64_t count) {
        std::vector<PngPicture> frames(static_cast<size_t>(count));
        for (int64_t j = 0; j < count; ++j) {
            std::string why;
            EXPECT_TRUE(decode_png(read_file((directory / frame_file_name(j)).string()), &frames[j], &why))
                << frame_file_name(j) << ": " << why;
        }
        return frames;
    }

    // A data directory like the run directory, for spoiling.
    fs::path copy_of_data(const std::string& name) {
        fs::path data = base_ / name;
        fs::create_directories(data);
        fs::copy(fs::path(KORVANTI_RUNDIR) / "musik.xm", data / "musik.xm");
        fs::copy(fs::path(KORVANTI_RUNDIR) / "Data", data / "Data", fs::copy_options::recursive);
        return data;
    }

    fs::path base_;
};

TEST_F(CaptureProgram, ShortCaptureIsWhatTheDemoShowsAndPlays) {
    const std::string data = KORVANTI_RUNDIR;
    Ran first = run_capture_program({"--seconds", "3", "--frames", "first", "--data", data, "-q"}, base_);
    ASSERT_EQ(first.exit_code, 0) << first.err;
    EXPECT_EQ(first.err, "") << "-q prints nothing when all goes well";

    // 3 s at 60 fps: video frames 0..179, and the sound.
    std::vector<std::string> expected_names;
    for (int64_t j = 0; j < 180; ++j) expected_names.push_back(frame_file_name(j));
    expected_names.push_back("audio.wav");
    std::sort(expected_names.begin(), expected_names.end());
    EXPECT_EQ(names_in(base_ / "first"), expected_names);
    EXPECT_FALSE(fs::exists(base_ / "first.part"));
    std::vector<PngPicture> frames = read_frames(base_ / "first", 180);
    ASSERT_FALSE(HasFailure());
    for (const PngPicture& frame : frames) {
        ASSERT_EQ(frame.width, 640);
        ASSERT_EQ(frame.height, 480);
    }

    // Before the first demo frame (28 ms) the screen is black; video frame 2
    // (33 ms) shows demo frame 1, in the thickest fog of the fade-out, so it
    // is far darker than any frame once the fog has gone (39 frames, 1.1 s).
    EXPECT_EQ(max_level(frames[0].rgb), 0);
    EXPECT_EQ(max_level(frames[1].rgb), 0);
    EXPECT_GT(max_level(frames[2].rgb), 0) << "the first demo frame draws the letter grid";
    double clear_minimum = 255.0;
    for (size_t j = 72; j < frames.size(); ++j) clear_minimum = std::min(clear_minimum, mean_level(frames[j].rgb));
    EXPECT_LT(mean_level(frames[2].rgb) * 2.0, clear_minimum)
        << "first frame " << mean_level(frames[2].rgb) << ", darkest after the fade " << clear_minimum;

    // The sound: exactly 3 s, the PCM that the player's offline renderer gives.
    const std::string pcm = wav_samples(read_file((base_ / "first" / "audio.wav").string()));
    ASSERT_EQ(pcm.size(), 132300u * 4);
    const std::string raw_path = (base_ / "xmplay.raw").string();
    const std::string xmplay = std::string(XMPLAY_BINARY) + " --raw " + raw_path + " --blocks 150 " +
                               KORVANTI_RUNDIR + "/musik.xm 2>/dev/null";
    ASSERT_EQ(std::system(xmplay.c_str()), 0);
    const std::string reference = read_file(raw_path);
    ASSERT_EQ(reference.size(), 150u * 884 * 4);
    EXPECT_TRUE(pcm == reference.substr(0, pcm.size())) << "the capture's sound differs from xmplay --raw";

    // A second run gives the same files, byte for byte.
    Ran second = run_capture_program({"--seconds", "3", "--frames", "second", "--data", data, "-q"}, base_);
    ASSERT_EQ(second.exit_code, 0) << second.err;
    ASSERT_EQ(names_in(base_ / "second"), expected_names);
    for (const std::string& name : expected_names) {
        EXPECT_TRUE(read_file((base_ / "first" / name).string()) == read_file((base_ / "second" / name).string()))
            << name << " differs between two runs";
    }

    // At the demo's own rate each video frame is one demo frame: every one
    // differs from the one before (the cubes spin 2 degrees a frame), and the
    // 60 fps frames are those same pictures, each at its time.
    Ran demo_rate = run_capture_program({"--seconds", "3", "--fps", "250/7", "--frames", "demo", "--data", data, "-q"},
                                        base_);
    ASSERT_EQ(demo_rate.exit_code, 0) << demo_rate.err;
    EXPECT_EQ(names_in(base_ / "demo").size(), 108u + 1);  // 3 s / 28 ms = 107.1: frames 0..107
    std::vector<PngPicture> demo_frames = read_frames(base_ / "demo", 108);
    ASSERT_FALSE(HasFailure());
    for (size_t k = 2; k < demo_frames.size(); ++k) {
        EXPECT_NE(demo_frames[k].rgb, demo_frames[k - 1].rgb) << "demo frames " << k - 1 << " and " << k;
    }
    for (int64_t j = 0; j < 180; ++j) {
        int64_t k = j * 1000 / (60 * 28);
        ASSERT_EQ(frames[j].rgb, demo_frames[k].rgb) << "video frame " << j << " should show demo frame " << k;
    }
    EXPECT_TRUE(read_file((base_ / "demo" / "audio.wav").string()) ==
                read_file((base_ / "first" / "audio.wav").string()));

    // Slower than the demo, video frames skip demo frames, yet each one shows
    // its demo frame as it looks when every frame before it has been drawn.
    Ran slow = run_capture_program({"--seconds", "3", "--fps", "25", "--frames", "slow", "--data", data, "-q"}, base_);
    ASSERT_EQ(slow.exit_code, 0) << slow.err;
    EXPECT_EQ(names_in(base_ / "slow").size(), 75u + 1);
    std::vector<PngPicture> slow_frames = read_frames(base_ / "slow", 75);
    ASSERT_FALSE(HasFailure());
    for (int64_t j = 0; j < 75; ++j) {
        int64_t k = j * 40 / 28;
        ASSERT_EQ(slow_frames[j].rgb, demo_frames[k].rgb) << "video frame " << j << " should show demo frame " << k;
    }
}

// One value of ffprobe's key=value output, or "" when absent.
std::string probe(const fs::path& file, const std::string& entries) {
    const std::string out = (file.parent_path() / "probe.txt").string();
    const std::string command = "ffprobe -v error -show_entries " + entries +
                                " -of default=noprint_wrappers=1 '" + file.string() + "' > '" + out + "'";
    if (std::system(command.c_str()) != 0) return std::string();
    std::string text = read_file(out);
    std::remove(out.c_str());
    return text;
}

TEST_F(CaptureProgram, VideoIsH264AndAacWithBarsBesideTheFourThreePicture) {
    Ran ran = run_capture_program({"--seconds", "2", "--height", "240", "--data", KORVANTI_RUNDIR, "clip.mp4"}, base_);
    ASSERT_EQ(ran.exit_code, 0) << ran.err;
    EXPECT_NE(ran.err.find("frames 120/120"), std::string::npos) << "progress line: " << ran.err;
    EXPECT_EQ(names_in(base_), std::vector<std::string>{"clip.mp4"}) << "no .part or sound file left";

    const fs::path clip = base_ / "clip.mp4";
    const std::string video = probe(clip, "stream=codec_type,codec_name,width,height,r_frame_rate");
    EXPECT_NE(video.find("codec_name=h264"), std::string::npos) << video;
    EXPECT_NE(video.find("width=428\nheight=240"), std::string::npos) << video;  // 240 * 16 / 9, made even
    EXPECT_NE(video.find("r_frame_rate=60/1"), std::string::npos) << video;
    const std::string audio = probe(clip, "stream=codec_name,sample_rate,channels");
    EXPECT_NE(audio.find("codec_name=aac"), std::string::npos) << audio;
    EXPECT_NE(audio.find("sample_rate=44100"), std::string::npos) << audio;
    EXPECT_NE(audio.find("channels=2"), std::string::npos) << audio;
    const std::string format = probe(clip, "format=duration");
    ASSERT_EQ(format.rfind("duration=", 0), 0u) << format;
    EXPECT_NEAR(std::atof(format.c_str() + 9), 2.0, 0.05) << format;

    // A frame after the fade: 320x240 picture in the middle, 54 black columns each side.
    const fs::path raw = base_ / "frame.rgb";
    const std::string decode = "ffmpeg -v error -ss 1.5 -i '" + clip.string() +
                               "' -frames:v 1 -f rawvideo -pix_fmt rgb24 '" + raw.string() + "'";
    ASSERT_EQ(std::system(decode.c_str()), 0);
    const std::string pixels = read_file(raw.string());
    ASSERT_EQ(pixels.size(), 428u * 240 * 3);
    uint8_t bars = 0;
    double bars_sum = 0.0;
    uint8_t picture = 0;
    for (size_t y = 0; y < 240; ++y) {
        for (size_t x = 0; x < 428; ++x) {
            for (size_t c = 0; c < 3; ++c) {
                auto value = static_cast<uint8_t>(pixels[(y * 428 + x) * 3 + c]);
                // Chroma of 4:2:0 video bleeds a pixel or two over the edge.
                if (x < 50 || x >= 378) bars = std::max(bars, value);
                if (x < 50 || x >= 378) bars_sum += value;
                if (x >= 58 && x < 370) picture = std::max(picture, value);
            }
        }
    }
    // The encoder's rounding leaves a few levels of noise in the black.
    EXPECT_LE(bars, 24);
    EXPECT_LT(bars_sum / (240.0 * 100 * 3), 1.0);
    EXPECT_GE(picture, 64) << "the letter grid should be plainly visible at 1.5 s";
}

TEST_F(CaptureProgram, WithoutFfmpegItWritesFramesAndSound) {
    Ran ran = run_capture_program({"--seconds", "0.5", "--height", "240", "--data", KORVANTI_RUNDIR, "-q", "clip.mp4"},
                                  base_, "/nonexistent");
    ASSERT_EQ(ran.exit_code, 0) << ran.err;
    EXPECT_NE(ran.err.find("ffmpeg not found"), std::string::npos) << ran.err;
    EXPECT_EQ(names_in(base_), std::vector<std::string>{"clip_frames"});
    std::vector<std::string> names = names_in(base_ / "clip_frames");
    EXPECT_EQ(names.size(), 30u + 1);
    EXPECT_EQ(wav_samples(read_file((base_ / "clip_frames" / "audio.wav").string())).size(), 22050u * 4);

    // The last frame: a 320x240 picture between two black bars of 54 columns.
    std::vector<PngPicture> frames = read_frames(base_ / "clip_frames", 30);
    ASSERT_FALSE(HasFailure());
    const PngPicture& last = frames.back();
    ASSERT_EQ(last.width, 428);
    ASSERT_EQ(last.height, 240);
    uint8_t bars = 0;
    uint8_t picture = 0;
    for (size_t y = 0; y < 240; ++y) {
        for (size_t x = 0; x < 428; ++x) {
            for (size_t c = 0; c < 3; ++c) {
                uint8_t value = last.rgb[(y * 428 + x) * 3 + c];
                if (x < 54 || x >= 374) bars = std::max(bars, value);
                if (x >= 54 && x < 374) picture = std::max(picture, value);
            }
        }
    }
    EXPECT_EQ(bars, 0);
    EXPECT_GT(picture, 0);
}

TEST_F(CaptureProgram, FailuresSayWhyAndLeaveNothingBehind) {
    struct Case {
        const char* what;
        std::vector<std::string> arguments;
        std::string path;      // replaces PATH when not empty
        int exit_code;
        const char* message;   // part of the last line of stderr
    };
    const fs::path empty = base_ / "empty";
    fs::create_directories(empty);
    const fs::path no_picture = copy_of_data("no_picture");
    fs::remove(no_picture / "Data" / "vand.tga");
    const fs::path bad_picture = copy_of_data("bad_picture");
    fs::resize_file(bad_picture / "Data" / "gul.tga", 30);
    const fs::path bad_module = copy_of_data("bad_module");
    std::ofstream(bad_module / "musik.xm", std::ios::trunc) << "Extended Module: but nothing more";
    const fs::path fake_bin = base_ / "fake_bin";
    fs::create_directories(fake_bin);
    std::ofstream(fake_bin / "ffmpeg") << "#!/bin/sh\nexit 3\n";
    fs::permissions(fake_bin / "ffmpeg", fs::perms::owner_all);
    const fs::path full = base_ / "full";
    fs::create_directories(full);
    std::ofstream(full / "keep.txt") << "mine";
    const std::string data = KORVANTI_RUNDIR;
    const std::string system_path = std::string(fake_bin.string()) + ":/usr/bin:/bin";

    const std::vector<Case> cases = {
        {"no data", {"--data", empty.string(), "out.mp4"}, "", EXIT_FAILED, "cannot load musik.xm"},
        {"missing picture", {"--data", no_picture.string(), "out.mp4"}, "", EXIT_FAILED, "Data/vand.tga"},
        {"broken picture", {"--data", bad_picture.string(), "out.mp4"}, "", EXIT_FAILED, "cannot load the pictures"},
        {"not a module", {"--data", bad_module.string(), "out.mp4"}, "", EXIT_FAILED, "not a module"},
        {"no such data directory", {"--data", (base_ / "nowhere").string()}, "", EXIT_FAILED, "cannot use"},
        {"unwritable output", {"--data", data, "--seconds", "1", (base_ / "nowhere" / "out.mp4").string()}, "",
         EXIT_FAILED, "cannot write"},
        {"ffmpeg fails", {"--data", data, "--seconds", "1", "out.mp4"}, system_path, EXIT_FAILED,
         "ffmpeg failed (exit status 3)"},
        {"output is a directory", {"--data", data, "--seconds", "1", full.string()}, "", EXIT_FAILED,
         "is a directory"},
        {"frames into a full directory", {"--data", data, "--seconds", "1", "--frames", full.string()}, "",
         EXIT_FAILED, "not an empty directory"},
        {"bad option", {"--fps", "0"}, "", EXIT_USAGE, "--fps"},
        {"unknown option", {"--colour"}, "", EXIT_USAGE, "unknown option --colour"},
    };
    for (const Case& c : cases) {
        const fs::path cwd = base_ / "cwd";
        fs::create_directories(cwd);
        Ran ran = run_capture_program(c.arguments, cwd, c.path);
        EXPECT_EQ(ran.exit_code, c.exit_code) << c.what << ": " << ran.err;
        std::string last_line = ran.err;
        if (!last_line.empty() && last_line.back() == '\n') last_line.pop_back();
        last_line = last_line.substr(last_line.rfind('\n') == std::string::npos ? 0 : last_line.rfind('\n') + 1);
        EXPECT_EQ(last_line.rfind("korvanti-capture: ", 0), 0u) << c.what << ": " << ran.err;
        EXPECT_NE(last_line.find(c.message), std::string::npos) << c.what << ": " << ran.err;
        EXPECT_LE(lines_in(ran.err), 2) << c.what << ": " << ran.err;
        EXPECT_EQ(names_in(cwd), std::vector<std::string>{}) << c.what << ": something was left behind";
        fs::remove_all(cwd);
    }
    EXPECT_EQ(names_in(full), std::vector<std::string>{"keep.txt"});
    EXPECT_FALSE(fs::exists(base_ / "full.part"));
    EXPECT_FALSE(fs::exists(base_ / "nowhere"));
}

TEST_F(CaptureProgram, InterruptRemovesThePartialWork) {
    // The whole demo, stopped once some frames are written.
    Spawned spawned = spawn_capture({"--frames", "all", "--data", KORVANTI_RUNDIR, "-q"}, base_);
    const fs::path part = base_ / "all.part";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!fs::exists(part / frame_file_name(10)) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(fs::exists(part / frame_file_name(10))) << "no frames were written";
    kill(spawned.pid, SIGINT);
    Ran ran = wait_capture(spawned);
    EXPECT_EQ(ran.exit_code, EXIT_INTERRUPTED) << ran.err;
    EXPECT_NE(ran.err.find("interrupted"), std::string::npos) << ran.err;
    EXPECT_FALSE(fs::exists(part));
    EXPECT_FALSE(fs::exists(base_ / "all"));
}

}  // namespace
