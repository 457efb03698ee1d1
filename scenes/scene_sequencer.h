// The scene sequencer's state, its fog rules and the music it follows.
//
// Units: an order is a position in the song's order table, a row is a row of
// the pattern playing there; both are what the listener hears now. Fog
// density is per eye-space unit of the exponential fog. Angles are degrees.
#pragma once

#include <cstdint>

// Shared by the scenes; one record for the whole run.
struct SceneState {
    float fog_density;  // applied at the start of the next frame; may dip below 0 for one frame
    bool fog_enabled;   // whether the density is applied at the start of a frame
    float spin_angle;   // degrees; grids +2.0 a frame, tunnel +0.1, wave floor +0.07
};

extern SceneState scene_state;

// Where the scenes read the audible position. Defaults to the music glue;
// tests put their own functions here.
struct SceneMusic {
    int32_t (*order)();                       // audible order position
    int32_t (*row)();                         // audible row
    int32_t (*channel_values)(int32_t* out);  // fills 32 note-struck flags
};

extern SceneMusic scene_music;

// Sets exponential black fog of this density and enables GL_FOG.
void apply_fog(float density);
// Steps the fog state for one frame heard at this order and row.
void update_fog(SceneState* state, int32_t order, int32_t row);
// Puts every scene record back to its start value (fog, angle, cube depth,
// tunnel and wave positions) and frees kept pixel buffers. GL objects are
// not deleted: they belong to the context. For tests and benchmarks that
// run several contexts in one process.
void reset_scenes();
