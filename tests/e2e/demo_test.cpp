// The whole demo, started as its user would: the korvanti binary in a fresh
// run directory, sound recorded by SDL's disk driver, on the X display the
// test runs under (a 640x480 screen, so full screen is granted). Boxes go to
// standard error (KORVANTI_MESSAGE_BOX=stderr) so that none can wait.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "player/module/file_access.h"
#include "player/module/song.h"
#include "player/output/stream.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char* const DATA_FILES[] = {"gul.tga",  "mask_alpha.tga", "mask_main.tga",
                                  "mask2.tga", "vand.tga",       "hud3_mask.tga",
                                  "hud3.tga", "code_mask.tga",  "code.tga"};
constexpr int32_t RATE = 44100;
constexpr int32_t END_ORDER = 8;

struct DemoRun {
    bool exited;         // ended through exit(), with exit_code
    int exit_code;
    bool signalled;      // killed by a signal it did not handle
    int signal;          // which one
    bool terminated;     // we sent SIGTERM (it was still running then)
    bool timed_out;      // still running at the deadline; killed
    double seconds;      // wall time from start to end
    std::string out;     // standard output
    std::string err;     // standard error
};

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int count_of(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

class DemoTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(fs::path(KORVANTI_RUNDIR) / "musik.xm"))
            << "make_assets has not written the run directory " << KORVANTI_RUNDIR;
        std::string pattern = (fs::temp_directory_path() / "korvanti_e2e_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        base_ = pattern;
        run_dir_ = base_ / "run";
        fs::create_directories(run_dir_);
        fs::copy(fs::path(KORVANTI_RUNDIR) / "musik.xm", run_dir_ / "musik.xm");
        fs::copy(fs::path(KORVANTI_RUNDIR) / "Data", run_dir_ / "Data",
                 fs::copy_options::recursive);
    }
    void TearDown() override {
        std::error_code ignored;
        if (!base_.empty()) fs::remove_all(base_, ignored);
    }

    fs::path audio_file() const { return base_ / "audio.raw"; }

    // Starts the demo; sends SIGTERM once `terminate_when` holds for its
    // standard error (after at least `terminate_after` seconds), kills it at
    // `deadline` seconds.
    DemoRun run_demo(double deadline, double terminate_after = -1,
                     const std::string& terminate_when = "",
                     const std::function<void()>& before_terminate = nullptr) {
        fs::path out_path = base_ / "out.txt", err_path = base_ / "err.txt";
        // No output of an earlier run may be read as this one's.
        fs::remove(out_path);
        fs::remove(err_path);
        fs::remove(audio_file());
        Clock::time_point start = Clock::now();
        pid_t child = fork();
        if (child == 0) {
            if (chdir(run_dir_.c_str()) != 0) _exit(120);
            int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out < 0 || err < 0) _exit(121);
            dup2(out, 1);
            dup2(err, 2);
            setenv("SDL_AUDIODRIVER", "disk", 1);
            setenv("SDL_DISKAUDIOFILE", audio_file().c_str(), 1);
            setenv("KORVANTI_MESSAGE_BOX", "stderr", 1);
            execl(KORVANTI_BINARY, "korvanti", static_cast<char*>(nullptr));
            _exit(122);
        }
        DemoRun run = {};
        int status = 0;
        for (;;) {
            pid_t done = waitpid(child, &status, WNOHANG);
            double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            if (done == child) {
                run.seconds = seconds;
                break;
            }
            if (seconds > deadline) {
                run.timed_out = true;
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                run.seconds = seconds;
                break;
            }
            if (terminate_after >= 0 && !run.terminated && seconds >= terminate_after &&
                read_file(err_path).find(terminate_when) != std::string::npos) {
                run.terminated = true;
                if (before_terminate) before_terminate();
                kill(child, SIGTERM);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        run.exited = WIFEXITED(status);
        run.exit_code = run.exited ? WEXITSTATUS(status) : -1;
        run.signalled = WIFSIGNALED(status);
        run.signal = run.signalled ? WTERMSIG(status) : 0;
        run.out = read_file(out_path);
        run.err = read_file(err_path);
        return run;
    }

    fs::path base_;
    fs::path run_dir_;
};

// The reference: the module rendered offline through the same block renderer
// up to the first block whose snapshot shows the end order.
struct Reference {
    std::vector<int16_t> pcm;  // interleaved stereo up to and including that block
    int32_t end_block;         // index of that block, -1 when never reached
    int32_t block_frames;
};

