// Truevision TGA reader: uncompressed (type 2) and run-length-encoded
// (type 10) true-colour images of 24 or 32 bits into RGB(A) pixel buffers.
// Every problem is reported in a message box with a fixed text.
#pragma once

#include <cstdint>

// One image slot.
struct Texture {
    uint8_t* pixels;          // width * height pixels, rows in file order, R G B (A); owned, malloc'd
    uint32_t bits_per_pixel;  // 24 or 32
    uint32_t width;           // pixels per row, 1..TGA_MAX_SIDE once read
    uint32_t height;          // rows, 1..TGA_MAX_SIDE once read
    uint32_t texture_name;    // GL texture name, set after upload
    uint32_t format;          // GL_RGB (0x1907) for 24-bit, GL_RGBA (0x1908) for 32-bit
};

constexpr uint32_t TGA_FORMAT_RGB = 0x1907;
constexpr uint32_t TGA_FORMAT_RGBA = 0x1908;

// Largest width or height accepted: no texture can be bigger, and it bounds
// the pixel buffer a crafted header can ask for (8192 * 8192 * 4 bytes).
constexpr uint32_t TGA_MAX_SIDE = 8192;

// True once the header matched one of the two signatures, whatever the reader
// then reported; false when the file cannot be opened, its header cannot be
// read or it matches neither signature. On any failure after the buffer was
// allocated the record is left without pixels.
bool load_tga(Texture* texture, const char* path);

// Frees the record's pixel buffer, if any, and leaves it without pixels.
void tga_free_pixels(Texture* texture);
