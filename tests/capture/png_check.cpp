#include "png_check.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

uint32_t big_u32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

bool refuse(std::string* why, const std::string& text) {
    *why = text;
    return false;
}

}  // namespace

bool decode_png(const std::string& bytes, PngPicture* picture, std::string* why) {
    static const char signature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1A', '\n'};
    if (bytes.size() < 8 || std::memcmp(bytes.data(), signature, 8) != 0) return refuse(why, "no PNG signature");
    std::string packed;
    bool header_seen = false;
    bool end_seen = false;
    for (size_t at = 8; !end_seen;) {
        if (at + 12 > bytes.size()) return refuse(why, "chunk runs past the end");
        uint32_t length = big_u32(bytes, at);
        if (length > bytes.size() - at - 12) return refuse(why, "chunk length past the end");
        std::string type = bytes.substr(at + 4, 4);
        uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(bytes.data() + at + 4), length + 4);
        if (crc != big_u32(bytes, at + 8 + length)) return refuse(why, "bad CRC in " + type);
        std::string data = bytes.substr(at + 8, length);
        if (type == "IHDR") {
            if (length != 13) return refuse(why, "IHDR length");
            picture->width = static_cast<int32_t>(big_u32(data, 0));
            picture->height = static_cast<int32_t>(big_u32(data, 4));
            if (data[8] != 8 || data[9] != 2 || data[10] != 0 || data[11] != 0 || data[12] != 0) {
                return refuse(why, "not 8-bit RGB, deflate, no interlace");
            }
            header_seen = true;
        } else if (type == "IDAT") {
            packed += data;
        } else if (type == "IEND") {
            end_seen = true;
        }
        at += 12 + length;
    }
    if (!header_seen) return refuse(why, "no IHDR");
    const size_t row = static_cast<size_t>(picture->width) * 3;
    std::vector<uint8_t> raw((row + 1) * static_cast<size_t>(picture->height));
    uLongf raw_size = static_cast<uLongf>(raw.size());
    if (uncompress(raw.data(), &raw_size, reinterpret_cast<const Bytef*>(packed.data()),
                   static_cast<uLong>(packed.size())) != Z_OK || raw_size != raw.size()) {
        return refuse(why, "image data does not inflate to the picture's size");
    }
    picture->rgb.resize(row * static_cast<size_t>(picture->height));
    for (int32_t y = 0; y < picture->height; ++y) {
        const uint8_t* line = raw.data() + static_cast<size_t>(y) * (row + 1);
        if (line[0] != 0) return refuse(why, "a row with a filter other than none");
        std::memcpy(picture->rgb.data() + static_cast<size_t>(y) * row, line + 1, row);
    }
    return true;
}

double mean_level(const std::vector<uint8_t>& rgb) {
    double sum = 0.0;
    for (uint8_t value : rgb) sum += value;
    return rgb.empty() ? 0.0 : sum / static_cast<double>(rgb.size());
}

uint8_t max_level(const std::vector<uint8_t>& rgb) {
    return rgb.empty() ? 0 : *std::max_element(rgb.begin(), rgb.end());
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
