// The tunnel scene.
#include "scenes/tunnel.h"

#include <GL/gl.h>

#include <cmath>

#include "scenes/scene_sequencer.h"
#include "scenes/texture_set.h"

TunnelState tunnel_state = {};

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr int32_t WALL_SLOT = 0;
constexpr int32_t OVERLAY_SLOT = 5;

// Sway + path point j + circle point k, at depth z.
void emit_ring_vertex(const TunnelState& t, const double* sway, int32_t j, int32_t k, float z) {
    glVertex3f(static_cast<float>(sway[0] + t.path[j][0] + t.circle[k][0]),
               static_cast<float>(sway[1] + t.path[j][1] + t.circle[k][1]), z);
}

}  // namespace

void build_tunnel_tables(TunnelState* state) {
    for (int32_t k = 0; k < TUNNEL_SEGMENTS; ++k) {
        state->circle[k][0] = std::cos(k * PI / 8.0);
        state->circle[k][1] = std::sin(k * PI / 8.0);
    }
    for (int32_t j = 0; j <= TUNNEL_RINGS; ++j) {
        state->path[j][0] = static_cast<float>(std::cos(j * PI / 15.0));
        state->path[j][1] = static_cast<float>(std::sin(j * PI / 15.0));
    }
    state->tables_built = true;
}

void draw_tunnel() {
    TunnelState& t = tunnel_state;
    // The tables hold constants only: building them once gives the same tube.
    if (!t.tables_built) build_tunnel_tables(&t);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glColor3f(1.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture_set.textures[WALL_SLOT].texture_name);

    // The sway moves the whole tube on a circle of radius 1, keeping the
    // ring next to the viewer nearly centred.
    const double s = t.tunnel_pos * PI / 15.0 - 3.0;
    const double sway[2] = {std::cos(s), std::sin(s)};
    for (int32_t j = 0; j < TUNNEL_RINGS; ++j) {
        const float z0 = t.tunnel_pos - static_cast<float>(j);
        const float z1 = t.tunnel_pos - static_cast<float>(j) - 1.0f;
        for (int32_t k = 0; k < TUNNEL_SEGMENTS; ++k) {
            const int32_t k1 = (k + 1) % TUNNEL_SEGMENTS;
            glBegin(GL_QUADS);
            glTexCoord2f(0.0f, 0.0f);
            emit_ring_vertex(t, sway, j, k, z0);
            glTexCoord2f(0.0f, 1.0f);
            emit_ring_vertex(t, sway, j + 1, k, z1);
            glTexCoord2f(1.0f, 1.0f);
            emit_ring_vertex(t, sway, j + 1, k1, z1);
            glTexCoord2f(1.0f, 0.0f);
            emit_ring_vertex(t, sway, j, k1, z0);
            glEnd();
        }
    }

    t.tunnel_pos += 0.5f;
    scene_state.spin_angle += 0.1f;  // not used here; carries on to the wave floor
    glDisable(GL_TEXTURE_2D);
    draw_masked_overlay(0.55f, -0.42f, -1.0f, OVERLAY_SLOT);
}

void reset_tunnel() { tunnel_state = TunnelState{}; }
