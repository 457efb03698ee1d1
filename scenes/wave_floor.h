// The wave-floor scene: a lit, textured floor rolling in a cosine wave, slowly
// turning, with three lit spheres riding on it.
#pragma once

#include <cstdint>

constexpr int32_t WAVE_STRIPS = 39;

struct GLUquadric;

struct WaveFloorState {
    float wave_phase;                     // strip widths; +0.06 a frame
    float wave_heights[WAVE_STRIPS + 1];  // floor height at each strip edge; entry 39 stays 0
    GLUquadric* sphere;                   // GLU sphere generator, smooth normals; made on first use
};

extern WaveFloorState wave_floor_state;

void draw_wave_floor();
void reset_wave_floor();