Reference render_reference(const char* path) {
    Reference reference = {{}, -1, 0};
    set_file_callbacks(memory_file_open, memory_file_close, memory_file_read, memory_file_seek,
                       memory_file_tell);
    if (!player_init_offline(RATE)) return reference;
    Song* song = song_load(path, nullptr);
    if (song == nullptr || !song_render_start(song)) return reference;
    reference.block_frames = block_frames;
    const int32_t block_limit = 30 * 60 * RATE / block_frames;  // half an hour
    for (int32_t block = 0; block < block_limit; ++block) {
        SyncSnapshot snapshot = {};
        const int16_t* pcm = song_render_next(&snapshot);
        if (pcm == nullptr) break;
        reference.pcm.insert(reference.pcm.end(), pcm, pcm + 2 * block_frames);
        if (snapshot.order == END_ORDER) {
            reference.end_block = block;
            break;
        }
    }
    song_stop(song);
    song_free(song);
    return reference;
}

size_t first_sound(const std::vector<int16_t>& pcm) {
    for (size_t i = 0; i < pcm.size(); ++i) {
        if (pcm[i] != 0) return i & ~size_t{1};
    }
    return pcm.size();
}

int peak_of(const int16_t* pcm, size_t count) {
    int peak = 0;
    for (size_t i = 0; i < count; ++i) peak = std::max(peak, std::abs(int{pcm[i]}));
    return peak;
}

// The caption of the first top-level window whose name starts with `prefix`.
std::string find_window_name(Display* display, Window window, const std::string& prefix) {
    char* name = nullptr;
    if (XFetchName(display, window, &name) != 0 && name != nullptr) {
        std::string text = name;
        XFree(name);
        if (text.compare(0, prefix.size(), prefix) == 0) return text;
    }
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    std::string found;
    if (XQueryTree(display, window, &root, &parent, &children, &count) != 0) {
        for (unsigned int i = 0; i < count && found.empty(); ++i) {
            found = find_window_name(display, children[i], prefix);
        }
        if (children != nullptr) XFree(children);
    }
    return found;
}

// What the screen shows: the demo's caption and how many pixels are not black.
struct ScreenState {
    bool opened;
    std::string caption;
    long lit_pixels;
    long pixels;
};

