// The cube-grid scenes: a word and a number drawn as grids of small spinning
// cubes that jump towards the viewer on every note of channel index 3.
#pragma once

#include <cstdint>

struct CubeGridState {
    uint32_t cube_list;  // GL display list holding one 0.3 cube; 0 before build_cube_list
    float cube_z;        // eye-space depth of every cube; -10 at start, -8 on a kick, glides to -18
};

extern CubeGridState cube_grid_state;

// Emits a w x h x d blue box and its white outline 0.05 clear of each face,
// centred on the origin, in immediate mode.
void draw_cube(float width, float height, float depth);
// Compiles draw_cube(0.3, 0.3, 0.3) into cube_grid_state.cube_list.
void build_cube_list();
void draw_letter_grid();
void draw_number_grid();
void reset_cube_grid();
