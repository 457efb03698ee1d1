// Reading back the capture's PNG and WAV files, independently of the writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PngPicture {
    int32_t width;
    int32_t height;
    std::vector<uint8_t> rgb;  // top-down rows, R G B
};

// An 8-bit RGB PNG without interlace, every chunk's CRC checked, rows of
// filter type 0 (the only one the capture writes). False with the reason.
bool decode_png(const std::string& bytes, PngPicture* picture, std::string* why);
double mean_level(const std::vector<uint8_t>& rgb);  // 0..255 over every channel
uint8_t max_level(const std::vector<uint8_t>& rgb);

std::string read_file(const std::string& path);