ScreenState look_at_screen() {
    ScreenState state = {false, "", 0, 0};
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return state;
    state.opened = true;
    Window root = DefaultRootWindow(display);
    state.caption = find_window_name(display, root, "korvanti");
    XWindowAttributes attributes;
    XGetWindowAttributes(display, root, &attributes);
    XImage* image = XGetImage(display, root, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (image != nullptr) {
        for (int y = 0; y < attributes.height; ++y) {
            for (int x = 0; x < attributes.width; ++x) {
                state.lit_pixels += (XGetPixel(image, x, y) & 0xFFFFFF) != 0 ? 1 : 0;
            }
        }
        state.pixels = long{attributes.width} * attributes.height;
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return state;
}

TEST_F(DemoTest, EndsByItselfAtOrderEightHavingPlayedTheMusic) {
    Reference reference = render_reference((run_dir_ / "musik.xm").c_str());
    ASSERT_GE(reference.end_block, 0) << "the module never reaches order 8";
    const double song_seconds =
        double(reference.end_block + 1) * reference.block_frames / RATE;

    // The end comes once order 8 is heard, and the device sets the pace:
    // SDL's disk driver sleeps a buffer's length after each write, so it runs
    // some percent slower than real time, more on a loaded machine. Start-up
    // (window, images, the first two seconds of sound) adds a few seconds.
    DemoRun run = run_demo(song_seconds * 1.5 + 60.0);
    ASSERT_FALSE(run.timed_out) << "still running after " << run.seconds << " s";
    ASSERT_TRUE(run.exited) << "killed by a signal";
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_GE(run.seconds, song_seconds - 1.0);
    EXPECT_LE(run.seconds, song_seconds * 1.25 + 15.0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(count_of(run.err, "ERROR"), 0) << run.err;
    EXPECT_EQ(count_of(run.err, "Zelv GL"), 0) << run.err;

    std::string bytes = read_file(audio_file());
    std::vector<int16_t> recorded(bytes.size() / 2);
    memcpy(recorded.data(), bytes.data(), recorded.size() * 2);
    const double recorded_seconds = double(recorded.size()) / 2 / RATE;
    RecordProperty("song_seconds", std::to_string(song_seconds));
    RecordProperty("run_seconds", std::to_string(run.seconds));
    RecordProperty("recorded_seconds", std::to_string(recorded_seconds));
    // The song up to order 8 and little more: the demo stops the sound as
    // soon as the end is heard.
    EXPECT_GE(recorded_seconds, song_seconds - 1.0);
    EXPECT_LE(recorded_seconds, song_seconds + 3.0);

    // Line the recording up on the first sound of each.
    size_t reference_start = first_sound(reference.pcm);
    size_t recorded_start = first_sound(recorded);
    ASSERT_LT(reference_start, reference.pcm.size()) << "the reference is silent";
    ASSERT_LT(recorded_start, recorded.size()) << "the recording is silent";
    ASSERT_GE(recorded_start, reference_start);
    const size_t offset = recorded_start - reference_start;

    // The first ring, rendered before play starts, is heard exactly.
    const size_t ring_samples = size_t(2) * 100 * reference.block_frames;
    ASSERT_GE(recorded.size(), offset + ring_samples);
    size_t first_difference = ring_samples;
    for (size_t i = 0; i < ring_samples && i < reference.pcm.size(); ++i) {
        if (recorded[offset + i] != reference.pcm[i]) {
            first_difference = i;
            break;
        }
    }
    EXPECT_EQ(first_difference, ring_samples) << "first difference at frame " << first_difference / 2;

    // Later blocks come from the feeder while the device plays: nearly all
    // must match, and every second with sound in the reference has sound.
    const size_t block_samples = size_t(2) * reference.block_frames;
    int blocks = 0, matching = 0;
    for (size_t at = ring_samples; at + block_samples <= reference.pcm.size() &&
                                   offset + at + block_samples <= recorded.size();
         at += block_samples) {
        ++blocks;
        matching += std::equal(reference.pcm.begin() + long(at),
                               reference.pcm.begin() + long(at + block_samples),
                               recorded.begin() + long(offset + at))
                        ? 1
                        : 0;
    }
    RecordProperty("feeder_blocks_matching", std::to_string(matching) + "/" + std::to_string(blocks));
    EXPECT_GT(blocks, 0);
    EXPECT_GE(matching, blocks * 9 / 10) << matching << " of " << blocks << " blocks match";
    const size_t second = size_t(2) * RATE;
    for (size_t at = 0; at + second <= reference.pcm.size() && offset + at + second <= recorded.size();
         at += second) {
        if (peak_of(&reference.pcm[at], second) > 100) {
            EXPECT_GT(peak_of(&recorded[offset + at], second), 100) << "silent second " << at / second;
        }
    }
}

TEST_F(DemoTest, WithoutTheModuleTheFirstSceneRunsUntilClosed) {
    fs::remove(run_dir_ / "musik.xm");
    ScreenState screen = {};
    DemoRun run = run_demo(60.0, 5.0, "", [&screen] { screen = look_at_screen(); });
    ASSERT_FALSE(run.timed_out);
    EXPECT_TRUE(run.terminated) << "ended by itself after " << run.seconds << " s";
    ASSERT_TRUE(run.exited) << "killed by the signal instead of closing";
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, "Error loading song\n");
    EXPECT_EQ(count_of(run.err, "ERROR"), 0) << run.err;

    // Five seconds in: the first scene on screen, the frame rate in the
    // caption, and no more than the 28 ms pacing allows (1000 / 28 = 35.7).
    ASSERT_TRUE(screen.opened) << "no X display";
    RecordProperty("caption", screen.caption);
    RecordProperty("lit_pixels", std::to_string(screen.lit_pixels));
    float rate = -1;
    char tail = 0;
    ASSERT_EQ(sscanf(screen.caption.c_str(), "korvanti [%f FPS]%c", &rate, &tail), 1)
        << "caption \"" << screen.caption << "\"";
    EXPECT_GT(rate, 0.0f);
    EXPECT_LE(rate, 37.0f);
    EXPECT_GT(screen.lit_pixels, screen.pixels / 100) << "the screen is black";
}

TEST_F(DemoTest, EachMissingImageIsReportedOnceAndTheDemoGoesOn) {
    for (const char* name : DATA_FILES) {
        SCOPED_TRACE(name);
        fs::path moved = base_ / name;
        fs::rename(run_dir_ / "Data" / name, moved);
        DemoRun run = run_demo(60.0, 0.0, "ERROR: Could not open texture file");
        fs::rename(moved, run_dir_ / "Data" / name);
        ASSERT_FALSE(run.timed_out) << run.err;
        EXPECT_TRUE(run.terminated);
        ASSERT_TRUE(run.exited) << "signal " << run.signal << "\n" << run.err;
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(count_of(run.err, "ERROR: Could not open texture file\n"), 1) << run.err;
        EXPECT_EQ(count_of(run.err, "ERROR"), 1) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

}  // namespace
