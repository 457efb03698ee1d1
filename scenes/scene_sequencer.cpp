// What the demo shows, frame by frame: the fog fade and the scene of the
// order that is heard now.
#include "scenes/scene_sequencer.h"

#include <GL/gl.h>

#include "platform/system.h"
#include "scenes/music.h"
#include "scenes/cube_grid.h"
#include "scenes/scenes.h"
#include "scenes/texture_set.h"
#include "scenes/tunnel.h"
#include "scenes/wave_floor.h"

SceneState scene_state = {0.3f, true, 0.0f};
SceneMusic scene_music = {music_order, music_row, music_channel_values};

namespace {

enum FogRule { FOG_NONE, FOG_FADE_OUT, FOG_FADE_IN };

struct OrderEntry {
    FogRule fog;
    float step;         // fade-out density step per frame
    int32_t row_limit;  // fade-out runs while row <= row_limit
    void (*draw)();
};

// Orders 0..8: two orders a scene, each pair fading out then in.
constexpr int32_t ORDER_COUNT = 9;
constexpr int32_t END_ORDER = 8;
const OrderEntry ORDERS[ORDER_COUNT] = {
    {FOG_FADE_OUT, 0.008f, 27, draw_letter_grid}, {FOG_FADE_IN, 0.0f, 0, draw_letter_grid},
    {FOG_FADE_OUT, 0.008f, 27, draw_number_grid}, {FOG_FADE_IN, 0.0f, 0, draw_number_grid},
    {FOG_FADE_OUT, 0.01f, 20, draw_tunnel},       {FOG_FADE_IN, 0.0f, 0, draw_tunnel},
    {FOG_FADE_OUT, 0.01f, 20, draw_wave_floor},   {FOG_FADE_IN, 0.0f, 0, draw_wave_floor},
    {FOG_NONE, 0.0f, 0, nullptr},
};

// The fade-in holds the fog off until this row, then thickens it.
constexpr int32_t FADE_IN_ROW = 107;
constexpr float FADE_IN_STEP = 0.01f;

void fade_out(SceneState* state, float step, int32_t row_limit, int32_t row) {
    if (row > row_limit) return;
    if (state->fog_density > 0.0f) {
        state->fog_density -= step;
        state->fog_enabled = true;
    } else {
        state->fog_density = 0.0f;
        state->fog_enabled = false;
    }
}

void fade_in(SceneState* state, int32_t row) {
    if (row < FADE_IN_ROW) {
        state->fog_enabled = false;
        return;
    }
    state->fog_density += FADE_IN_STEP;
    state->fog_enabled = true;
}


}  // namespace

void update_fog(SceneState* state, int32_t order, int32_t row) {
    if (order < 0 || order >= ORDER_COUNT) return;
    const OrderEntry& entry = ORDERS[order];
    if (entry.fog == FOG_FADE_OUT) fade_out(state, entry.step, entry.row_limit, row);
    if (entry.fog == FOG_FADE_IN) fade_in(state, row);
}

void apply_fog(float density) {
    const GLfloat black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    glFogi(GL_FOG_MODE, GL_EXP);
    glFogfv(GL_FOG_COLOR, black);
    // A negative density is refused by GL, which keeps the one before.
    glFogf(GL_FOG_DENSITY, density);
    glHint(GL_FOG_HINT, GL_DONT_CARE);
    glFogf(GL_FOG_START, -10.0f);
    glFogf(GL_FOG_END, 1.0f);
    glEnable(GL_FOG);
}

void init_scenes() {
    // Mesa's software renderer allocates and frees a 64 KiB vertex buffer for
    // every draw. With glibc's default 128 KiB trim threshold the freed top of
    // the heap goes back to the system and is faulted in again dozens of times
    // a frame: that alone took the letter grid from about 2 ms to 16 ms of CPU
    // a frame. Freed memory is kept instead (it is reused by the next draw).
    platform_keep_freed_heap();
    if (!load_textures()) return;
    build_cube_list();
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
}

int draw_frame() {
    const int32_t order = scene_music.order();
    const int32_t row = scene_music.row();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (scene_state.fog_enabled) apply_fog(scene_state.fog_density);
    update_fog(&scene_state, order, row);
    if (order >= 0 && order < ORDER_COUNT && ORDERS[order].draw) ORDERS[order].draw();
    return order == END_ORDER ? 0 : 1;
}

void reset_scenes() {
    scene_state = SceneState{0.3f, true, 0.0f};
    reset_cube_grid();
    reset_tunnel();
    reset_wave_floor();
    reset_texture_set();
}
