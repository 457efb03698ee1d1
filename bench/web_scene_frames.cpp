// Frame time of each scene of the web page under headless Chromium with
// software GL, beside the native scenes' time for the same scene: the page
// plays the whole demo (served from PAGE_DIR by a local static server, its
// sound going to a private PulseAudio server), the frame rate its title
// shows is read every half second, and each reading is put to the scene
// whose orders were heard then. Then, with the browser gone, the native
// scenes draw 300 frames of each scene offscreen with Mesa's llvmpipe, as
// scene_frames does in a window, from the scene's start (its first order,
// the fog fading out) after ten unmeasured, each frame drawn and finished.
// Prints per scene the page's median frame time in ms (1000 / the rate the
// title shows; the shell paces frames to 28 ms at least) and its slowest,
// and the native median and slowest.
//   build/bench/web_scene_frames build-web/korvanti-web
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "korvanti/player.h"
#include "support/child_process.h"
#include "support/pulse_server.h"
#include "support/scratch_dir.h"
#include "web/browser.h"
#include "web/native_frames.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* const SCENE_NAMES[4] = {"letter_grid", "number_grid", "tunnel", "wave_floor"};

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int fail(const char* what, const std::string& why) {
    std::fprintf(stderr, "web_scene_frames: %s: %s\n", what, why.c_str());
    return 1;
}

// A static file server for `dir` on a free port; 0 when it did not start.
int serve(const std::string& dir, const std::string& log_path, pid_t* pid) {
    ChildLaunch launch;
    launch.argv = {"python3", "-u", "-m", "http.server", "0", "--bind", "127.0.0.1", "--directory", dir};
    launch.out_path = log_path;
    std::string error;
    *pid = start_child(launch, &error);
    if (*pid == 0) return 0;
    const std::regex serving("port ([0-9]+)");
    auto start = Clock::now();
    while (seconds_since(start) < 20.0) {
        std::smatch found;
        std::string said = read_whole_file(log_path);
        if (std::regex_search(said, found, serving)) return std::atoi(found[1].str().c_str());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return 0;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PAGE_DIR\n", argv[0]);
        return 2;
    }
    const std::string page = argv[1];
    double starts[9];
    korvanti_song* song = korvanti_song_load_file((page + "/musik.xm").c_str(), nullptr);
    if (song == nullptr) return fail("no song", page + "/musik.xm");
    for (int32_t order = 0; order < 9; ++order) {
        starts[order] = static_cast<double>(korvanti_song_position_frame(song, 44100, order, 0)) / 44100.0;
    }
    korvanti_song_free(song);

    std::string dir = make_scratch_dir("web-bench");
    std::filesystem::create_directories(dir + "/pulse");
    std::filesystem::create_directories(dir + "/profile");
    PulseServer pulse;
    std::string error = pulse_server_start(&pulse, dir + "/pulse");
    if (!error.empty()) return fail("no sound server", error);
    pid_t files = 0;
    int port = serve(page, dir + "/files.log", &files);
    if (port == 0) return fail("no file server", read_whole_file(dir + "/files.log"));
    Browser browser;
    error = browser_start(&browser, pulse_client_environment(pulse), dir + "/profile");
    if (error.empty()) {
        error = browser_navigate(&browser, "http://127.0.0.1:" + std::to_string(port) + "/index.html?autostart");
    }
    if (!error.empty()) return fail("no browser", error);

    // From "playing" on, the title's rate every half second.
    const std::string expression = "document.documentElement.dataset.state + '|' + document.title";
    const std::regex rate_in_title("^playing\\|korvanti \\[([0-9.]+) FPS\\]$");
    std::vector<double> frame_ms[4];
    std::string seen;
    auto waited = Clock::now();
    while ((seen = browser_evaluate(&browser, expression, nullptr)).rfind("playing", 0) != 0 &&
           seconds_since(waited) < 90.0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    auto playing = Clock::now();
    while (seen.rfind("playing", 0) == 0 && seconds_since(playing) < starts[8] + 90.0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        seen = browser_evaluate(&browser, expression, nullptr);
        double heard = seconds_since(playing);
        std::smatch found;
        if (!std::regex_match(seen, found, rate_in_title)) continue;
        double rate = std::atof(found[1].str().c_str());
        for (int32_t scene = 0; scene < 4; ++scene) {
            // A second into the scene: the title's rate is that of the second before.
            if (rate > 0.0 && heard >= starts[2 * scene] + 1.0 && heard < starts[2 * scene + 2]) {
                frame_ms[scene].push_back(1000.0 / rate);
            }
        }
    }
    browser_stop(&browser);
    stop_child(files, SIGTERM, 5.0, nullptr);
    pulse_server_stop(&pulse);
    remove_scratch_dir(dir);

    // The same scenes natively.
    std::vector<double> native_ms[4];
    NativeScenes native;
    error = native_scenes_open(&native, page);
    if (!error.empty()) return fail("no native scenes", error);
    for (int32_t scene = 0; scene < 4; ++scene) {
        DrawnFrame start = {};
        start.order = 2 * scene;
        start.fog_density = 0.3f;
        start.fog_enabled = true;
        start.gl_fog_density = 0.3f;
        start.cube_z = -10.0f;
        // Ten frames first, as scene_frames draws them, to warm the renderer up.
        native_time_frames(&native, start, 310, &native_ms[scene]);
        native_ms[scene].erase(native_ms[scene].begin(), native_ms[scene].begin() + 10);
    }
    native_scenes_close(&native);

    std::printf("%-12s %15s %12s %8s %18s %15s\n", "scene", "web_median_ms", "web_max_ms", "samples",
                "native_median_ms", "native_max_ms");
    for (int32_t scene = 0; scene < 4; ++scene) {
        const std::vector<double>& values = frame_ms[scene];
        double slowest = values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
        const std::vector<double>& native_values = native_ms[scene];
        double native_slowest = *std::max_element(native_values.begin(), native_values.end());
        std::printf("%-12s %15.1f %12.1f %8zu %18.1f %15.1f\n", SCENE_NAMES[scene], median(values), slowest,
                    values.size(), median(native_values), native_slowest);
    }
    return 0;
}
