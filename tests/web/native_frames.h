// The web page's frames drawn again by the native scenes, offscreen with
// Mesa (EGL surfaceless, no display), so that the page's picture can be set
// beside the desktop's for the same frame; and the measures that compare
// two pictures.
//
// The page tells what each frame was drawn for (app/main_web.cpp): the
// order, row and note flags the scenes read, and the scenes' state before
// the draw. The picture depends on that state and not on the music alone:
// the spin, the tunnel's travel, the wave's phase and the fog's steps
// advance a step a frame, and the page draws as many frames as its machine
// allows.
//
// Functions that can fail return an empty string on success, else why.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/capture/offscreen_gl.h"

struct DrawnFrame {
    int64_t number;        // frames the page drew, this one included
    double heard;          // song frames heard when the order was read; -1 before any
    int32_t order;
    int32_t row;
    int32_t notes[32];     // the note flags the cube grids read
    float fog_density;     // the sequencer's state before the draw
    bool fog_enabled;
    float spin_angle;
    float cube_z;
    float tunnel_pos;
    float wave_phase;
    float gl_fog_density;  // the density the frame was drawn with
};

// The page's line (korvantiPage.drawn); false when it is not one.
bool parse_drawn_frame(const std::string& text, DrawnFrame* frame);

// RGB, 3 bytes a pixel, rows from the top.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgb;
};

// The demo's scenes on a 640x480 offscreen framebuffer, with the pictures
// of `data_dir`/Data.
struct NativeScenes {
    OffscreenGl gl = {};
};

std::string native_scenes_open(NativeScenes* scenes, const std::string& data_dir);
void native_scenes_close(NativeScenes* scenes);
// `frame` as the page drew it, then `frames_after` more frames hearing the
// same order and row (no notes): the picture that many frames later.
Picture native_frame(NativeScenes* scenes, const DrawnFrame& frame, int32_t frames_after);

// Draws `count` frames from `frame`'s state, each hearing its order and row
// (no notes), and puts the time of each, drawing and finishing, in ms into
// `frame_ms`: what a frame costs the native scenes.
void native_time_frames(NativeScenes* scenes, const DrawnFrame& frame, int32_t count, std::vector<double>* frame_ms);

// ---- Comparing pictures of one size.
// Each channel's mean over `block` x `block` pixels: a picture
// width / block by height / block, as doubles.
std::vector<double> block_means(const Picture& picture, int32_t block);
// The mean absolute difference of two pictures' block means, over every
// block and channel, on the 0..255 scale.
double mean_block_difference(const Picture& a, const Picture& b, int32_t block);
// The same sum of absolute differences over the pictures' own mean: 0 for
// equal pictures, 2 for pictures lit in disjoint places.
double relative_block_difference(const Picture& a, const Picture& b, int32_t block);
// Upside down.
Picture flipped(const Picture& picture);
// Scaled by `factor` about the centre (nearest pixel), black where nothing
// falls.
Picture scaled(const Picture& picture, double factor);
