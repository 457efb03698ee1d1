// Frame time of each scene: draw_frame, buffer swap and glFinish, in a
// 640x480 window. Every scene has to fit the shell's 28 ms frame.
//   xvfb-run -a -s "-screen 0 640x480x24" build/bench/scene_frames
// Reports per scene the median and 99th-percentile frame time in ms, and the
// CPU time of the whole process per frame. Uses the run directory's Data/
// when make_assets has written it.
#include <GL/gl.h>
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#include "scene_assets.h"
#include "scene_window.h"
#include "scenes/scene_sequencer.h"
#include "scenes/scenes.h"

namespace {

int32_t bench_order = 0;
int32_t bench_row = 0;
int32_t bench_order_value() { return bench_order; }
int32_t bench_row_value() { return bench_row; }
// A note on channel index 3 every eighth frame, as a beat would give.
int32_t bench_frame = 0;
int32_t bench_channel_values(int32_t* out) {
    out[3] = (bench_frame % 8 == 0) ? 1 : 0;
    return 4;
}

double process_cpu_seconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const size_t index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

void scene_frames(benchmark::State& state, int32_t order) {
    SceneWindow window{};
    std::string error;
    if (!open_scene_window(&window, &error)) {
        state.SkipWithError(("no display: " + error).c_str());
        return;
    }
    scene_music = SceneMusic{bench_order_value, bench_row_value, bench_channel_values};
    reset_scenes();
    init_scenes();
    bench_order = order;
    bench_row = 0;  // the fade-out runs over the first frames, as in the demo
    for (bench_frame = 0; bench_frame < 10; ++bench_frame) {
        draw_frame();
        SDL_GL_SwapWindow(window.window);
    }
    glFinish();

    std::vector<double> frame_ms;
    frame_ms.reserve(static_cast<size_t>(state.max_iterations));
    const double cpu_start = process_cpu_seconds();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        draw_frame();
        SDL_GL_SwapWindow(window.window);
        glFinish();
        const auto end = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(end - start).count();
        state.SetIterationTime(seconds);
        frame_ms.push_back(seconds * 1000.0);
        ++bench_frame;
    }
    // CPU time of the whole process (the renderer's threads included) per
    // frame: what the frame costs, less sensitive than the wall clock to
    // other work on the machine.
    state.counters["cpu_ms"] =
        (process_cpu_seconds() - cpu_start) * 1000.0 / static_cast<double>(frame_ms.size());
    state.counters["median_ms"] = percentile(frame_ms, 0.5);
    state.counters["p99_ms"] = percentile(frame_ms, 0.99);
    state.counters["max_ms"] = percentile(frame_ms, 1.0);
    reset_scenes();
    close_scene_window(&window);
}

}  // namespace

int main(int argc, char** argv) {
    // The demo's own pictures when make_assets has written them, else small
    // generated ones in a temporary directory.
    std::string asset_dir;
    if (chdir(SCENES_BENCH_RUNDIR) == 0 && access("Data/gul.tga", R_OK) == 0) {
        std::printf("pictures: %s/Data\n", SCENES_BENCH_RUNDIR);
    } else {
        asset_dir = enter_scene_asset_dir();
        if (asset_dir.empty()) {
            std::fprintf(stderr, "could not write the test pictures\n");
            return 1;
        }
        std::printf("pictures: generated 64x64 test images\n");
    }
    const struct {
        const char* name;
        int32_t order;
    } scenes[] = {{"letter_grid", 0}, {"number_grid", 2}, {"tunnel", 4}, {"wave_floor", 6}};
    for (const auto& scene : scenes) {
        const int32_t order = scene.order;
        benchmark::RegisterBenchmark(scene.name, [order](benchmark::State& state) {
            scene_frames(state, order);
        })->Iterations(300)->UseManualTime()->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    leave_scene_asset_dir(asset_dir);
    return 0;
}
