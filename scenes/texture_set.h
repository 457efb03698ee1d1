// The demo's nine image slots and the masked overlay drawn with two of them.
#pragma once

#include <cstdint>

#include "image/tga.h"

constexpr int32_t TEXTURE_SLOT_COUNT = 9;
constexpr int32_t UPLOADED_SLOT_COUNT = 7;  // slots 0..6 become GL textures; 7..8 keep their pixels

struct TextureSet {
    Texture textures[TEXTURE_SLOT_COUNT];  // zeroed at start; see texture_file_names for the files
};

extern TextureSet texture_set;
// "Data/....tga" for each slot, relative to the working directory.
extern const char* const texture_file_names[TEXTURE_SLOT_COUNT];

// Reads all nine files (failures are reported by the reader) and uploads
// slots 0..6 with linear filtering, freeing their pixels. Always true.
bool load_textures();
// Darkens the frame through the mask texture of `slot`, then adds the image
// of `slot` + 1, on a 2.2 x 2.2 quad centred at (x, y, z) in eye space.
void draw_masked_overlay(float x, float y, float z, int32_t slot);
// Frees kept pixel buffers and zeroes the records (GL names are not deleted).
void reset_texture_set();
