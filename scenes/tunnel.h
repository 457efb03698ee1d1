// The tunnel scene: a textured tube winding towards the viewer, half a ring a
// frame, with the masked overlay on top.
#pragma once

#include <cstdint>

constexpr int32_t TUNNEL_RINGS = 600;
constexpr int32_t TUNNEL_SEGMENTS = 16;

struct TunnelState {
    float tunnel_pos;                       // ring lengths travelled; +0.5 a frame, never reset
    double circle[TUNNEL_SEGMENTS][2];      // cross-section, radius 1: (cos k*pi/8, sin k*pi/8)
    float path[TUNNEL_RINGS + 1][2];        // helix centre line, one turn per 30 rings
    bool tables_built;                      // circle and path filled
};

extern TunnelState tunnel_state;

// Fills the circle and path tables; point 600 follows the same rule, so the
// far edge of the last ring needs nothing beyond the table.
void build_tunnel_tables(TunnelState* state);
void draw_tunnel();
void reset_tunnel();
