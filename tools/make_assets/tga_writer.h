// Writes 24-bit true-colour TGA files: uncompressed (type 2) or run-length
// encoded (type 10), with no image ID, no colour map and origin 0, rows in
// the order they are given.
#pragma once

#include <cstdint>
#include <vector>

// An RGB picture; row 0 is the first row written to the file.
struct Image {
    int32_t width;              // 1..65535
    int32_t height;             // 1..65535
    std::vector<uint8_t> rgb;   // width * height * 3 bytes, R G B
};

Image image_filled(int32_t width, int32_t height, uint8_t red, uint8_t green, uint8_t blue);

// The whole file. Run-length packets never cross a row end, as readers expect.
std::vector<uint8_t> tga_encode(const Image& image, bool run_length);
