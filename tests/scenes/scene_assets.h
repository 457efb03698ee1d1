// The nine Data/*.tga images of the texture set, written small and with
// pictures a test can recognise, into a fresh directory that becomes the
// working directory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "scene_window.h"

// Colours of the test pictures.
constexpr Rgb WALL_LIGHT = {255, 220, 0};    // slot 0: checker of light and dark cells
constexpr Rgb WALL_DARK = {0, 90, 200};
constexpr Rgb FLOOR_COLOUR = {40, 200, 255};  // slot 4
constexpr Rgb IMAGE_TOP = {255, 0, 0};        // slot 6, left half, first stored rows
constexpr Rgb IMAGE_BOTTOM = {0, 255, 0};     // slot 6, left half, later rows
constexpr Rgb IMAGE_BAND = {255, 0, 255};     // slot 6, right half, rows BAND_FIRST..BAND_LAST
constexpr int32_t PICTURE_SIZE = 64;          // slots 0, 4, 5, 6 are 64 x 64
constexpr int32_t WALL_CELL = 8;              // checker cell of slot 0, in texels
constexpr int32_t BAND_FIRST = 40;            // rows of the band across the right half
constexpr int32_t BAND_LAST = 47;

// Writes an uncompressed TGA of 24 or 32 bits; pixel(x, y) gives R, G, B, A
// for stored row y. False on I/O error.
bool write_tga(const std::string& path, int32_t width, int32_t height, int32_t bits,
               const std::function<Rgb(int32_t x, int32_t y)>& pixel, uint8_t alpha = 255);
// Makes a temporary directory holding Data/ with all nine images, changes
// into it and returns its path ("" on failure).
std::string enter_scene_asset_dir();
// (Re)writes the nine images into Data/ of the working directory.
bool write_scene_assets();
// Leaves the directory made above and removes it with its files.
void leave_scene_asset_dir(const std::string& root);
// The test pictures as the demo would see them in the texture set's slots.
Rgb wall_texel(int32_t x, int32_t y);
// Slot 5: left half black; right half white but for a black band.
Rgb mask_texel(int32_t x, int32_t y);
// Slot 6: left half red over green; right half black but for a magenta band.
Rgb image_texel(int32_t x, int32_t y);
