// Truevision TGA reader: uncompressed (type 2) and run-length-encoded
// (type 10) true-colour images of 24 or 32 bits into RGB(A) pixel buffers.
// Every problem is reported in a message box with a fixed text.
#pragma once

#include <cstdint>

// One image slot.
struct Texture {
    uint8_t* pixels;          // width * height pixels, rows in file order, R G B (A); owned
    uint32_t bits_per_pixel;  // 24 or 32
    uint32_t width;
    uint32_t height;
    uint32_t texture_name;  // GL texture name, set after upload
    uint32_t format;        // GL_RGB (0x1907) for 24-bit, GL_RGBA (0x1908) for 32-bit
};

constexpr uint32_t TGA_FORMAT_RGB = 0x1907;
constexpr uint32_t TGA_FORMAT_RGBA = 0x1908;

// True once the header matched one of the two signatures, whatever the reader
// then reported; false when the file cannot be opened, its header cannot be
// read or it matches neither signature.
bool load_tga(Texture* texture, const char* path);
