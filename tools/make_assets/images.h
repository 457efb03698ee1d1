// The nine pictures the demo loads from Data/: the tunnel wall, three unused
// masks, the water, the overlay pair and a small unused plate with its mask.
#pragma once

#include <vector>

#include "tools/make_assets/tga_writer.h"

struct NamedImage {
    const char* path;  // relative to the run directory, e.g. "Data/gul.tga"
    Image image;
    bool run_length;   // written as type 10 rather than type 2
};

// In texture-slot order (slot 0 "Data/gul.tga" ... slot 8 "Data/code.tga").
std::vector<NamedImage> build_images();

// Where the overlay quad shows the overlay pair: the tunnel overlay repeats
// each image twice over a quad of which the screen sees texture rows from
// about 0.009 to 0.755 of the height, the first stored row at the bottom of
// the screen. These are the stored rows at the top and bottom screen edges
// for a 256-row image.
constexpr int HUD_TOP_ROW = 193;
constexpr int HUD_BOTTOM_ROW = 2;
