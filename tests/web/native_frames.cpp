#include "web/native_frames.h"

#include <GL/gl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "scenes/cube_grid.h"
#include "scenes/scene_sequencer.h"
#include "scenes/scenes.h"
#include "scenes/tunnel.h"
#include "scenes/wave_floor.h"
#include "support/message_box_recording.h"

namespace {

constexpr int32_t WIDTH = 640;
constexpr int32_t HEIGHT = 480;

// What the scenes hear while a frame is drawn again.
struct Replayed {
    int32_t order;
    int32_t row;
    int32_t notes[32];
};

Replayed replayed = {};

int32_t replayed_order() { return replayed.order; }
int32_t replayed_row() { return replayed.row; }
int32_t replayed_channel_values(int32_t* out) {
    for (int32_t i = 0; i < 32; ++i) out[i] = replayed.notes[i];
    return 0;
}

void set_scene_state(const DrawnFrame& frame) {
    scene_state = SceneState{frame.fog_density, frame.fog_enabled, frame.spin_angle};
    cube_grid_state.cube_z = frame.cube_z;
    tunnel_state.tunnel_pos = frame.tunnel_pos;
    wave_floor_state.wave_phase = frame.wave_phase;
    // The density GL held as the frame began (the frame applies its own
    // when the fog is on); GL_FOG itself is on from the demo's first frame.
    apply_fog(frame.gl_fog_density);
}

}  // namespace

bool parse_drawn_frame(const std::string& text, DrawnFrame* frame) {
    std::istringstream in(text);
    DrawnFrame read = {};
    std::string notes;
    int fog_enabled = 0;
    in >> read.number >> read.heard >> read.order >> read.row >> notes >> read.fog_density >> fog_enabled >>
        read.spin_angle >> read.cube_z >> read.tunnel_pos >> read.wave_phase >> read.gl_fog_density;
    if (in.fail()) return false;
    read.fog_enabled = fog_enabled != 0;
    std::istringstream flags(notes);
    std::string flag;
    int32_t count = 0;
    while (std::getline(flags, flag, ',')) {
        if (count == 32) return false;
        read.notes[count++] = std::atoi(flag.c_str());
    }
    if (count != 32) return false;
    *frame = read;
    return true;
}

std::string native_scenes_open(NativeScenes* scenes, const std::string& data_dir) {
    std::string error;
    if (!offscreen_open(&scenes->gl, WIDTH, HEIGHT, &error)) return "cannot draw offscreen: " + error;
    offscreen_set_projection(&scenes->gl);
    // The pictures are read from the working directory, as the demo reads them.
    char here[4096];
    if (getcwd(here, sizeof here) == nullptr || chdir(data_dir.c_str()) != 0) return "cannot enter " + data_dir;
    message_box_recording_reset();
    reset_scenes();
    init_scenes();
    const int boxes = message_box_recording.count;
    if (chdir(here) != 0) return "cannot go back to " + std::string(here);
    if (boxes != 0) return "the pictures of " + data_dir + " did not load: " + message_box_recording.boxes[0].text;
    scene_music = SceneMusic{replayed_order, replayed_row, replayed_channel_values};
    return "";
}

void native_scenes_close(NativeScenes* scenes) {
    reset_scenes();
    offscreen_close(&scenes->gl);
}

Picture native_frame(NativeScenes* scenes, const DrawnFrame& frame, int32_t frames_after) {
    replayed.order = frame.order;
    replayed.row = frame.row;
    for (int32_t i = 0; i < 32; ++i) replayed.notes[i] = frame.notes[i];
    // Lighting is off on the page until its first wave floor, which is the
    // last scene (an earlier picture here may have been of the floor). The
    // frame is then drawn twice from the same state: the first leaves in GL
    // what the frame before left on the page (the wave floor's first strip
    // takes the normal the last sphere left, and lighting stays on after
    // the floor).
    glDisable(GL_LIGHTING);
    set_scene_state(frame);
    draw_frame();
    set_scene_state(frame);
    draw_frame();
    for (int32_t& note : replayed.notes) note = 0;
    for (int32_t i = 0; i < frames_after; ++i) draw_frame();
    glFinish();
    Picture picture;
    picture.width = WIDTH;
    picture.height = HEIGHT;
    std::vector<uint8_t> bottom_up(static_cast<size_t>(WIDTH) * HEIGHT * 3);
    offscreen_read_rgb(&scenes->gl, bottom_up.data());
    picture.rgb.resize(bottom_up.size());
    const size_t row = static_cast<size_t>(WIDTH) * 3;
    for (int32_t y = 0; y < HEIGHT; ++y) {
        std::copy_n(bottom_up.data() + static_cast<size_t>(HEIGHT - 1 - y) * row, row,
                    picture.rgb.data() + static_cast<size_t>(y) * row);
    }
    return picture;
}

