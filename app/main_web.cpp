// The demo's entry in a web page: the same window, scenes and main loop as
// on the desktop, with the page's music (app/music_web.h) in place of the
// music glue. The loop's sleeps and buffer swaps give the browser its turn
// (the program is built with Asyncify) and render the sound ahead.
#include <GL/gl.h>

#include <cstdio>

#include "app/main_loop.h"
#include "app/music_web.h"
#include "app/window.h"
#include "platform/platform.h"
#include "scenes/cube_grid.h"
#include "scenes/scene_sequencer.h"
#include "scenes/scenes.h"
#include "scenes/tunnel.h"
#include "scenes/wave_floor.h"

// The page (platform/web/library.js).
extern "C" {
void korvanti_page_state(const char* state);
void korvanti_page_frame_drawn(const char* text);
}

namespace {

constexpr const char* TITLE = "korvanti";

bool heard_announced = false;

// The page says "playing" once the music is heard.
void feed_music() {
    web_music_feed();
    if (!heard_announced && web_music_heard()) {
        heard_announced = true;
        korvanti_page_state("playing");
    }
}

void sleep_and_feed(uint32_t milliseconds) {
    feed_music();
    platform_sleep(milliseconds);
    feed_music();
}

void swap_and_feed() {
    swap_window_buffers();
    feed_music();
}

// What the frame on the canvas was drawn for: the music the scenes read
// and the scenes' state before the draw. The picture depends on how many
// frames came before (the spin, the tunnel's travel, the fog's steps are per
// frame), not on the music alone, so this is what lets the same frame be
// drawn again elsewhere, e.g. natively to compare the pictures.
struct DrawnFrame {
    int64_t number;        // frames drawn, this one included
    double heard;          // song frames heard by the audio clock as the order was read; -1 before any
    int32_t order;         // as the scenes read them
    int32_t row;
    int32_t notes[32];     // the note flags the cube grids read; 0 when not read
    SceneState scene;      // before the draw
    float cube_z;
    float tunnel_pos;
    float wave_phase;
    float gl_fog_density;  // the density the frame was drawn with, as GL held it
};

DrawnFrame drawn = {};

int32_t recorded_order() {
    drawn.heard = web_music_heard_frames();
    drawn.order = web_music_order();
    return drawn.order;
}

int32_t recorded_row() {
    drawn.row = web_music_row();
    return drawn.row;
}

int32_t recorded_channel_values(int32_t* out) {
    int32_t result = web_music_channel_values(out);
    for (int32_t i = 0; i < 32; ++i) drawn.notes[i] = out[i];
    return result;
}

// One line: number heard order row notes(32, comma-separated)
// fog_density fog_enabled spin_angle cube_z tunnel_pos wave_phase
// gl_fog_density; floats with nine digits, enough to give back the same
// float.
void tell_page_frame_drawn() {
    char text[512];
    int used = std::snprintf(text, sizeof text, "%lld %.0f %d %d ", static_cast<long long>(drawn.number),
                             drawn.heard, static_cast<int>(drawn.order), static_cast<int>(drawn.row));
    for (int32_t i = 0; i < 32; ++i) {
        const char* format = i == 31 ? "%d " : "%d,";
        used += std::snprintf(text + used, sizeof text - used, format, static_cast<int>(drawn.notes[i]));
    }
    std::snprintf(text + used, sizeof text - used, "%.9g %d %.9g %.9g %.9g %.9g %.9g",
                  static_cast<double>(drawn.scene.fog_density), drawn.scene.fog_enabled ? 1 : 0,
                  static_cast<double>(drawn.scene.spin_angle), static_cast<double>(drawn.cube_z),
                  static_cast<double>(drawn.tunnel_pos), static_cast<double>(drawn.wave_phase),
                  static_cast<double>(drawn.gl_fog_density));
    korvanti_page_frame_drawn(text);
}

int draw_and_record() {
    drawn.number += 1;
    drawn.heard = -1.0;
    drawn.order = drawn.row = 0;
    for (int32_t& note : drawn.notes) note = 0;
    drawn.scene = scene_state;
    drawn.cube_z = cube_grid_state.cube_z;
    drawn.tunnel_pos = tunnel_state.tunnel_pos;
    drawn.wave_phase = wave_floor_state.wave_phase;
    int result = draw_frame();
    // The frame's fog was applied before anything was drawn, and nothing
    // after changes it.
    glGetFloatv(GL_FOG_DENSITY, &drawn.gl_fog_density);
    // Drawn to the canvas before the page hears of it, so that what it reads
    // off the canvas then is the whole frame.
    glFlush();
    tell_page_frame_drawn();
    return result;
}

void shut_down() {
    destroy_window();
    web_music_shutdown();
}

}  // namespace

int main() {
    if (!create_window(TITLE, 640, 480, 32, true)) return 0;
    init_scenes();
    web_music_init("musik.xm");
    scene_music = SceneMusic{recorded_order, recorded_row, recorded_channel_values};
    web_music_play();
    report_music_failure(web_music_failure());
    const ShellOps ops = {poll_window_message, platform_tick_count, sleep_and_feed, draw_and_record,
                          swap_and_feed,       set_window_caption,  shut_down};
    MainLoop loop = {};
    loop.title = TITLE;
    int32_t exit_code = run_main_loop(&loop, &ops, window_input());
    korvanti_page_state("ended");
    return exit_code;
}