void native_time_frames(NativeScenes*, const DrawnFrame& frame, int32_t count, std::vector<double>* frame_ms) {
    replayed.order = frame.order;
    replayed.row = frame.row;
    for (int32_t& note : replayed.notes) note = 0;
    glDisable(GL_LIGHTING);
    set_scene_state(frame);
    for (int32_t i = 0; i < count; ++i) {
        const auto start = std::chrono::steady_clock::now();
        draw_frame();
        glFinish();
        frame_ms->push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
}

std::vector<double> block_means(const Picture& picture, int32_t block) {
    const int32_t columns = picture.width / block;
    const int32_t rows = picture.height / block;
    std::vector<double> means(static_cast<size_t>(columns) * rows * 3, 0.0);
    for (int32_t y = 0; y < rows * block; ++y) {
        for (int32_t x = 0; x < columns * block; ++x) {
            const uint8_t* pixel = picture.rgb.data() + (static_cast<size_t>(y) * picture.width + x) * 3;
            double* mean = means.data() + (static_cast<size_t>(y / block) * columns + x / block) * 3;
            for (int32_t c = 0; c < 3; ++c) mean[c] += pixel[c];
        }
    }
    for (double& mean : means) mean /= static_cast<double>(block) * block;
    return means;
}

double mean_block_difference(const Picture& a, const Picture& b, int32_t block) {
    if (a.width != b.width || a.height != b.height) return 255.0;
    const std::vector<double> first = block_means(a, block);
    const std::vector<double> second = block_means(b, block);
    double sum = 0.0;
    for (size_t i = 0; i < first.size(); ++i) sum += std::fabs(first[i] - second[i]);
    return first.empty() ? 0.0 : sum / static_cast<double>(first.size());
}

double relative_block_difference(const Picture& a, const Picture& b, int32_t block) {
    if (a.width != b.width || a.height != b.height) return 2.0;
    const std::vector<double> first = block_means(a, block);
    const std::vector<double> second = block_means(b, block);
    double differences = 0.0;
    double light = 0.0;
    for (size_t i = 0; i < first.size(); ++i) {
        differences += std::fabs(first[i] - second[i]);
        light += (first[i] + second[i]) / 2.0;
    }
    return light > 0.0 ? differences / light : 0.0;
}

Picture flipped(const Picture& picture) {
    Picture result = picture;
    const size_t row = static_cast<size_t>(picture.width) * 3;
    for (int32_t y = 0; y < picture.height; ++y) {
        std::copy_n(picture.rgb.data() + static_cast<size_t>(picture.height - 1 - y) * row, row,
                    result.rgb.data() + static_cast<size_t>(y) * row);
    }
    return result;
}

Picture scaled(const Picture& picture, double factor) {
    Picture result = picture;
    std::fill(result.rgb.begin(), result.rgb.end(), 0);
    const double cx = picture.width / 2.0;
    const double cy = picture.height / 2.0;
    for (int32_t y = 0; y < picture.height; ++y) {
        for (int32_t x = 0; x < picture.width; ++x) {
            const auto from_x = static_cast<int32_t>(std::floor((x + 0.5 - cx) / factor + cx));
            const auto from_y = static_cast<int32_t>(std::floor((y + 0.5 - cy) / factor + cy));
            if (from_x < 0 || from_y < 0 || from_x >= picture.width || from_y >= picture.height) continue;
            std::copy_n(picture.rgb.data() + (static_cast<size_t>(from_y) * picture.width + from_x) * 3, 3,
                        result.rgb.data() + (static_cast<size_t>(y) * picture.width + x) * 3);
        }
    }
    return result;
}
